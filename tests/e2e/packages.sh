#!/usr/bin/env bash
# The packages as users install them: the .deb passes lintian (no error, no warning), its
# programs are hardened as Debian's own, its desktop entry and AppStream metadata are valid, installed with dpkg it starts quorvel
# from PATH (the port error box when there is no port) and purged it leaves none of its
# files; the Windows zip holds what it should, its quorvel.exe carries its version
# information and icon, and it starts under Wine.
# usage: packages.sh DIST
set -euo pipefail
dist=$(realpath "$1")
E2E_NAME=packages
# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"
need_tools lintian desktop-file-validate appstreamcli dpkg-deb wrestool Xvfb xdotool
work=$e2e_work
deb=$(find "$dist" -maxdepth 1 -name 'quorvel_*_amd64.deb' | head -1)
zip=$(find "$dist" -maxdepth 1 -name 'quorvel-*-windows-x64.zip' | head -1)
[ -n "$deb" ] || fail "no .deb in $dist (scripts/package makes it)"
[ -n "$zip" ] || fail "no Windows zip in $dist (scripts/package makes it)"
version=$(dpkg-deb -f "$deb" Version)

echo "== lintian =="
lintian --fail-on error,warning "$deb" 2>&1 | grep -v 'running with root privileges' | tee "$work/lintian.out" || true
lintian --fail-on error,warning "$deb" >/dev/null 2>&1 || fail "lintian reports errors or warnings"

echo "== hardening =="
# Every program as Debian hardens its own (hardening-check from devscripts). Control flow
# protection is checked by its instructions: Debian 12's C library start files carry no
# IBT/SHSTK note, so no program linked there (Debian's own included) is marked with it.
dpkg-deb -x "$deb" "$work/hardened"
if command -v hardening-check >/dev/null; then
  for program in quorvel quorvel-ports quorvel-plot quorvel-ecu-sim; do
    hardening-check --nocfprotection "$work/hardened/usr/bin/$program" >"$work/hardening.out" ||
      fail "$program is not hardened: $(cat "$work/hardening.out")"
    # (A count, not grep -q: an early end would break the pipe under pipefail.)
    [ "$(objdump -d "$work/hardened/usr/bin/$program" | grep -c endbr64)" -gt 0 ] ||
      fail "$program was built without control flow protection (-fcf-protection)"
  done
  echo "hardened: PIE, stack protector, fortified functions, read-only relocations bound at start, control flow protection"
else
  echo "SKIP (hardening): hardening-check (devscripts) is not installed"
fi

echo "== desktop entry and AppStream =="
dpkg-deb -x "$deb" "$work/root"
desktop-file-validate "$work/root/usr/share/applications/org.quorvel.Quorvel.desktop" ||
  fail "the desktop entry is not valid"
appstreamcli validate --no-net "$work/root/usr/share/metainfo/org.quorvel.Quorvel.metainfo.xml" ||
  fail "the AppStream metadata is not valid"
[ "$("$work/root/usr/bin/quorvel" --version)" = "quorvel $version" ] || fail "quorvel --version"
# The README quorvel --help points to is the users' own, not the developers'.
readme=$work/root/usr/share/doc/quorvel/README.md
"$work/root/usr/bin/quorvel" --help | grep -q /usr/share/doc/quorvel/README.md || fail "quorvel --help names no README"
grep -q "sudo adduser \$USER dialout" "$readme" || fail "the users' README says nothing of the dialout group"
grep -q "Quorvel $version" "$readme" || fail "the users' README does not name the version"
! grep -qE "scripts/|build/|cmake" "$readme" || fail "the package's README is the developers'"

echo "== installed with dpkg =="
if [ "$(id -u)" != 0 ]; then
  echo "SKIP (installing): dpkg -i needs root"
