#!/usr/bin/env bash
# quorvel-sheet as a mechanic uses it: the log of 400 polls of the simulated drive copied
# for the spreadsheet of each locale (it_IT, de_DE, pl_PL, tr_TR, en_US) and opened by
# LibreOffice Calc with its own import defaults, as a double-click gives them (separators
# ',', ';' and tab, '"' around text, the system's language): every reading a number in
# its own column, equal to the log's to the decimals the dashboard shows. A copy that Calc
# saved again in the Italian conventions is plotted. Then the exit statuses, which
# --statuses checks alone (without LibreOffice, in a second).
# usage: spreadsheet.sh [--statuses] QUORVEL_SHEET QUORVEL_PLOT DRIVE_LOG
set -euo pipefail
statuses_only=false
if [ "${1:-}" = --statuses ]; then
  statuses_only=true
  shift
fi
tool=$1
plot=$2
drive_log=$3
E2E_NAME=quorvel-sheet
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=lib.sh
source "$here/lib.sh"
$statuses_only || need_tools soffice python3
work=$e2e_work
cd "$work"
export HOME=$work/home
profile=file://$work/profile

"$drive_log" 200 >/dev/null
[ "$(wc -l <"engine details.csv")" -eq 401 ] || fail "the drive's log has $(wc -l <"engine details.csv") lines"
if ! $statuses_only; then

# Calc's own defaults for a text file it opens (its registry's CSVImport), as field
# separators for its filter: "44/59/9" for ',', ';' and a tab.
registry=$(dirname "$(readlink -f "$(command -v soffice)")")/../share/registry/main.xcd
separators=$(python3 - "$registry" <<'END'
import re, sys
d = open(sys.argv[1], encoding="utf-8").read()
m = re.search(r'<group oor:name="CSVImport">.*?oor:name="Separators"[^>]*>\s*<value>([^<]*)</value>',
              d, re.S)
print("/".join(str(ord(c)) for c in (m.group(1) if m else ",;\t")))
END
)
# calc LOCALE FILTER OUT FILE: Calc, in that locale, converts FILE (read with FILTER, or
# as its kind when FILTER is "") to OUT.
calc() {
  local locale=$1 filter=$2 out=$3 file=$4
  LANG=$locale LC_ALL=$locale soffice -env:UserInstallation="$profile" --headless \
    ${filter:+--infilter="$filter"} --convert-to "$out" --outdir "$work/calc" "$file" \
    >"$work/calc.out" 2>&1 || fail "LibreOffice could not convert $file: $(cat "$work/calc.out")"
  [ -f "$work/calc/$(basename "${file%.*}").${out%%:*}" ] ||
    fail "LibreOffice made nothing of $file: $(cat "$work/calc.out")"
}

for locale in it_IT.UTF-8 de_DE.UTF-8 pl_PL.UTF-8 tr_TR.UTF-8 en_US.UTF-8; do
  name=${locale%%.*}
  LANG=$locale LC_ALL=$locale run_tool "$name" -o "$name.csv"
  expect_status 0 "the copy for $locale" "$name"
  # Language 0: the system's, which Calc takes from the locale.
  calc "$locale" "CSV:$separators,34,76,1,,0" fods "$name.csv"
  counts=$(python3 "$here/sheet_cells.py" "calc/$name.fods" "engine details.csv" 2>"$work/cells.err") ||
    fail "$locale: Calc did not read every reading as the log's number ($counts): $(head -5 "$work/cells.err")"
  [ "$counts" = "8400 numbers, 21 texts" ] || fail "$locale: $counts, not 8400 numbers and 21 texts"
  echo "$locale: Calc read $counts (400 polls of 21 columns, and the header)"
done
grep -q '^.Giri (g/min);Acqua (' it_IT.csv || fail "the Italian copy's header: $(head -1 it_IT.csv)"
head -1 en_US.csv | grep -q '^.Revs (rpm),Water (C)' || fail "the English copy's header: $(head -1 en_US.csv)"

