#!/usr/bin/env bash
# The simulated ECU's command line as a user meets it: it names itself as it is installed,
# names an option it does not know, and refuses values that are no numbers (exit 2).
# usage: ecu_sim_cli.sh ECU_SIM
set -euo pipefail
E2E_NAME=ecu-sim-cli
# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"
work=$e2e_work
# As the package installs it.
cp "$1" "$work/quorvel-ecu-sim"
tool=$work/quorvel-ecu-sim

run_tool help --help
expect_status 0 "--help" help
[ "$(head -1 "$work/help.out")" = "usage: quorvel-ecu-sim [options]" ] || fail "--help says $(head -1 "$work/help.out")"
run_tool bogus --bogus
expect_status 2 "an unknown option" bogus
expect_text bogus.err 'quorvel-ecu-sim: unknown option "--bogus"'
expect_text bogus.err "Run quorvel-ecu-sim --help for the options."
for bad in "--speedup abc" "--speedup 0" "--late -5" "--reply-delay 1x" "--key-cycle 5" "--custom-rate fast"; do
  # shellcheck disable=SC2086 # the option and its value are two words
  run_tool number $bad
  expect_status 2 "$bad" number
  expect_text number.err "quorvel-ecu-sim: ${bad%% *} needs "
done
run_tool novalue --link
expect_status 2 "--link without a value" novalue
expect_text novalue.err "quorvel-ecu-sim: --link needs a value"
run_tool register --silent-register 256
expect_status 2 "--silent-register 256" register

# A log it cannot answer from is refused in one line, however many lines it holds.
{
  echo "revs, water temp, air temp, throttle, injector period, advance, volts, pressure, VAE, error 1, error 2, error 3, , revs, water temp, air temp, throttle, injector timing, advance, volts, pressure, VAE"
  for _ in 1 2 3 4 5; do echo "850.0, 20.0"; done
} >"$work/unusable.csv"
run_tool unusable --replay-log "$work/unusable.csv"
expect_status 2 "--replay-log of a log without a line of readings" unusable
[ "$(wc -l <"$work/unusable.err")" = 1 ] || fail "the refusal took $(wc -l <"$work/unusable.err") lines: $(cat "$work/unusable.err")"
expect_text unusable.err "quorvel-ecu-sim: cannot replay $work/unusable.csv: it holds no line of readings (5 lines could not be read; the first: line 2: 2 fields, not the 22 of a data line)"

# The ignition switched off by hand holds until the key cycle's own next switch.
"$tool" --link "$work/ecu" --key-cycle 1000:1 --record "$work/record" >/dev/null &
sim=$!
for _ in $(seq 50); do [ -e "$work/ecu" ] && break; sleep 0.1; done
kill -USR1 $sim
sleep 1.5
kill $sim
wait $sim || true
grep -q 'note ignition off' "$work/record" || fail "SIGUSR1 did not switch the ignition off: $(cat "$work/record")"
grep -q 'note ignition on' "$work/record" && fail "the key cycle switched the ignition on again at once: $(cat "$work/record")"
echo "PASS: quorvel-ecu-sim names itself as installed, names a bad option and refuses bad numbers; a switch by hand holds"
