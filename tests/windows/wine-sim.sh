#!/bin/sh
# The provider simulator for tests under Wine: the Windows test's drive-letter paths become Unix
# ones, and it serves with the authority in TINTELLE_WINE_PKI, the one wine.sh shows the test among
# the system's (Wine trusts no other).
set -eu
: "${TINTELLE_LINUX_SIM:?TINTELLE_LINUX_SIM must name the Linux build of tintelle-provider-sim}"
unix_path()
{
    case $1 in
    [A-Za-z]:[\\/]*)
        drive=$(printf %s "$1" | cut -c1 | tr '[:upper:]' '[:lower:]')
        printf '%s/dosdevices/%s:%s' "$WINEPREFIX" "$drive" "$(printf %s "$1" | cut -c3- | tr '\\' /)"
        ;;
    *) printf %s "$1" ;;
    esac
}
n=$# prev= pki=
for arg; do # the arguments converted, after the original ones shifted out below
    [ "$prev" != --pki ] || pki=$(unix_path "$arg")
    prev=$arg
    set -- "$@" "$(unix_path "$arg")"
done
shift "$n"
if [ -n "$pki" ] && [ -n "${TINTELLE_WINE_PKI:-}" ] && [ ! -e "$pki/ca.pem" ]; then
    mkdir -p "$pki"
    cp -R "$TINTELLE_WINE_PKI/." "$pki/"
fi
exec "$TINTELLE_LINUX_SIM" "$@"
