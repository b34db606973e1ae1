#!/usr/bin/env bash
# Signs one Windows program in place with SHA-256 Authenticode (Debian's osslsigncode): the
# certificate TARNVEL_SIGN_CERTIFICATE (a .pfx), its password in the file TARNVEL_SIGN_PASSWORD_FILE
# (so that it never shows in a command line), and an RFC 3161 time stamp from
# TARNVEL_SIGN_TIMESTAMP_URL when that is set. make-packages.sh sets them; makensis calls this for
# the uninstaller it embeds.
#   sign.sh <file>
set -euo pipefail
file="$1"
: "${TARNVEL_SIGN_CERTIFICATE:?sign.sh: no certificate}" "${TARNVEL_SIGN_PASSWORD_FILE:?sign.sh: no password file}"
options=(-pkcs12 "$TARNVEL_SIGN_CERTIFICATE" -readpass "$TARNVEL_SIGN_PASSWORD_FILE" -h sha256
    -n "TarnVel Download Assistant")
if [ -n "${TARNVEL_SIGN_TIMESTAMP_URL:-}" ]; then
    options+=(-ts "$TARNVEL_SIGN_TIMESTAMP_URL")
fi
rm -f "$file.signed"
if ! osslsigncode sign "${options[@]}" -in "$file" -out "$file.signed" >"$file.sign-log" 2>&1; then
    echo "sign: cannot sign $(basename "$file"):" >&2
    sed 's/^/sign:   /' "$file.sign-log" >&2
    rm -f "$file.signed" "$file.sign-log"
    exit 1
fi
rm -f "$file.sign-log"
mv "$file.signed" "$file"