else
  dpkg -i "$deb" >"$work/dpkg.out" 2>&1 || { cat "$work/dpkg.out"; fail "dpkg -i failed"; }
  dpkg -L quorvel | while read -r path; do if [ -f "$path" ]; then echo "$path"; fi; done >"$work/files"
  [ "$(command -v quorvel)" = /usr/bin/quorvel ] || fail "quorvel is not on PATH"
  start_xvfb
  # No port at all (a list of none): the program shows its port error box and ends with
  # 0 after Enter.
  (cd "$work" && QUORVEL_PORTS=":" exec quorvel) 2>"$work/stderr" &
  program=$!
  e2e_pids+=("$program")
  box=$(focus_shown 20 '^Quorvel - Port Error$')
  [ -n "$box" ] || fail "the installed quorvel showed no port error box"
  xdotool key Return
  wait_exit "$program"
  [ "$exit_code" = 0 ] || fail "the installed quorvel ended with $exit_code"
  dpkg --purge quorvel >"$work/purge.out" 2>&1 || { cat "$work/purge.out"; fail "dpkg --purge failed"; }
  left=$(while read -r path; do if [ -e "$path" ]; then echo "$path"; fi; done <"$work/files")
  [ -z "$left" ] || fail "purged, it left $left"
  echo "installed, started from PATH, purged: $(wc -l <"$work/files") files, none left"
fi

echo "== the Windows zip =="
mkdir "$work/zip"
(cd "$work/zip" && cmake -E tar xf "$zip")
folder=$(find "$work/zip" -mindepth 1 -maxdepth 1 -type d | head -1)
for file in quorvel.exe quorvel-ports.exe quorvel-plot.exe README.txt LICENSE.txt; do
  [ -f "$folder/$file" ] || fail "the zip has no $file"
done
grep -q $'\r$' "$folder/README.txt" || fail "README.txt does not end its lines with CR LF"
grep -q "Quorvel $version for Windows" "$folder/README.txt" || fail "README.txt does not name the version"
# The version information and the icon, read back from the file.
wrestool -l "$folder/quorvel.exe" | grep -q -- "--type=14 --name='IDI_ICON1'" || fail "quorvel.exe has no icon IDI_ICON1"
wrestool -x --raw -t 16 "$folder/quorvel.exe" | strings -el >"$work/version.txt"
for field in "ProductName Quorvel" "FileVersion $version" "ProductVersion $version" \
  "LegalCopyright Copyright (c) 2026 the Quorvel developers (MIT licence)"; do
  name=${field%% *}
  value=${field#* }
  grep -A1 -x "$name" "$work/version.txt" | tail -1 | grep -qxF "$value" ||
    fail "quorvel.exe's $name is not \"$value\": $(tr '\n' ' ' <"$work/version.txt")"
done
grep -qx FileDescription "$work/version.txt" || fail "quorvel.exe has no FileDescription"
wrestool -x --raw -t 24 "$folder/quorvel.exe" | grep -q 'level="asInvoker"' || fail "quorvel.exe's manifest is not asInvoker"
if command -v wine >/dev/null; then
  export WINEPREFIX=$work/wine WINEDLLOVERRIDES="mscoree,mshtml=" WINEDEBUG=-all
  e2e_extra_cleanup() { wineserver -k >/dev/null 2>&1 || true; }
  [ -n "${DISPLAY:-}" ] || start_xvfb
  WINEARCH=win64 wineboot -i >/dev/null 2>&1 || true
  (cd "$folder" && exec wine quorvel.exe) >/dev/null 2>&1 &
  program=$!
  e2e_pids+=("$program")
  box=$(focus_shown 60 '^Quorvel - Port Error$')
  [ -n "$box" ] || fail "quorvel.exe from the zip showed no window under Wine"
  xdotool key Return
  wait_exit "$program"
  [ "$exit_code" = 0 ] || fail "quorvel.exe from the zip ended with $exit_code under Wine"
  echo "the zip's quorvel.exe started under Wine"
else
  echo "SKIP (Wine): wine is not installed"
fi
echo "PASS: lintian clean, desktop entry and AppStream valid, installed and purged, the zip's exe with its version and icon, started"
