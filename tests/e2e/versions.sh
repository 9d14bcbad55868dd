#!/usr/bin/env bash
# Every program says the one version the build gives them, and the dashboard answers
# --help without opening a window.
# usage: versions.sh VERSION QUORVEL QUORVEL_PORTS QUORVEL_PLOT ECU_SIM
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
done
help=$(DISPLAY='' "$1" --help) || fail "quorvel --help ended with $?"
case $help in usage:\ quorvel*) ;; *) fail "quorvel --help: $help" ;; esac
echo "PASS: $# programs say version $version; quorvel --help needs no display"
