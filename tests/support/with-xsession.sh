#!/bin/sh
# Runs a command inside a private X server with a tray host, then stops both.
# Usage: with-xsession.sh COMMAND [ARGS...]
# With XSESSION_TRAY=none in the environment, no tray host is started.
set -eu

runtime=$(mktemp -d)
chmod 700 "$runtime"
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$runtime/display" 2>"$runtime/xvfb.log" &
xvfb=$!
trayer_pid=
cleanup() {
    [ -n "$trayer_pid" ] && kill "$trayer_pid" 2>/dev/null || true
    kill "$xvfb" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$runtime"
}
trap cleanup EXIT INT TERM

i=0
while [ ! -s "$runtime/display" ]; do
    i=$((i + 1))
    [ $i -gt 100 ] && { echo "Xvfb did not start" >&2; cat "$runtime/xvfb.log" >&2; exit 1; }
    sleep 0.1
done
DISPLAY=:$(head -n1 "$runtime/display")
export DISPLAY XDG_RUNTIME_DIR="$runtime"
export QT_QPA_PLATFORM=xcb

if [ "${XSESSION_TRAY:-trayer}" = none ]; then
    "$@"
    exit $?
fi

trayer --edge bottom --align right --widthtype pixel --width 200 --heighttype pixel --height 32 \
    --transparent false --tint 0x444444 >"$runtime/trayer.log" 2>&1 &
trayer_pid=$!
# The tray host must own its selection before a program asks whether a tray exists.
i=0
until xdotool search --name '^panel$' >/dev/null 2>&1; do
    i=$((i + 1))
    [ $i -gt 100 ] && break
    sleep 0.1
done

set +e
"$@"
status=$?
exit $status
