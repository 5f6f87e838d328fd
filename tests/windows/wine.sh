#!/bin/sh
# wine.sh PROGRAM [ARGUMENTS...]: with its Qt (TINTELLE_QT_WINDOWS) and MinGW runtime on WINEPATH;
# as root, with TINTELLE_WINE_CERTS as /etc/ssl/certs, where alone Wine takes trusted authorities.
set -eu
: "${WINEPREFIX:?WINEPREFIX must name a prepared Wine prefix (see scripts/build-windows.sh)}"
. "$(dirname "$0")/throwaway-home.sh"
# Empty for an installed program, which must find all of them beside itself.
if [ -n "${TINTELLE_QT_WINDOWS:-}" ]; then
    runtime=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-file-name=libstdc++-6.dll)")
    pthread=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-file-name=libwinpthread-1.dll)")
    export WINEPATH="Z:$TINTELLE_QT_WINDOWS/bin;Z:$runtime;Z:$pthread"
    export QT_PLUGIN_PATH="Z:$TINTELLE_QT_WINDOWS/plugins"
fi
export WINEDEBUG="${WINEDEBUG:--all}"
run() {
    if [ -n "${TINTELLE_WINE_CERTS:-}" ] && [ "$(id -u)" -eq 0 ]; then
        # shellcheck disable=SC2016 # expanded by the inner shell
        unshare --mount --propagation private \
            sh -c 'mount --bind "$0" /etc/ssl/certs && exec wine "$@"' "$TINTELLE_WINE_CERTS" "$@"
    else
        wine "$@"
    fi
}
case "$(basename "$1")" in
tst_*) ;; # what a test prints to a pipe is lost under Wine: its log goes through a file
*) run "$@"; exit ;;
esac
log=$(mktemp)
trap 'cat "$log"; rm -f "$log"' EXIT
run "$@" -o "Z:$log,txt"
