# shellcheck shell=bash
# Sourced by the end-to-end tests. check_record RECORD: the simulator's record shows the
# wake-up at 1200 baud (its last byte may be told at the new speed), then only requests
# at 7680, in the poll's order, at least three polls of them. Calls the test's fail on
# the first thing wrong.
check_record() {
  local in
  in=$(mktemp)
  awk '$3 == "in"' "$1" >"$in"
  # The reopen at 7680 can overtake the last byte on its way to the simulator.
  head -3 "$in" | awk '{ print $2, $4 }' | tr '\n' ' ' | grep -qE '^1200 0x0F 1200 0xAA (1200|7680) 0xCC $' ||
    fail "wake-up: $(head -3 "$in" | tr '\n' ';')"
  awk 'NR > 3 && $2 != 7680 { bad++ } END { exit bad ? 1 : 0 }' "$in" || fail "a request not at 7680 baud"
  local order="0x01 0x02 0x03 0x04 0x05 0x06 0x07 0x08 0x09 0x0A 0x0C 0x10 0x11 0x12 0x2B 0x2C 0x2D"
  awk -v order="$order" 'BEGIN { n = split(order, o, " ") }
    NR > 3 { if ($4 != o[(NR - 4) % n + 1]) { print "request", NR - 3, "is", $4; exit 1 } count++ }
    END { if (count < 3 * n) { print "only", count, "requests"; exit 1 } }' "$in" ||
    fail "requests out of order"
  rm -f "$in"
}
