#!/usr/bin/env python3
"""Writes a zip of a folder that is the same, byte for byte, wherever and whenever it is
built: its entries in name order, each dated SOURCE_DATE_EPOCH (in UTC), programs (.exe)
0755 and other files 0644, with no owner and no extra fields.

usage: zip.py OUT.zip FOLDER   (the entries are named FOLDER's name/...)
"""
import os
import sys
import time
import zipfile


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__.strip().splitlines()[-1])
    out, folder = sys.argv[1], sys.argv[2].rstrip("/")
    epoch = os.environ.get("SOURCE_DATE_EPOCH")
    if not epoch or not epoch.isdigit():
        sys.exit("zip.py: set SOURCE_DATE_EPOCH to the time the entries carry (seconds since 1970)")
    # A zip's dates start in 1980.
    stamp = time.gmtime(max(int(epoch), 315532800))[:6]
    top = os.path.basename(folder)
    names = []
    for root, dirs, files in os.walk(folder):
        dirs.sort()
        names += [os.path.relpath(os.path.join(root, f), folder) for f in files]
    with zipfile.ZipFile(out, "w") as archive:
        for name in sorted(names):
            entry = zipfile.ZipInfo(f"{top}/{name}", date_time=stamp)
            entry.create_system = 3  # Unix, so that the mode below counts
            mode = 0o755 if name.endswith(".exe") else 0o644
            entry.external_attr = (0o100000 | mode) << 16
            entry.compress_type = zipfile.ZIP_DEFLATED
            with open(os.path.join(folder, name), "rb") as data:
                archive.writestr(entry, data.read(), compresslevel=9)


if __name__ == "__main__":
    main()
