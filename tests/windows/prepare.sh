#!/bin/sh
# Makes anew the Wine prefix, the simulator's authority and the system's certificates trusting it.
set -eu
: "${TINTELLE_LINUX_SIM:?configure with -DTINTELLE_LINUX_SIM=<tintelle-provider-sim of the Linux build>}"
wineserver -k 2>/dev/null || true
. "$(dirname "$0")/throwaway-home.sh"
rm -rf "$WINEPREFIX" "$TINTELLE_WINE_PKI" "$TINTELLE_WINE_CERTS" "$HOME"
mkdir -p "$HOME"
# No Mono or Gecko to install: the tests need neither, and asking would wait for a click.
WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" wineboot --init
# Wine finds an ECDSA signature invalid when its r or s is under 32 bytes (about 1 in 128), failing
# every HTTPS test: such a set of certificates is made again.
short_signature() {
    for pem in "$TINTELLE_WINE_PKI"/*.pem; do
        at=$(openssl asn1parse -in "$pem" | awk -F: '/BIT STRING/ { at = $1 } END { print at + 0 }')
        openssl asn1parse -in "$pem" -strparse "$at" |
            awk '/prim: INTEGER/ { sub(/.* l= */, ""); if ($0 + 0 < 32) short = 1 } END { exit !short }' &&
            return 0
    done
    return 1
}
# The simulator makes its authority on start; it is stopped once it listens.
tries=0
while [ "$tries" -eq 0 ] || short_signature; do
    [ "$((tries += 1))" -le 20 ] || { echo "$0: no set of certificates Wine can check" >&2; exit 1; }
    rm -rf "$TINTELLE_WINE_PKI" && mkdir -p "$TINTELLE_WINE_PKI"
    mkfifo "$TINTELLE_WINE_PKI/.out"
    "$TINTELLE_LINUX_SIM" --port 0 --pki "$TINTELLE_WINE_PKI" --login x --password x >"$TINTELLE_WINE_PKI/.out" &
    head -n 1 "$TINTELLE_WINE_PKI/.out" | grep -q '^listening on '
    kill $!
    rm "$TINTELLE_WINE_PKI/.out"
done
cp -RL /etc/ssl/certs "$TINTELLE_WINE_CERTS"
cat "$TINTELLE_WINE_PKI/ca.pem" >>"$TINTELLE_WINE_CERTS/ca-certificates.crt"
cp "$TINTELLE_WINE_PKI/ca.pem" "$TINTELLE_WINE_CERTS/tintelle-test.pem"
openssl rehash "$TINTELLE_WINE_CERTS"
