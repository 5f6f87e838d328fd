#!/bin/sh
# Starts the two installed editions from BINDIR inside an X session with a tray host (run it under
# tests/support/with-xsession.sh) and checks that each one is the edition its path names:
#  - tintelle with only the plain edition's settings, and sonaro with only the branded edition's,
#    both put an icon into the tray, and the icon's window class names the edition;
#  - started with the other edition's settings only, neither shows a tray icon (they have no
#    login of their own, so they ask for one first);
#  - in a Wayland session where the user chose no platform, the program runs on X11 straight away
#    (the plain edition is started so, with a Wayland display that does not exist).
# Usage: tray-editions.sh BINDIR
# With TINTELLE_SCREENSHOT=file.png, the screen with both tray icons is saved there.
set -eu

bindir=$1
work=$(mktemp -d)
pids=
cleanup() {
    for pid in $pids; do
        kill "$pid" 2>/dev/null || true
    done
    for pid in $pids; do
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT INT TERM

fail() {
    echo "FAIL: $*" >&2
    for log in "$work"/*.log; do
        [ -s "$log" ] && { echo "--- $log" >&2; cat "$log" >&2; }
    done
    exit 1
}

# Settings profiles, each holding one edition's stored login and nothing else.
write_settings() {
    mkdir -p "$(dirname "$1")"
    printf '[General]\nlogin=x\npassword=y\nnumber=0102030405\ncopytwice=false\n' >"$1"
    chmod 600 "$1"
}
write_settings "$work/plain/Tintelle/Tintelle.conf"
write_settings "$work/branded/Ivelor/Sonaro.conf"

# A session bus with a notifier watcher would take the icon away from the X tray host.
unset DBUS_SESSION_BUS_ADDRESS

panel=$(xdotool search --name '^panel$' | head -n1)
[ -n "$panel" ] || fail "no tray host panel"

# start NAME PROGRAM PROFILE [VAR=value...]: starts PROGRAM on a settings profile, with the extra
# environment given; sets $started to its pid.
start() {
    name=$1 program=$2 profile=$3
    shift 3
    env "$@" XDG_CONFIG_HOME="$work/$profile" "$bindir/$program" >"$work/$name.log" 2>&1 &
    started=$!
    pids="$pids $started"
}

parent_of() {
    xwininfo -children -id "$1" 2>/dev/null |
        sed -n 's/.*Parent window id: \(0x[0-9a-fA-F]*\).*/\1/p'
}

# True when window $1 lies somewhere inside the tray host's panel.
inside_panel() {
    ancestor=$1
    while :; do
        ancestor=$(parent_of "$ancestor")
        [ -n "$ancestor" ] && [ "$((ancestor))" -ne 0 ] || return 1
        [ "$((ancestor))" -eq "$panel" ] && return 0
    done
}

# Prints the windows of process $1 that the tray host has embedded.
tray_windows() {
    for w in $(xdotool search --pid "$1" 2>/dev/null); do
        inside_panel "$w" && echo "$w"
    done
    return 0
}

# Prints the viewable windows of process $1 outside the tray (a dialog).
other_windows() {
    for w in $(xdotool search --onlyvisible --pid "$1" 2>/dev/null); do
        inside_panel "$w" || echo "$w"
    done
    return 0
}

window_class() {
    xprop -id "$1" WM_CLASS | sed -n 's/.*= ".*", "\(.*\)"$/\1/p'
}

# expect_tray PID EDITION: the process puts an icon of the named edition into the tray.
expect_tray() {
    i=0
    while [ -z "$(tray_windows "$1")" ]; do
        kill -0 "$1" 2>/dev/null || fail "$2 exited instead of showing its tray icon"
        i=$((i + 1))
        [ $i -gt 150 ] && fail "$2 showed no tray icon within 15 s"
        sleep 0.1
    done
    w=$(tray_windows "$1" | head -n1)
    class=$(window_class "$w")
    [ "$class" = "$2" ] || fail "tray icon of $bindir for $2 belongs to edition '$class'"
    echo "ok: $2 shows its tray icon (window $w, class $class)"
}

# expect_no_tray PID WHAT: the process asks for a login (a dialog) or ends, with no tray icon.
expect_no_tray() {
    i=0
    while kill -0 "$1" 2>/dev/null && [ -z "$(other_windows "$1")" ]; do
        i=$((i + 1))
        [ $i -gt 150 ] && fail "$2 neither asked for a login nor ended within 15 s"
        sleep 0.1
    done
    [ -z "$(tray_windows "$1")" ] || fail "$2 showed a tray icon"
    echo "ok: $2 shows no tray icon"
}

start plain tintelle plain -u QT_QPA_PLATFORM XDG_SESSION_TYPE=wayland \
    WAYLAND_DISPLAY=wayland-tintelle-absent
plain=$started
start branded sonaro branded
branded=$started
expect_tray "$plain" Tintelle
expect_tray "$branded" Sonaro
if grep -qi wayland "$work/plain.log"; then
    fail "in a Wayland session the program tried Wayland before X11"
fi
echo "ok: in a Wayland session with an X server the program runs on X11"
if [ -n "${TINTELLE_SCREENSHOT:-}" ]; then
    sleep 0.5
    import -window root "$TINTELLE_SCREENSHOT"
fi

start plain-on-branded tintelle branded
expect_no_tray "$started" "tintelle with only the branded settings"
start branded-on-plain sonaro plain
expect_no_tray "$started" "sonaro with only the plain settings"

# Both editions with a login must still be up.
kill -0 "$plain" 2>/dev/null || fail "tintelle ended"
kill -0 "$branded" 2>/dev/null || fail "sonaro ended"
echo "ok: both editions of $bindir start as the edition their path names"
