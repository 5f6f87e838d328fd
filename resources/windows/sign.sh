#!/bin/sh
# sign.sh FILE: signs a Windows executable in place with the packager's certificate, the PKCS#12
# file TINTELLE_SIGN_PKCS12 opened with the password held in TINTELLE_SIGN_PASSWORD_FILE.
# makensis runs it on the program before packing it, on the uninstaller and on the installer.
set -eu
: "${TINTELLE_SIGN_PKCS12:?}" "${TINTELLE_SIGN_PASSWORD_FILE:?}"
# Written beside, then moved over: a failed signing leaves the file unsigned, never cut.
osslsigncode sign -pkcs12 "$TINTELLE_SIGN_PKCS12" -readpass "$TINTELLE_SIGN_PASSWORD_FILE" \
    -h sha256 -n "${TINTELLE_SIGN_NAME:-Tintelle}" -in "$1" -out "$1.signed" >/dev/null
mv "$1.signed" "$1"
