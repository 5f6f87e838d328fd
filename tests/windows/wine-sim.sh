#!/bin/sh
# The provider simulator for tests running under Wine: Wine starts this Linux script for the
# Windows test, which names its files with drive letters. Those become Unix paths here, and the
# simulator serves with the authority made beforehand in TINTELLE_WINE_PKI, the one that wine.sh
# shows the test among the system's (Wine trusts no other).
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
n=$# prev=
pki=
while [ "$n" -gt 0 ]; do
    arg=$(unix_path "$1")
    [ "$prev" != --pki ] || pki=$arg
    prev=$1
    shift
    set -- "$@" "$arg"
    n=$((n - 1))
done
if [ -n "$pki" ] && [ -n "${TINTELLE_WINE_PKI:-}" ] && [ ! -e "$pki/ca.pem" ]; then
    mkdir -p "$pki"
    cp -R "$TINTELLE_WINE_PKI/." "$pki/"
fi
exec "$TINTELLE_LINUX_SIM" "$@"
