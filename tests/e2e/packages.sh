#!/usr/bin/env bash
# The packages as users install them: the .deb passes lintian (no error, no warning), its
# programs are hardened as Debian's own, its desktop entry and AppStream metadata are valid, installed with dpkg it starts quorvel
# from PATH (the port error box when there is no port) and purged it leaves none of its
# files; SHA256SUMS checks; for x64 and x86, the Windows zip holds what it should, its
# programs are PEs of that processor that Windows XP's loader takes, importing only the
# system's DLLs and nothing XP lacks, with their manifest naming the processor; the
# installers install for the user alone with a Start-menu entry working in Documents and
# one entry in Programs and Features, a later version replaces the first, and removal
# leaves nothing; the programs start under Wine (x86 under 32-bit Wine, when installed).
# usage: packages.sh DIST
set -euo pipefail
dist=$(realpath "$1")
E2E_NAME=packages
# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"
source=$(cd "$(dirname "$0")/../.." && pwd)
need_tools lintian desktop-file-validate appstreamcli dpkg-deb wrestool Xvfb xdotool objdump msiinfo wixl
work=$e2e_work
deb=$(find "$dist" -maxdepth 1 -name 'quorvel_*_amd64.deb' | head -1)
[ -n "$deb" ] || fail "no .deb in $dist (scripts/package makes it)"
[ -f "$dist/SHA256SUMS" ] || fail "no SHA256SUMS in $dist (scripts/package makes it)"
version=$(dpkg-deb -f "$deb" Version)
# ends_after_port_error PID WHAT SECONDS: the program PID, started where there is no serial
# port, shows its port error box within SECONDS and ends with 0 after Enter.
ends_after_port_error() {
  e2e_pids+=("$1")
  box=$(focus_shown "$3" '^Quorvel - Port Error$')
  [ -n "$box" ] || fail "$2 showed no port error box"
  xdotool key Return
  wait_exit "$1"
  [ "$exit_code" = 0 ] || fail "$2 ended with $exit_code after the port error box"
}

echo "== lintian =="
lintian --fail-on error,warning "$deb" 2>&1 | grep -v 'running with root privileges' | tee "$work/lintian.out" || true
lintian --fail-on error,warning "$deb" >/dev/null 2>&1 || fail "lintian reports errors or warnings"

echo "== hardening =="
# Every program as Debian hardens its own (hardening-check from devscripts). Control flow
# protection is checked by its instructions: Debian 12's C library start files carry no
# IBT/SHSTK note, so no program linked there (Debian's own included) is marked with it.
dpkg-deb -x "$deb" "$work/hardened"
if command -v hardening-check >/dev/null; then
  for program in quorvel quorvel-ports quorvel-plot quorvel-sheet quorvel-ecu-sim; do
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
# Both speak the languages of po/.
for language in $(grep -v '^#' "$(dirname "$0")/../../po/LINGUAS"); do
  grep -q "^Comment\[$language\]=" "$work/root/usr/share/applications/org.quorvel.Quorvel.desktop" ||
    fail "the desktop entry has no comment in $language"
  grep -q "<summary xml:lang=\"$language\">" "$work/root/usr/share/metainfo/org.quorvel.Quorvel.metainfo.xml" ||
    fail "the AppStream metadata has no summary in $language"
done
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
  ends_after_port_error $! "the installed quorvel" 20
  dpkg --purge quorvel >"$work/purge.out" 2>&1 || { cat "$work/purge.out"; fail "dpkg --purge failed"; }
  left=$(while read -r path; do if [ -e "$path" ]; then echo "$path"; fi; done <"$work/files")
  [ -z "$left" ] || fail "purged, it left $left"
  echo "installed, started from PATH, purged: $(wc -l <"$work/files") files, none left"
fi

