#!/bin/sh
# Makes anew the Wine prefix (WINEPREFIX), the simulator's authority (TINTELLE_WINE_PKI) and the
# system's certificates trusting it too (TINTELLE_WINE_CERTS, /etc/ssl/certs for wine.sh).
set -eu
: "${TINTELLE_LINUX_SIM:?configure with -DTINTELLE_LINUX_SIM=<the Linux build's tintelle-provider-sim>}"
wineserver -k 2>/dev/null || true
. "$(dirname "$0")/throwaway-home.sh"
rm -rf "$WINEPREFIX" "$TINTELLE_WINE_PKI" "$TINTELLE_WINE_CERTS" "$HOME"
mkdir -p "$TINTELLE_WINE_PKI" "$HOME"
# No Mono or Gecko to install: the tests need neither, and asking would wait for a click.
WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" wineboot --init
# The simulator makes its authority on start; it is stopped once it listens.
mkfifo "$TINTELLE_WINE_PKI/.out"
"$TINTELLE_LINUX_SIM" --port 0 --pki "$TINTELLE_WINE_PKI" --login x --password x >"$TINTELLE_WINE_PKI/.out" &
head -n 1 "$TINTELLE_WINE_PKI/.out" | grep -q '^listening on '
kill $!
rm "$TINTELLE_WINE_PKI/.out"
cp -RL /etc/ssl/certs "$TINTELLE_WINE_CERTS"
cat "$TINTELLE_WINE_PKI/ca.pem" >>"$TINTELLE_WINE_CERTS/ca-certificates.crt"
cp "$TINTELLE_WINE_PKI/ca.pem" "$TINTELLE_WINE_CERTS/tintelle-test.pem"
openssl rehash "$TINTELLE_WINE_CERTS"