# Saved again by Calc as an Italian's spreadsheet saves a text file (';', decimal commas,
# the cells as shown), the copy is plotted as the log itself.
calc it_IT.UTF-8 "" "csv:Text - txt - csv (StarCalc):59,34,76,1,,1040,false,true,true" calc/it_IT.fods
grep -q '^Giri (g/min);' calc/it_IT.csv || fail "Calc's Italian save: $(head -1 calc/it_IT.csv)"
tool=$plot run_tool resaved calc/it_IT.csv -o resaved.png
expect_status 0 "the plot of the copy Calc saved in Italian" resaved
expect_text resaved.out "400 polls"
echo "plotted the copy Calc saved again in Italian: $(cat "$work/resaved.out")"
else
  LANG=it_IT.UTF-8 run_tool it_IT -o it_IT.csv
  expect_status 0 "the copy for it_IT" it_IT
fi

# Nothing is overwritten unless asked, and a log the dashboard wrote never.
LANG=it_IT.UTF-8 run_tool again -o it_IT.csv
expect_status 1 "a copy onto one there already" again
expect_text again.err "esiste già"
run_tool forced -o it_IT.csv --force
expect_status 0 "--force" forced
before=$(sha256sum "engine details.csv")
run_tool onto -o "engine details.csv" --force
expect_status 1 "a copy onto the log" onto
[ "$(sha256sum "engine details.csv")" = "$before" ] || fail "the log was changed"
cp "engine details.csv" "older drive.csv"
before=$(sha256sum "older drive.csv")
run_tool ontoolder -o "older drive.csv" --force
expect_status 1 "a copy onto another log the dashboard wrote" ontoolder
[ "$(sha256sum "older drive.csv")" = "$before" ] || fail "another log was changed"
run_tool default
expect_status 0 "the copy beside the log" default
[ -f "engine details (sheet).csv" ] || fail "no \"engine details (sheet).csv\" beside the log"
expect_text default.out "wrote engine details (sheet).csv: 400 polls"
[ "$(head -1 "engine details (sheet).csv" | tr ',' '\n' | wc -l)" -eq 21 ] ||
  fail "the copy's header has not the 21 columns of the readings, fault bytes and gauges"
run_tool nogauges -o nogauges.csv --no-gauges
expect_status 0 "--no-gauges" nogauges
[ "$(head -1 nogauges.csv | tr ',' '\n' | wc -l)" -eq 12 ] ||
  fail "--no-gauges left $(head -1 nogauges.csv | tr ',' '\n' | wc -l) columns, not the 12 of the readings and fault bytes"
run_tool missing nothing.csv
expect_status 1 "a log that is not there" missing
expect_text missing.err "cannot read nothing.csv"
printf 'revs;water temp\n850;90\n' >not-a-log.csv
run_tool notlog not-a-log.csv -o other.csv
expect_status 1 "a file that is no log" notlog
expect_text notlog.err "not-a-log.csv is not an engine data log"
run_tool nowhere -o no/such/folder.csv
expect_status 1 "a copy into a folder that is not there" nowhere
expect_text nowhere.err "cannot write no/such/folder.csv"
{ cat "engine details.csv"; printf '850, 20\r\n'; } >damaged.csv
run_tool damaged damaged.csv
expect_status 0 "a log with a damaged line" damaged
expect_text damaged.err "lines left out because they could not be read: 1"
# From a menu entry: the copy opened with the system's spreadsheet, made again each time;
# without a log, nothing is opened.
fake_opener 0
run_tool open --open --force
expect_status 0 "--open" open
[ "$(cat "$work/opened.txt")" = "engine details (sheet).csv" ] ||
  fail "--open opened $(cat "$work/opened.txt" 2>&1), not the copy"
fake_opener 0
run_tool nolog nothing.csv --open
expect_status 1 "--open without a log" nolog
[ ! -e "$work/opened.txt" ] || fail "--open without a log opened $(cat "$work/opened.txt")"
fake_opener 1
run_tool noviewer --open --force
expect_status 1 "--open without a spreadsheet" noviewer
expect_text noviewer.err "No program on this computer opens engine details (sheet).csv"
run_tool wrong --colour
expect_status 2 "an unknown option" wrong
run_tool help --help
expect_status 0 "--help" help
[ "$(awk 'length > 80' "$work/help.out" | wc -l)" -eq 0 ] || fail "--help is wider than 80 columns"
if $statuses_only; then
  echo "PASS: the exit statuses"
else
  echo "PASS: under five locales Calc read every reading of the copy as a number, the copy saved again in Italian plots, and the exit statuses"
fi
