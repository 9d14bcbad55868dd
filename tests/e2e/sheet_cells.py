#!/usr/bin/env python3
"""The cells of a spreadsheet that LibreOffice Calc made of quorvel-sheet's copy (a flat
ODS file), checked against the drive log the copy came from: the header's cells are text,
and every other cell is a number, each reading equal to the log's to the decimals its
gauge shows, each fault byte and gauge position equal to the log's.

usage: sheet_cells.py SHEET.fods LOG.csv   (prints "NUMBERS numbers, TEXTS texts")
"""
import sys
import xml.etree.ElementTree as ET

NS = {"table": "urn:oasis:names:tc:opendocument:xmlns:table:1.0",
      "office": "urn:oasis:names:tc:opendocument:xmlns:office:1.0"}
# The decimals of the dashboard's gauges, in the log's order of the readings.
DECIMALS = [0, 0, 0, 1, 3, 0, 2, 0, 0]


def cells(path):
    """The first table's rows, each a list of (type, value) with repeats expanded."""
    table = ET.parse(path).getroot().find(".//table:table", NS)
    rows = []
    for row in table.iter("{%s}table-row" % NS["table"]):
        out = []
        for cell in row:
            repeat = int(cell.get("{%s}number-columns-repeated" % NS["table"], "1"))
            kind = cell.get("{%s}value-type" % NS["office"], "")
            value = cell.get("{%s}value" % NS["office"])
            out += [(kind, value)] * min(repeat, 64)
        while out and out[-1][0] == "":
            out.pop()
        repeat = int(row.get("{%s}number-rows-repeated" % NS["table"], "1"))
        if out:
            rows += [out] * repeat
    return rows


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__.strip().splitlines()[-1])
    rows = cells(sys.argv[1])
    with open(sys.argv[2], encoding="ascii") as f:
        log = [[x.strip() for x in line.split(",")] for line in f.read().splitlines()[1:]]
    numbers = sum(kind == "float" for row in rows for kind, _ in row)
    texts = sum(kind == "string" for row in rows for kind, _ in row)
    problems = []
    if len(rows) != len(log) + 1:
        problems.append("%d rows, not the log's %d lines" % (len(rows), len(log) + 1))
    if any(kind != "string" for kind, _ in rows[0]):
        problems.append("the header is not text: %r" % (rows[0],))
    for n, (row, fields) in enumerate(zip(rows[1:], log), start=2):
        expected = fields[:12] + fields[13:]
        if len(row) < len(expected):
            problems.append("row %d has %d cells, not %d: %r" % (n, len(row), len(expected), row))
            continue
        for c, (field, (kind, value)) in enumerate(zip(expected, row), start=1):
            if kind != "float":
                problems.append("row %d, column %d: %s, not a number" % (n, c, kind or "empty"))
                continue
            tolerance = 0.5 * 10 ** -DECIMALS[c - 1] + 1e-9 if c <= 9 else 1e-9
            if abs(float(value) - float(field)) > tolerance:
                problems.append("row %d, column %d: %s, not the log's %s" % (n, c, value, field))
        if len(problems) > 10:
            break
    print("%d numbers, %d texts" % (numbers, texts))
    for p in problems[:10]:
        print(p, file=sys.stderr)
    sys.exit(1 if problems else 0)


if __name__ == "__main__":
    main()
