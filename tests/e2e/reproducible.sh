#!/usr/bin/env bash
# Anyone can rebuild Quorvel's packages bit for bit: builds them again from a clone of
# this source (the commit and what is changed in the work tree) in another folder, later,
# with another umask, language and time zone, and compares its SHA256SUMS with DIST's.
# Where a file differs, it says which and where (diffoscope, or the format's listing).
# usage: tests/e2e/reproducible.sh DIST   (DIST: what scripts/package built from this tree)
set -euo pipefail
[ $# -eq 1 ] || { sed -n 's/^# usage: //p' "$0" >&2; exit 2; }
dist=$(cd "$1" && pwd)
source=$(cd "$(dirname "$0")/../.." && pwd)
[ -f "$dist/SHA256SUMS" ] || { echo "FAIL: no SHA256SUMS in $dist: run scripts/package first" >&2; exit 1; }
work=$(mktemp -d "${TMPDIR:-/tmp}/quorvel-rebuild.XXXXXX")
trap 'rm -rf "$work"' EXIT
clone=$work/another/folder/quorvel
git clone -q "$source" "$clone"
# What the work tree changes of the commit goes with it: the same source, not the same commit.
(cd "$source" && git diff HEAD --binary) | (cd "$clone" && git apply --allow-empty)
(cd "$source" && git ls-files -z --others --exclude-standard | xargs -0 -r cp -p --parents -t "$clone")
# Other times: the clone's files are newer, and the build starts later than the first.
sleep 2
locale=C.UTF-8
for candidate in it_IT.UTF-8 de_DE.UTF-8 pl_PL.UTF-8; do
  if LC_ALL=$candidate locale charmap 2>/dev/null | grep -q UTF-8; then
    locale=$candidate
    break
  fi
done
echo "rebuilding in $clone, with umask 077, LANG=$locale and TZ=Pacific/Kiritimati"
if ! (cd "$clone" && umask 077 && LANG=$locale LC_ALL=$locale TZ=Pacific/Kiritimati scripts/package \
  >"$work/package.log" 2>&1); then
  tail -30 "$work/package.log" >&2
  echo "FAIL: scripts/package failed in the clone (its log's end above)" >&2
  exit 1
fi
if cmp -s "$dist/SHA256SUMS" "$clone/dist/SHA256SUMS"; then
  cat "$dist/SHA256SUMS"
  echo "PASS: the same SHA256SUMS from $source and $clone"
  exit 0
fi
echo "FAIL: the packages differ between $source and $clone:" >&2
diff "$dist/SHA256SUMS" "$clone/dist/SHA256SUMS" >&2 || true
# listing FILE: what a format's own tool says of it.
listing() {
  case $1 in
    *.deb) dpkg-deb -I "$1"; dpkg-deb -c "$1" ;;
    *.zip) python3 -m zipfile -l "$1" ;;
    *.msi) msiinfo suminfo "$1"; msiinfo streams "$1" ;;
  esac
}
while read -r hash file; do
  [ "$(awk -v f="$file" '$2 == f { print $1 }' "$clone/dist/SHA256SUMS")" != "$hash" ] || continue
  echo "== $file ==" >&2
  [ -f "$clone/dist/$file" ] || { echo "the rebuild has no $file" >&2; continue; }
  if command -v diffoscope >/dev/null; then
    diffoscope --text - "$dist/$file" "$clone/dist/$file" 2>&1 | head -60 >&2 || true
  else
    diff <(listing "$dist/$file") <(listing "$clone/dist/$file") | head -60 >&2 || true
  fi
done <"$dist/SHA256SUMS"
exit 1
