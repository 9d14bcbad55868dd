#!/usr/bin/env bash
# Every program says the one version the build gives them, and its --help fits a console
# of 80 columns (a line of 80 in Windows' console leaves a blank line under it), with the
# options' texts in one column; the dashboard answers --help without opening a window.
# usage: versions.sh VERSION QUORVEL QUORVEL_PORTS QUORVEL_PLOT QUORVEL_SHEET ECU_SIM
set -euo pipefail
version=$1
shift
E2E_NAME=versions
# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"
for program in "$@"; do
  name=$(basename "$program")
  [ "$name" = ecu-sim ] && name=quorvel-ecu-sim
  said=$("$program" --version) || fail "$name --version ended with $?"
  [ "$said" = "$name $version" ] || fail "$name --version says \"$said\", not \"$name $version\""
  wide=$(DISPLAY='' "$program" --help | awk 'length > 79') || fail "$name --help ended with $?"
  [ -z "$wide" ] || fail "$name --help has lines wider than 79 columns: $wide"
  # The options' texts stand in one column: a line that goes on with one starts where it did.
  astray=$(DISPLAY='' "$program" --help | awk '
    /^  [-\/]/ { column = match($0, /^  [-\/][^ ]*( [A-Z][A-Z:]*)? +/) ? RLENGTH : 0; next }
    /^ +[^ ]/ && column > 0 { match($0, /^ +/); if (RLENGTH != column) print; next }
    { column = 0 }')
  [ -z "$astray" ] || fail "$name --help has option texts out of their column: $astray"
done
help=$(DISPLAY='' "$1" --help) || fail "quorvel --help ended with $?"
case $help in usage:\ quorvel*) ;; *) fail "quorvel --help: $help" ;; esac
echo "PASS: $# programs say version $version, their help fits 80 columns; quorvel --help needs no display"
