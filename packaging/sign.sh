#!/usr/bin/env bash
# Signs Windows programs and installers (Authenticode, with Debian's osslsigncode) when
# QUORVEL_SIGN_CERT and QUORVEL_SIGN_KEY name a code-signing certificate and its private
# key (PEM; QUORVEL_SIGN_PASS its password, if any). The signing time is
# SOURCE_DATE_EPOCH, so that the same files signed with the same key are the same bytes
# (unset, it is now, one time for every file of the call).
# Without a certificate it signs nothing and says so once: Windows then warns about an
# unsigned program (README.txt tells users what to do).
# usage: packaging/sign.sh FILE...
set -euo pipefail
[ $# -gt 0 ] || { sed -n 's/^# usage: //p' "$0" >&2; exit 2; }
if [ -z "${QUORVEL_SIGN_CERT:-}" ] || [ -z "${QUORVEL_SIGN_KEY:-}" ]; then
  echo "sign.sh: not signed (set QUORVEL_SIGN_CERT and QUORVEL_SIGN_KEY to sign): $*" >&2
  exit 0
fi
command -v osslsigncode >/dev/null ||
  { echo "sign.sh: osslsigncode is not installed: sudo apt install osslsigncode" >&2; exit 1; }
pass=()
[ -z "${QUORVEL_SIGN_PASS:-}" ] || pass=(-pass "$QUORVEL_SIGN_PASS")
time=${SOURCE_DATE_EPOCH:-$(date +%s)}
for file in "$@"; do
  osslsigncode sign -certs "$QUORVEL_SIGN_CERT" -key "$QUORVEL_SIGN_KEY" "${pass[@]}" \
    -h sha256 -n Quorvel -i https://quorvel.org/ -time "$time" \
    -in "$file" -out "$file.signed" >/dev/null ||
    { rm -f "$file.signed"; echo "sign.sh: osslsigncode could not sign $file" >&2; exit 1; }
  mv "$file.signed" "$file"
done
echo "sign.sh: signed with $QUORVEL_SIGN_CERT: $*"
