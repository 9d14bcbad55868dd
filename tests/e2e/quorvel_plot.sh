#!/usr/bin/env bash
# quorvel-plot as a user runs it: a log the dashboard wrote of the simulated drive, as
# SVG (rendered again by an independent renderer, rsvg-convert) and as PNG; bad input
# named by line and column; and the exit statuses.
# usage: quorvel_plot.sh QUORVEL_PLOT DRIVE_LOG
set -euo pipefail
tool=$1
drive_log=$2
E2E_NAME=quorvel-plot
# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"
need_tools rsvg-convert identify
work=$e2e_work
cd "$work"


"$drive_log" 120 >/dev/null
[ "$(wc -l <"engine details.csv")" -eq 241 ] || fail "the drive's log has $(wc -l <"engine details.csv") lines"

run_tool svg "engine details.csv"
expect_status 0 "the plot of a drive" svg
expect_text svg.out "quorvel-plot: wrote engine details.svg: 2 min 00 s, 240 polls"
rsvg-convert "engine details.svg" -o rendered.png || fail "rsvg-convert cannot render the SVG"
[ "$(identify -format %wx%h rendered.png)" = "1200x1160" ] || fail "rendered as $(identify -format %wx%h rendered.png)"

run_tool png "engine details.csv" -o drive.png
expect_status 0 "the PNG plot" png
[ "$(identify -format %m:%wx%h drive.png)" = "PNG:1200x1160" ] || fail "not a 1200x1160 PNG"

# A log whose name is not UTF-8 (Latin-1, as an older system or a copied disk gives it):
# its picture is still an SVG that renders, and a PNG that is not blank.
latin1=$(printf 'viaggio citt\xe0')
cp "engine details.csv" "$latin1.csv"
run_tool latin1 "$latin1.csv"
expect_status 0 "a log named in Latin-1" latin1
rsvg-convert "$latin1.svg" -o latin1.png || fail "the SVG of a Latin-1 name does not render"
grep -q "viaggio città.csv" "$latin1.svg" || fail "the title does not hold the name in UTF-8"
run_tool latin1png "$latin1.csv" -o latin1-drawn.png
expect_status 0 "a log named in Latin-1, as PNG" latin1png
[ "$(identify -format %k latin1-drawn.png)" -gt 10 ] || fail "the PNG of a Latin-1 name is blank"

# Bad lines: named and left out; the good ones are drawn.
{ head -3 "engine details.csv"; echo "850.0, 20.0"; echo "a, b, c, d, e, f, g, h, i, 0, 0, 0, , 1, 2, 3, 4, 5, 6, 7, 8, 9"; } >bad.csv
run_tool bad bad.csv -o bad.svg
expect_status 0 "a log with two bad lines" bad
expect_text bad.err "quorvel-plot: bad.csv: line 4: 2 fields, not the 22 of a data line (line left out)"
expect_text bad.err 'quorvel-plot: bad.csv: line 5, column 1 (revs): "a" is not a number (line left out)'
expect_text bad.out "4 polls (2 left out as gaps)"

# A value beyond what a float holds is a damaged field, even with --fit: named, left out,
# and the plot ends.
{ head -3 "engine details.csv"; echo "1e39, 20, 25, 1, 2, 3, 4, 5, 6, 0, 0, 0, , 1, 2, 3, 4, 5, 6, 7, 8, 9"; } >huge.csv
status=0
timeout 20 "$tool" huge.csv --fit -o huge.svg >"$work/huge.out" 2>"$work/huge.err" || status=$?
[ "$status" = 0 ] || fail "--fit on a log with 1e39 ended with $status (124: it hung)"
expect_text huge.err 'line 4, column 1 (revs): "1e39" is beyond what a reading can hold (line left out)'

# Anything but a log is refused at once, in one line.
for other in /bin/ls /etc/passwd; do
  run_tool other "$other"
  expect_status 1 "$other" other
  [ "$(wc -l <"$e2e_work/other.err")" = 1 ] || fail "$other gave $(wc -l <"$e2e_work/other.err") lines of complaint"
  expect_text other.err "quorvel-plot: $other is not an engine data log: it does not begin with the header"
done

# Each chart scaled to its own readings.
run_tool fit "engine details.csv" --fit -o fit.svg
expect_status 0 "--fit" fit
grep -q "each chart scaled to its own readings" fit.svg || fail "--fit did not scale the charts"
rsvg-convert fit.svg -o fit.png || fail "rsvg-convert cannot render the fitted SVG"

head -1 "engine details.csv" >header-only.csv
run_tool empty header-only.csv
expect_status 1 "a log with no line of readings" empty
expect_text empty.err "holds no line of readings"

run_tool missing no-such.csv
expect_status 1 "a log that is not there" missing
expect_text missing.err "quorvel-plot: cannot read no-such.csv: No such file or directory"

run_tool help --help
expect_status 0 "--help" help
run_tool noarg
expect_status 2 "no log named" noarg
run_tool wrongext "engine details.csv" -o drive.jpg
expect_status 2 "a picture that is neither SVG nor PNG" wrongext
expect_text wrongext.err "must end in .svg or .png"
run_tool two a.csv b.csv
expect_status 2 "two logs" two
# From a menu entry: the picture opened with the system's viewer; without one, or
# without a log, the problem is said (on Windows in a box too) and nothing is opened.
fake_opener 0
run_tool open "engine details.csv" --open -o opened.png
expect_status 0 "--open" open
[ "$(cat "$work/opened.txt")" = opened.png ] || fail "--open opened $(cat "$work/opened.txt" 2>&1), not opened.png"
fake_opener 3
run_tool noviewer "engine details.csv" --open -o opened.png
expect_status 1 "--open without a viewer" noviewer
expect_text noviewer.err "quorvel-plot: No program on this computer opens opened.png"
fake_opener 0
run_tool nolog no-such.csv --open
expect_status 1 "--open without a log" nolog
[ ! -e "$work/opened.txt" ] || fail "--open without a log opened $(cat "$work/opened.txt")"
echo "PASS: quorvel-plot draws a logged drive as SVG (rsvg-convert renders it) and PNG, names bad lines, and exits 0, 1 and 2 as it says"
