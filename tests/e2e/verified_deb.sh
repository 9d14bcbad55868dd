#!/usr/bin/env bash
# scripts/fetch-verified-deb against a small archive of its own (file:// addresses), its
# Release signed with a key made here: a .deb its signed index lists with the file's
# SHA256 is fetched; one the index does not list, one whose file differs from the index's
# hash, an index cut short, a Release signed by a key outside the keyring and an expired
# Release are refused, each in one line that says why, and leave no .deb behind.
# usage: verified_deb.sh FETCH_VERIFIED_DEB
set -euo pipefail
fetch=$(realpath "$1")
E2E_NAME=verified-deb
# shellcheck source=lib.sh
source "$(dirname "$0")/lib.sh"
need_tools gpg gpgv curl xz sha256sum
work=$e2e_work
export GNUPGHOME=$work/gnupg
mkdir -m 700 "$GNUPGHOME"

# key NAME: a signing key of its own, exported to $work/NAME.gpg.
key() {
  gpg --batch --quiet --passphrase '' --quick-gen-key "$1 <$1@example.org>" ed25519 sign never 2>/dev/null
  gpg --batch --export "$1@example.org" >"$work/$1.gpg"
}
key archive
key stranger

# archive SIGNER [VALID_UNTIL]: $work/repo with one suite, "test", listing libdemo 1.0
# (i386) in a Packages.xz that its Release, signed by SIGNER, vouches for.
repo=$work/repo
archive() {
  rm -rf "$repo"
  mkdir -p "$repo/pool/main/d/demo" "$repo/dists/test/main/binary-i386"
  echo "the i386 build of libdemo" >"$repo/pool/main/d/demo/libdemo_1.0_i386.deb"
  cat >"$repo/dists/test/main/binary-i386/Packages" <<EOF
Package: libother
Version: 2.0
Architecture: i386
Filename: pool/main/d/demo/libother_2.0_i386.deb
SHA256: $(printf '0%.0s' {1..64})

Package: libdemo
Version: 1.0
Architecture: i386
Multi-Arch: same
Filename: pool/main/d/demo/libdemo_1.0_i386.deb
Size: $(stat -c %s "$repo/pool/main/d/demo/libdemo_1.0_i386.deb")
SHA256: $(sha256sum "$repo/pool/main/d/demo/libdemo_1.0_i386.deb" | cut -d' ' -f1)
EOF
  xz -k "$repo/dists/test/main/binary-i386/Packages"
  rm "$repo/dists/test/main/binary-i386/Packages" # served compressed only
  local xzfile=$repo/dists/test/main/binary-i386/Packages.xz
  {
    echo "Suite: test"
    [ -z "${2:-}" ] || echo "Valid-Until: $2"
    echo "SHA256:"
    echo " $(sha256sum "$xzfile" | cut -d' ' -f1) $(stat -c %s "$xzfile") main/binary-i386/Packages.xz"
  } >"$work/Release"
  gpg --batch --quiet --yes --local-user "$1@example.org" --clearsign -o "$repo/dists/test/InRelease" "$work/Release"
}

# refused WHAT REASON VERSION: the fetch of libdemo VERSION is refused with REASON, in one
# line, and no .deb is left.
refused() {
  local out=$work/out-$1 status=0
  rm -rf "$out"
  "$fetch" "$work/archive.gpg" "file://$repo" test main i386 libdemo "$3" "$out" >"$work/stdout" 2>"$work/stderr" || status=$?
  [ "$status" = 1 ] || fail "$1: exit status $status, not 1: $(cat "$work/stderr")"
  [ "$(wc -l <"$work/stderr")" = 1 ] || fail "$1: not one line: $(cat "$work/stderr")"
  grep -qF -- "cannot verify libdemo $3 (i386): $2" "$work/stderr" || fail "$1: $(cat "$work/stderr")"
  [ ! -s "$work/stdout" ] || fail "$1: printed a path: $(cat "$work/stdout")"
  ! ls "$out"/*.deb >/dev/null 2>&1 || fail "$1: a .deb was left: $(ls "$out")"
  echo "refused, $1: $(cat "$work/stderr")"
}

archive archive
out=$work/out-good
deb=$("$fetch" "$work/archive.gpg" "file://$repo" test main i386 libdemo 1.0 "$out") ||
  fail "a .deb the signed index lists was not fetched"
[ "$deb" = "$out/libdemo_1.0_i386.deb" ] || fail "the path printed: $deb"
cmp -s "$deb" "$repo/pool/main/d/demo/libdemo_1.0_i386.deb" || fail "the .deb fetched is not the pool's"

refused "not in the index" "test's signed i386 index does not list it" 1.1

echo "another file" >"$repo/pool/main/d/demo/libdemo_1.0_i386.deb"
refused "the file's hash differs" "file://$repo/pool/main/d/demo/libdemo_1.0_i386.deb has SHA256" 1.0

archive archive
truncate -s -20 "$repo/dists/test/main/binary-i386/Packages.xz"
refused "the index cut short" "test's i386 index is cut short or altered: main/binary-i386/Packages.xz has" 1.0

archive stranger
refused "signed by a stranger" "test's Release is not signed by a key of $work/archive.gpg" 1.0

archive archive "Sat, 01 Jan 2000 00:00:00 UTC"
refused "an expired Release" "test's Release expired on Sat, 01 Jan 2000" 1.0

# Only what the signature covers is read: an index forged to list another file, vouched
# for by lines put before the signed part.
archive archive
echo "a forged file" >"$repo/pool/main/d/demo/libdemo_1.0_i386.deb"
index=$repo/dists/test/main/binary-i386/Packages.xz
xz -dc "$index" | sed "s/^SHA256: [0-9a-f]*$/SHA256: $(sha256sum "$repo/pool/main/d/demo/libdemo_1.0_i386.deb" | cut -d' ' -f1)/" |
  xz >"$work/forged.xz"
mv "$work/forged.xz" "$index"
{
  printf '%s\n' "SHA256:" " $(sha256sum "$index" | cut -d' ' -f1) $(stat -c %s "$index") main/binary-i386/Packages.xz" ""
  cat "$repo/dists/test/InRelease"
} >"$work/InRelease"
mv "$work/InRelease" "$repo/dists/test/InRelease"
refused "lines outside the signature" "test's i386 index is cut short or altered" 1.0

status=0
"$fetch" only two >/dev/null 2>&1 || status=$?
[ "$status" = 2 ] || fail "a wrong call: exit status $status, not 2"
echo "PASS: fetched what the signed index lists; refused the unlisted, the altered file, the cut-short index, the stranger's signature, the expired Release and what the signature does not cover"
