#!/bin/bash
# A second start hands over to the running copy and exits: with no argument its empty dialog opens
# ready for typing; a tel: link, a number someone else chose, shows its number on top without
# taking the keyboard from the window in use, so that Enter there calls nobody, and a second link
# while it is open changes nothing. A socket left by a killed copy does not keep the next one from
# starting, nor do idle connections let a second copy start. Run as root, the running copy trusts
# the provider through the system's certificate store (a private mount namespace shows it the test
# authority there).
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
    session_start_app unshare --mount --propagation private \
        sh -c 'mount --bind "$1" /etc/ssl/certs && exec "$2"' sh "$SESSION_WORK/certs" "$TINTELLE_BIN"
else
    session_write_settings
    session_start_app
fi
session_wait_tray_icon

# Starts a second copy with "$@" and expects it to exit 0.
second_start()
{
    local t0 status=0
    t0=$(date +%s%N)
    QT_QPA_PLATFORM=xcb timeout 20 "$TINTELLE_BIN" "$@" >>"$SESSION_WORK/second.log" 2>&1 || status=$?
    e2e_expect_eq "exit status of a second start $*" "$status" 0
    session_log "the second start took $((($(date +%s%N) - t0) / 1000000)) ms"
}

second_start
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

kill -KILL "$SESSION_APP_PID"
e2e_wait_app_exit
session_start_app
session_wait_tray_icon
session_log "ok: a copy started over the socket of a killed one"
e2e_quit
session_log "passed"
