#!/bin/sh
# The provider simulator under Wine: drive-letter paths become Unix ones, and it serves with the
# authority in TINTELLE_WINE_PKI, which wine.sh shows among the system's (Wine trusts no other).
set -eu
: "${TINTELLE_LINUX_SIM:?TINTELLE_LINUX_SIM must name the Linux build of tintelle-provider-sim}"
n=$# prev= pki=
for arg; do # drive-letter paths as Linux sees them, after the originals, shifted out below
    arg=$(printf %s "$arg" | sed -E -e 's|^([A-Za-z]):([\\/])|'"$WINEPREFIX"'/dosdevices/\L\1:\2|' -e T -e 's|\\|/|g')
    [ "$prev" != --pki ] || pki=$arg
    prev=$arg
    set -- "$@" "$arg"
done
shift "$n"
if [ -n "$pki" ] && [ -n "${TINTELLE_WINE_PKI:-}" ] && [ ! -e "$pki/ca.pem" ]; then
    mkdir -p "$pki" && cp -R "$TINTELLE_WINE_PKI/." "$pki/"
fi
exec "$TINTELLE_LINUX_SIM" "$@"
