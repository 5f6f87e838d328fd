#!/bin/bash
# A second start hands over to the running copy and exits: with no argument its empty dialog opens
# ready for typing; a tel: link, a number someone else chose, shows its number on top without
# taking the keyboard from the window in use, so that Enter there calls nobody, and a second link
# while it is open changes nothing. A socket left by a killed copy does not keep the next one from
# starting, nor do idle connections let a second copy start. Run as root, the running copy trusts
# the provider through the system's certificate store, and a start without XDG_RUNTIME_DIR finds it
# through /run/user/0 (a private mount namespace shows it the test authority and the session's
# runtime folder there). Beside the branded edition, one dialog opens at a time whichever edition
# is asked, and the edition started first answers every copy.
# shellcheck source=lib.sh
. "$(dirname "$0")/lib.sh"
e2e_begin
if [ "$(id -u)" -eq 0 ]; then
    mkdir -p "$SESSION_WORK/certs"
    cp "$SESSION_SIM_CA" "$SESSION_WORK/certs/ca-certificates.crt"
    cp "$SESSION_SIM_CA" "$SESSION_WORK/certs/tintelle-test.pem"
    openssl rehash "$SESSION_WORK/certs"
    session_write_settings "" endpointca=
    # shellcheck disable=SC2016 # expanded by the inner shell
    session_start_app unshare --mount --propagation private sh -c '
        mount --bind "$1" /etc/ssl/certs && mount -t tmpfs tmpfs /run/user &&
        mkdir -m 700 /run/user/0 && mount --bind "$XDG_RUNTIME_DIR" /run/user/0 && exec "$2"' \
        sh "$SESSION_WORK/certs" "$TINTELLE_BIN"
else
    session_write_settings
    session_start_app
fi
session_wait_tray_icon

# Starts a second copy with "$@" (of $bin, through the command in array via) and expects it to
# exit 0.
via=()
second_start()
{
    local t0 status=0
    t0=$(date +%s%N)
    QT_QPA_PLATFORM=xcb timeout 20 "${via[@]}" "${bin:-$TINTELLE_BIN}" "$@" \
        >>"$SESSION_WORK/second.log" 2>&1 || status=$?
    e2e_expect_eq "exit status of a second start $*" "$status" 0
    session_log "the second start took $((($(date +%s%N) - t0) / 1000000)) ms"
}

[ "$(id -u)" -ne 0 ] || via=(nsenter -t "$SESSION_APP_PID" -m env -u XDG_RUNTIME_DIR)
second_start
via=()
e2e_wait_focused "Sonaro - Ivelor"
e2e_expect_eq "call dialogs" "$(session_windows "Sonaro - Ivelor" | wc -l)" 1
e2e_call_from_dialog "06 12 34 56 78" 1 0033612345678
e2e_open_mail "Bonjour"
mail=$E2E_MAIL
second_start "tel:+33-1-23-45-67-89"
session_wait_window "Sonaro - Ivelor"
session_focused_is "$mail" || session_fail "the link took the keyboard from the mail window"
second_start "tel:08-99-12-34-56"
e2e_enter_calls_nobody 1
session_click_window "$SESSION_WINDOW"
e2e_call_from_dialog "" 2 0033123456789
# 1 100 idle connections held on the socket: a start from the session still finds the running copy
# (it asks for nothing) rather than run as a second copy, since the socket is never lost.
(ulimit -n 4096 2>/dev/null || true
    exec perl -MIO::Socket::UNIX -e '$|=1; my @held; for (1..1100) { push @held,
        IO::Socket::UNIX->new(Peer => $ARGV[0]) // last } print scalar(@held), "\n"; sleep 60' \
    "$XDG_RUNTIME_DIR/tintelle/tintelle.socket" >"$SESSION_WORK/idle.out") &
idle=$!
session_wait_until 30 "the idle connections" test -s "$SESSION_WORK/idle.out"
e2e_expect_eq "idle connections held" "$(cat "$SESSION_WORK/idle.out")" 1100
second_start --autostart
kill "$idle"
# The menu's second entry, "Appeler un numéro", opens the same dialog.
session_open_tray_menu
xdotool key Down Down Return
e2e_call_from_dialog "01 40 00 00 00" 3 0033140000000
[ "$(id -u)" -ne 0 ] || session_log "ok: calls passed through the system certificate store"

# The branded edition beside this one: a link to this one while Sonaro's dialog is open opens no
# second dialog, and this one, started first, answers every copy.
sonaro=$SESSION_WORK/Sonaro/sonaro
mkdir -p "${sonaro%/*}" && cp "$TINTELLE_BIN" "$sonaro"
session_write_settings "$XDG_CONFIG_HOME/Ivelor/Sonaro.conf"
QT_QPA_PLATFORM=xcb session_spawn sonaro "$sonaro"
session_wait_tray_icon sonaro
bin=$sonaro second_start "tel:0611111111"
session_wait_window "Sonaro - Ivelor"
second_start "tel:0622222222"
sleep 1 # the absence of a second dialog can only be given time to show
e2e_expect_eq "call dialogs" "$(session_windows "Sonaro - Ivelor" | wc -l)" 1
session_click_window "$SESSION_WINDOW"
e2e_call_from_dialog "" 4 0033611111111
# Whether the call dialog shown belongs to process $1 (its properties may come after its title).
answered_by()
{
    session_wait_window "Sonaro - Ivelor"
    [ "$(xprop -id "$SESSION_WINDOW" _NET_WM_PID 2>/dev/null | grep -o '[0-9]*$')" = "$1" ]
}
for i in 0 1 2 3 4 5 6 7 8 9; do
    session_copy "06 12 34 56 1$i"
    session_wait_until 20 "copy $i to go to the first edition" answered_by "$SESSION_APP_PID"
    session_click_window "$SESSION_WINDOW"
    xdotool key Escape
    session_wait_until 20 "the call dialog to close" session_window_gone "Sonaro - Ivelor"
done

kill -KILL "$SESSION_APP_PID"
e2e_wait_app_exit
session_start_app
session_wait_tray_icon
session_log "ok: a copy started over the socket of a killed one"
e2e_quit
session_log "passed"