echo "== the Windows packages =="
# Every file in dist/ has its checksum, and each checks.
for file in "$dist"/*; do
  [ "$(basename "$file")" = SHA256SUMS ] && continue
  grep -q "  $(basename "$file")\$" "$dist/SHA256SUMS" || fail "SHA256SUMS lacks $(basename "$file")"
done
(cd "$dist" && sha256sum -c --quiet SHA256SUMS) || fail "a checksum in SHA256SUMS does not match"

# The DLLs a Windows program may import: those every Windows from XP SP3 on ships. And
# calls the C++ runtime could bring in that XP lacks (its loader refuses a program that
# imports one).
allowed_dlls="msvcrt.dll kernel32.dll user32.dll gdi32.dll advapi32.dll setupapi.dll cfgmgr32.dll gdiplus.dll shell32.dll comctl32.dll ole32.dll"
newer_than_xp='^(GetTickCount64|InitOnce[A-Za-z]*|[A-Za-z]*ConditionVariable[A-Za-z]*|[A-Za-z]*SRWLock[A-Za-z]*|CreateSymbolicLink[AW]|GetFinalPathNameByHandle[AW]|Fls(Alloc|Free|GetValue|SetValue)|GetSystemTimePreciseAsFileTime|InitializeCriticalSectionEx|CreateEventEx[AW]|GetLocaleInfoEx|LCMapStringEx|CompareStringEx|GetFileInformationByHandleEx|SetFileInformationByHandle|GetErrorMode|CancelIoEx|CreateFile2|GetThreadId|GetProcessId)$'
# check_exe EXE ARCH: the processor, the subsystem version XP's loader takes, the imports,
# and the manifest's processor.
check_exe() {
  local exe=$1 arch=$2 format magic minor manifest_arch dll
  case "$arch" in
  x86) format=pei-i386 magic=010b minor=1 manifest_arch=x86 ;;
  x64) format=pei-x86-64 magic=020b minor=2 manifest_arch=amd64 ;;
  esac
  objdump -f "$exe" | grep -q "file format $format" || fail "$(basename "$exe") ($arch) is not $format: $(objdump -f "$exe" | grep format)"
  objdump -p "$exe" >"$work/pe.txt"
  grep -qE "^Magic[[:space:]]+$magic" "$work/pe.txt" || fail "$(basename "$exe") ($arch): not a PE of magic $magic"
  grep -qE '^MajorSubsystemVersion[[:space:]]+5$' "$work/pe.txt" &&
    grep -qE "^MinorSubsystemVersion[[:space:]]+$minor\$" "$work/pe.txt" ||
    fail "$(basename "$exe") ($arch): subsystem version $(awk '/SubsystemVersion/ { printf "%s ", $2 }' "$work/pe.txt"), not 5.0$minor (XP)"
  for dll in $(awk '/DLL Name:/ { print tolower($3) }' "$work/pe.txt"); do
    [[ " $allowed_dlls " == *" $dll "* ]] || fail "$(basename "$exe") ($arch) imports $dll, which the system does not ship"
  done
  awk -F'\t' 'NF >= 3 && $2 ~ /^[0-9a-f]+$/ { split($3, f, " +"); print f[3] }' "$work/pe.txt" >"$work/imports.txt"
  [ -s "$work/imports.txt" ] || fail "$(basename "$exe") ($arch): no imported function read"
  if grep -E "$newer_than_xp" "$work/imports.txt" >"$work/newer.txt"; then
    fail "$(basename "$exe") ($arch) imports what Windows XP lacks: $(tr '\n' ' ' <"$work/newer.txt")"
  fi
  wrestool -x --raw -t 24 "$exe" >"$work/manifest.xml"
  grep -q "name=\"Quorvel.Quorvel\".*processorArchitecture=\"$manifest_arch\"" "$work/manifest.xml" ||
    fail "$(basename "$exe") ($arch): the manifest does not name $manifest_arch (Windows refuses a program whose manifest names another processor)"
  grep -q 'level="asInvoker"' "$work/manifest.xml" || fail "$(basename "$exe") ($arch): the manifest is not asInvoker"
}

for arch in x64 x86; do
  zip=$dist/quorvel-$version-windows-$arch.zip
  [ -f "$zip" ] || fail "no $(basename "$zip") in $dist (scripts/package makes it)"
  [ -f "$dist/quorvel-$version-$arch.msi" ] || fail "no quorvel-$version-$arch.msi in $dist"
  mkdir "$work/zip-$arch"
  (cd "$work/zip-$arch" && cmake -E tar xf "$zip")
  folder=$work/zip-$arch/quorvel-$version-windows-$arch
  for file in quorvel.exe quorvel-ports.exe quorvel-plot.exe quorvel-sheet.exe README.txt LICENSE.txt; do
    [ -f "$folder/$file" ] || fail "the $arch zip has no $file"
  done
  grep -q $'\r$' "$folder/README.txt" || fail "README.txt does not end its lines with CR LF"
  grep -q "Quorvel $version for Windows" "$folder/README.txt" || fail "README.txt does not name the version"
  grep -q "Windows XP SP3 to Windows 11" "$folder/README.txt" || fail "README.txt does not say which Windows"
  grep -q "x86 (32-bit) runs on every Windows" "$folder/README.txt" || fail "README.txt does not say which to take"
  for exe in quorvel quorvel-ports quorvel-plot quorvel-sheet; do check_exe "$folder/$exe.exe" "$arch"; done
  # The version information and the icon, read back from the file.
  wrestool -l "$folder/quorvel.exe" | grep -q -- "--type=14 --name='IDI_ICON1'" || fail "quorvel.exe ($arch) has no icon IDI_ICON1"
  wrestool -x --raw -t 16 "$folder/quorvel.exe" | strings -el >"$work/version.txt"
  for field in "ProductName Quorvel" "FileVersion $version" "ProductVersion $version" \
    "LegalCopyright Copyright (c) 2026 the Quorvel developers (MIT licence)"; do
    name=${field%% *}
    value=${field#* }
    grep -A1 -x "$name" "$work/version.txt" | tail -1 | grep -qxF "$value" ||
      fail "quorvel.exe's ($arch) $name is not \"$value\": $(tr '\n' ' ' <"$work/version.txt")"
  done
  grep -qx FileDescription "$work/version.txt" || fail "quorvel.exe ($arch) has no FileDescription"
  # The installer's own facts: for one user, the size Programs and Features shows.
  msiinfo export "$dist/quorvel-$version-$arch.msi" Property | tr -d '\r' >"$work/msi-property.txt"
  grep -qP '^ARPSIZE\t[1-9][0-9]*$' "$work/msi-property.txt" || fail "the $arch installer gives no size"
  grep -qP '^Manufacturer\tThe Quorvel developers$' "$work/msi-property.txt" || fail "the $arch installer names no publisher"
  grep -qP "^ProductVersion\t$version\$" "$work/msi-property.txt" || fail "the $arch installer is not version $version"
  msiinfo suminfo "$dist/quorvel-$version-$arch.msi" | grep -q "^Template: $([ "$arch" = x64 ] && echo x64 || echo Intel);" ||
    fail "the $arch installer is not for $arch: $(msiinfo suminfo "$dist/quorvel-$version-$arch.msi" | grep Template)"
  echo "$arch: the zip's programs are $arch PEs for Windows XP on, import only what the system ships, and name $arch in their manifests"
done

# Given a certificate, packaging/sign.sh signs the programs and the installers (here a
# throwaway one, which the check trusts); the same file signed again is the same bytes.
if command -v osslsigncode >/dev/null && command -v openssl >/dev/null; then
  mkdir "$work/sign"
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/sign/key.pem" -out "$work/sign/cert.pem" \
    -days 2 -subj "/CN=Quorvel's packages check" -addext extendedKeyUsage=codeSigning 2>/dev/null ||
    fail "openssl made no certificate"
  cp "$work/zip-x64/quorvel-$version-windows-x64/quorvel.exe" "$dist/quorvel-$version-x64.msi" "$work/sign/"
  cp "$work/sign/quorvel.exe" "$work/sign/again.exe"
  # Signed as a release is, at the release's time, in two calls a second apart.
  sign() {
    (cd "$work/sign" && SOURCE_DATE_EPOCH=1700000000 QUORVEL_SIGN_CERT=cert.pem QUORVEL_SIGN_KEY=key.pem \
      "$source/packaging/sign.sh" "$@" >/dev/null 2>&1) || fail "packaging/sign.sh could not sign $*"
  }
  sign quorvel.exe "quorvel-$version-x64.msi"
  sleep 1
  sign again.exe
  for file in quorvel.exe "quorvel-$version-x64.msi"; do
    osslsigncode verify -CAfile "$work/sign/cert.pem" -in "$work/sign/$file" >"$work/sign/verify.out" 2>&1 ||
      fail "$file's signature does not verify: $(tail -3 "$work/sign/verify.out")"
  done
  cmp -s "$work/sign/quorvel.exe" "$work/sign/again.exe" || fail "the same program signed twice differs"
  echo "signed with a given certificate: the program and the installer verify, and sign the same twice"
else
  echo "SKIP (signing): osslsigncode or openssl is not installed"
fi

if ! command -v wine >/dev/null; then
  echo "SKIP (Wine): wine is not installed"
else
  export WINEDLLOVERRIDES="mscoree,mshtml=,winemenubuilder.exe=d" WINEDEBUG=-all
  # Wine makes the user's Documents a link to the home folder: one of the check's own.
  export HOME=$work/home
  mkdir -p "$HOME"
  e2e_extra_cleanup() { wineserver -k >/dev/null 2>&1 || true; }
  [ -n "${DISPLAY:-}" ] || start_xvfb
  # fresh_prefix NAME WINEARCH: a prefix of its own; false when Wine cannot make it.
  fresh_prefix() {
    export WINEPREFIX=$work/$1
    wineserver -k >/dev/null 2>&1 || true
    rm -rf "$WINEPREFIX"
    WINEARCH=$2 wineboot -i >"$work/$1.boot" 2>&1 && wineserver -w && [ -f "$WINEPREFIX/system.reg" ]
  }
  # winpath VARIABLE: a folder of the prefix's user, as a path of this system.
  winpath() { winepath -u "$(wine cmd /c echo "%$1%" 2>/dev/null | tr -d '\r')" 2>/dev/null; }
  # quorvel_ends FOLDER EXE: started in FOLDER on a system with no serial port, the
  # program shows its port error box and ends with 0 after Enter.
  quorvel_ends() {
    (cd "$1" && exec wine "$2") >/dev/null 2>&1 &
    ends_after_port_error $! "$2 under Wine" 60
  }
  # uninstall_entries: the Quorvel entries of Programs and Features, "version publisher"
  # each (Wine keeps a per-user product's under HKLM, Windows under HKCU: both are read,
  # and a 32-bit product's in a 64-bit Windows under Wow6432Node). With 32-bit Wine
  # installed, `wine reg` is the 32-bit reg.exe, which sees the 32-bit view: /reg:64 asks
  # for the system's own.
  uninstall_entries() {
    local key
    for key in 'HKLM\Software\Microsoft' 'HKLM\Software\Wow6432Node\Microsoft' 'HKCU\Software\Microsoft'; do
      wine reg query "$key\Windows\CurrentVersion\Uninstall" /s /reg:64 2>/dev/null | tr -d '\r'
    done | awk '/^HKEY/ { if (q) print v, p; q = 0; v = ""; p = "" }
                $1 == "DisplayName" && $3 == "Quorvel" { q = 1 }
                $1 == "DisplayVersion" { v = $3 }
                $1 == "Publisher" { p = substr($0, index($0, "REG_SZ") + 10) }
                END { if (q) print v, p }'
  }
  # gone PROGRAM: no process of that Windows program is left.
  gone() { ! pgrep -f "\\\\$1( |\$)" >/dev/null; }
  # start_entry NAME: the Start-menu entry started as Explorer starts it (its program,
  # arguments and working folder, from the .lnk).
  start_entry() { wine start /unix "$menu/$1.lnk" >>"$work/entries.out" 2>&1 || fail "the Start-menu entry \"$1\" did not start"; }
  # tool_entries: the tools' Start-menu entries, at work in Documents. The doctor's window
  # stays until Enter; without a log the picture's entry says so in a box; with one, the
  # picture and the spreadsheet's copy are made there (each then opened by what Wine has
  # for it, or a box says nothing opens it: either is closed).
  tool_entries() {
    start_entry "Quorvel - check the serial lead"
    [ -n "$(focus_shown 60 'quorvel-ports')" ] || fail "the doctor's entry showed no window"
    sleep 2
    ! gone quorvel-ports.exe || fail "the doctor's window closed before Enter"
    xdotool key Return
    wait_for 200 gone quorvel-ports.exe || fail "the doctor's window stayed after Enter"
    rm -f "$documents/engine details.csv"
    start_entry "Quorvel - last drive as a picture"
    [ -n "$(focus_shown 60 '^Quorvel$')" ] || fail "the picture's entry showed no box without a log"
    xdotool key Return
    wait_for 200 gone quorvel-plot.exe || fail "the picture's entry did not end after its box"
    [ ! -e "$documents/engine details.png" ] || fail "a picture was made without a log"
    cp "$source/tests/fuzz-corpus/drivelog/dashboard-drive.csv" "$documents/engine details.csv"
    made_in_documents "Quorvel - last drive as a picture" quorvel-plot.exe "engine details.png"
    made_in_documents "Quorvel - last drive in a spreadsheet" quorvel-sheet.exe "engine details (sheet).csv"
  }
  # made_in_documents ENTRY PROGRAM FILE: the entry makes FILE in Documents and ends.
  made_in_documents() {
    start_entry "$1"
    wait_for 600 test -s "$documents/$3" || fail "\"$1\" made no \"$3\" in Documents"
    [ -z "$(focus_shown 15 '^Quorvel$')" ] || xdotool key Return
    wait_for 200 gone "$2" || fail "\"$1\" did not end"
  }
  # msi_cycle ARCH: the installer installed for this user alone, its programs and
  # Start-menu entry in place, started from there; replaced by a later version (one
  # entry); removed, leaving nothing.
  msi_cycle() {
    local arch=$1
    local msi=$dist/quorvel-$version-$arch.msi programs menu documents lnk next
    wine msiexec /i "$msi" /qn >"$work/msi-$arch.out" 2>&1 || fail "msiexec /i of the $arch installer failed"
    programs=$(winpath LOCALAPPDATA)/Programs/Quorvel
    menu=$(winpath APPDATA)"/Microsoft/Windows/Start Menu/Programs"
    documents=$(winpath USERPROFILE)/Documents
    for file in quorvel.exe quorvel-ports.exe quorvel-plot.exe quorvel-sheet.exe README.txt LICENSE.txt; do
      [ -f "$programs/$file" ] || fail "the $arch installer did not put $file in the user's programs folder ($programs)"
    done
    lnk=$menu/Quorvel.lnk
    [ -f "$lnk" ] || fail "the $arch installer made no Start-menu entry Quorvel.lnk"
    strings -el "$lnk" | grep -qE '^[A-Z]:\\users\\[^\\]+\\(My )?Documents\\?$' ||
      fail "the Start-menu entry's working folder is not the user's Documents: $(strings -el "$lnk" | tr '\n' ' ')"
    [ "$(uninstall_entries)" = "$version The Quorvel developers" ] ||
      fail "Programs and Features after the $arch install: $(uninstall_entries)"
    for entry in "Quorvel - check the serial lead" "Quorvel - last drive as a picture" "Quorvel - last drive in a spreadsheet"; do
      strings -el "$menu/$entry.lnk" 2>/dev/null | grep -qE '^[A-Z]:\\users\\[^\\]+\\(My )?Documents\\?$' ||
        fail "the $arch installer made no Start-menu entry \"$entry\" working in Documents"
    done
    if [ "${2:-}" = run ]; then
      mkdir -p "$documents"
      quorvel_ends "$documents" "$programs/quorvel.exe"
      echo "$arch: started from its installed place, in the user's Documents"
      tool_entries
      echo "$arch: the Start menu's doctor waits for Enter; without a log the picture's entry says so in a box; with one, the picture and the spreadsheet's copy are made in Documents"
    fi
    # The same files as a later version: it replaces the first.
    next=$(awk -F. '{ printf "%d.%d.%d", $1, $2, $3 + 1 }' <<<"$version")
    mkdir -p "$work/next-$arch"
    cp "$work/zip-$arch/quorvel-$version-windows-$arch/"* "$source/packaging/icons/quorvel.ico" "$work/next-$arch/"
    SOURCE_DATE_EPOCH=$(date +%s) "$source/packaging/msi.sh" "$arch" "$next" "$work/next-$arch" "$work/next-$arch.msi" ||
      fail "wixl could not make a later version"
    if [ "${2:-}" = run ]; then
      # With the window a double-click gives, the dashboard starts at the end.
      wine msiexec /i "$work/next-$arch.msi" /qb >>"$work/msi-$arch.out" 2>&1 || fail "msiexec /i /qb of a later $arch version failed"
      [ -n "$(focus_shown 60 '^Quorvel - Port Error$')" ] || fail "the dashboard did not start at the end of an installation with a window"
      xdotool key Return
      wait_for 200 gone quorvel.exe || fail "the dashboard started by the installer did not end after its port error box"
      echo "$arch: installed with a window, the dashboard starts at the end"
    else
      wine msiexec /i "$work/next-$arch.msi" /qn >>"$work/msi-$arch.out" 2>&1 || fail "msiexec /i of a later $arch version failed"
    fi
    [ "$(uninstall_entries)" = "$next The Quorvel developers" ] ||
      fail "Programs and Features after a later version: $(uninstall_entries | tr '\n' ';') (one entry, the later)"
    wine msiexec /x "$work/next-$arch.msi" /qn >>"$work/msi-$arch.out" 2>&1 || fail "msiexec /x of the $arch installer failed"
    wineserver -w
    [ ! -e "$programs" ] || fail "removed, the $arch installer left $(find "$programs" | tr '\n' ' ')"
    [ ! -e "$(dirname "$programs")" ] || fail "removed, the $arch installer left the empty folder $(dirname "$programs")"
    [ ! -e "$lnk" ] || fail "removed, the $arch installer left its Start-menu entry"
    [ -z "$(uninstall_entries)" ] || fail "removed, the $arch installer left its entry in Programs and Features"
    ! wine reg query 'HKCU\Software\Quorvel' /reg:64 >/dev/null 2>&1 || fail "removed, the $arch installer left HKCU\\Software\\Quorvel"
    echo "$arch: installed for the user, its Start-menu entry working in Documents, one entry in Programs and Features, replaced by a later version, removed leaving nothing"
  }

  fresh_prefix prefix64 win64 || fail "Wine made no 64-bit prefix: $(tail -3 "$work/prefix64.boot")"
  quorvel_ends "$work/zip-x64/quorvel-$version-windows-x64" quorvel.exe
  echo "x64: the zip's quorvel.exe started under Wine"
  msi_cycle x64 run
  # 32-bit Wine runs the x86 programs; without it (wine32:i386 not installed) the x86
  # installer is still installed and removed, by the 64-bit msiexec.
  if fresh_prefix prefix32 win32; then
    quorvel_ends "$work/zip-x86/quorvel-$version-windows-x86" quorvel.exe
    echo "x86: the zip's quorvel.exe started under 32-bit Wine"
    msi_cycle x86 run
  else
    echo "SKIP (32-bit Wine): Wine made no 32-bit prefix ($(grep -m1 -i -e 'wine32 is missing' -e error "$work/prefix32.boot" || tail -1 "$work/prefix32.boot")): the x86 programs are not started; install wine32:i386 (scripts/install-deps tries)"
    fresh_prefix prefix64 win64 || fail "Wine made no 64-bit prefix"
    msi_cycle x86
  fi
fi
echo "PASS: lintian clean, desktop entry and AppStream valid, installed and purged; checksums; the Windows zips' and installers' programs for XP on, in both architectures, installed, upgraded and removed, and started (x86 under 32-bit Wine, when it is installed)"
