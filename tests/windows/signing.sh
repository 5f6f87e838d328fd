#!/bin/sh
# A throwaway packager's certificate signs the program as makensis packs it, and the installer.
# Inputs: TINTELLE_STAGE (the build's staged folders), TINTELLE_SOURCE (the source tree).
set -eu
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Tintelle test" \
    -addext extendedKeyUsage=codeSigning -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
printf 'mot de passe' >"$work/password"
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -out "$work/sign.p12" \
    -passout "file:$work/password"
cp -R "$TINTELLE_STAGE/tintelle" "$work/stage"
cmake -DSTAGE="$work/stage" -DOUT="$work/files.nsh" -P "$TINTELLE_SOURCE/cmake/InstallerFiles.cmake"
TINTELLE_SIGN_PKCS12=$work/sign.p12 TINTELLE_SIGN_PASSWORD_FILE=$work/password makensis -V2 \
    -DNOCOMPRESS -DEDITION=Tintelle -DPUBLISHER=Tintelle -DEXE=tintelle.exe -DNAME=tintelle \
    -DOTHER=Sonaro -DOTHEREXE=sonaro.exe -DVERSION=0.0.0 -DSTAGE="$work/stage" \
    -DFILES="$work/files.nsh" -DICON="$TINTELLE_SOURCE/resources/tintelle.ico" \
    -DOUTFILE="$work/tintelle-setup.exe" "-DSIGN=sh $TINTELLE_SOURCE/resources/windows/sign.sh" \
    "$TINTELLE_SOURCE/resources/windows/installer.nsi"
for file in tintelle-setup.exe stage/tintelle.exe; do
    osslsigncode verify -CAfile "$work/cert.pem" -in "$work/$file" >/dev/null
done
