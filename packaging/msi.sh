#!/usr/bin/env bash
# Makes Quorvel's Windows installer from a folder of its files (the programs, README.txt,
# LICENSE.txt and quorvel.ico) with msitools' wixl and quorvel.wxs beside this script.
# The same folder gives the same installer, byte for byte: wixl dates the summary and the
# cabinet's files when it runs and by the files' own times, so both are SOURCE_DATE_EPOCH
# here (wixl under faketime), and the product and package codes are derived from what the
# installer holds, so that a different package still has codes of its own.
# usage: packaging/msi.sh ARCH VERSION FOLDER OUT.msi   (ARCH: x64 or x86)
set -euo pipefail
export LC_ALL=C # the files' order in the codes' hash, whatever the user's language
[ $# -eq 4 ] || { sed -n 's/^# usage: //p' "$0" >&2; exit 2; }
arch=$1 version=$2 folder=$(cd "$3" && pwd) out=$4
wxs=$(cd "$(dirname "$0")" && pwd)/quorvel.wxs
[ -n "${SOURCE_DATE_EPOCH:-}" ] || { echo "msi.sh: set SOURCE_DATE_EPOCH (seconds since 1970)" >&2; exit 2; }
case $arch in x64) win64=yes ;; x86) win64=no ;; *) echo "msi.sh: ARCH is x64 or x86, not $arch" >&2; exit 2 ;; esac
# The version after this one (its last number one up): every Quorvel below it is an
# earlier one that the installer replaces, this version's other architecture included.
next_version=$(awk -F. '{ printf "%d.%d.%d", $1, $2, $3 + 1 }' <<<"$version")
# guid WORD: a GUID from WORD and the installer's content.
guid() {
  { echo "$1 $arch $version"; cat "$wxs"; (cd "$folder" && sha256sum -- *); } |
    sha256sum | cut -c1-32 | tr a-f A-F | sed -E 's/(.{8})(.{4})(.{4})(.{4})(.{12})/\1-\2-\3-\4-\5/'
}
# The size Programs and Features shows: the files' own sizes, not the disk's blocks.
size_kb=$(find "$folder" -maxdepth 1 -type f \( -name '*.exe' -o -name '*.txt' \) -printf '%s\n' |
  awk '{ s += $1 } END { printf "%d", (s + 1023) / 1024 }')
find "$folder" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
# wixl finds the files relative to where it runs.
out=$(cd "$(dirname "$out")" && pwd)/$(basename "$out")
(cd "$folder" && TZ=UTC FAKETIME_DONT_FAKE_MONOTONIC=1 \
  faketime -f "$(date -u -d "@$SOURCE_DATE_EPOCH" '+%Y-%m-%d %H:%M:%S')" \
  wixl -a "$arch" -D Version="$version" -D NextVersion="$next_version" -D Win64="$win64" \
  -D SizeKb="$size_kb" -D Stage=. -D ProductCode="$(guid product)" "$wxs" -o "$out")
# The dashboard started at the end runs in the user's Documents: an action of the kind
# "a command run in a folder" (34, here without waiting: 226), which wixl does not write.
(TZ=UTC FAKETIME_DONT_FAKE_MONOTONIC=1 faketime -f "$(date -u -d "@$SOURCE_DATE_EPOCH" '+%Y-%m-%d %H:%M:%S')" \
  msibuild "$out" -q "UPDATE \`CustomAction\` SET \`Type\` = 226, \`Source\` = 'PersonalFolder', \`Target\` = '\"[INSTALLDIR]quorvel.exe\"' WHERE \`Action\` = 'StartQuorvel'")
[ "$(msiinfo export "$out" CustomAction | awk -F'\t' '$1 == "StartQuorvel" { print $2, $3 }')" = "226 PersonalFolder" ] ||
  { echo "msi.sh: the action that starts the dashboard is not one run in Documents: wixl or msibuild has changed" >&2; exit 1; }
# wixl draws the package code (the summary's revision number) at random, whatever the
# source says: the derived one takes its place, text of the same length in the same bytes.
drawn=$(msiinfo suminfo "$out" | sed -n 's/^Revision number (UUID): //p')
python3 - "$out" "$drawn" "{$(guid package)}" <<'END'
import sys
path, drawn, derived = sys.argv[1], sys.argv[2].encode(), sys.argv[3].encode()
with open(path, "rb") as f:
    data = f.read()
if len(drawn) != 38 or len(derived) != 38 or data.count(drawn) != 1:
    sys.exit(f"msi.sh: the package code {drawn.decode()} is not in {path} once: wixl has changed")
with open(path, "wb") as f:
    f.write(data.replace(drawn, derived))
END
