#!/bin/bash
# Keys and numbers the user did not mean never call. A copy while a dialog is open is only noticed.
# Configuration opens once however often asked for. A copy beside it keeps off its fields and
# leaves it the keyboard; a second Enter, just after the first closed Configuration and the
# keyboard moved to the call dialog, calls nobody, and a later Enter calls.
# shellcheck source=lib.sh
. "$(dirname "$0")/lib.sh"
e2e_begin
session_write_settings
session_start_app
session_wait_tray_icon

e2e_copy "01 44 55 66 77"
session_copy "07 11 22 33 44"
session_wait_until 20 "the notice for the ignored copy" \
    grep -qF "Numéro 0711223344 ignoré : une fenêtre d'appel est déjà ouverte." "$SESSION_WORK/app.log"
session_click_window "$E2E_DIALOG"
xdotool key Escape && e2e_wait_dialog_gone

for _ in 1 2; do # the menu's first entry; asked twice, one window
    session_open_tray_menu
    session_choose_menu_entry 1 4
    e2e_wait_focused Tintelle
done
setup=$SESSION_WINDOW
e2e_expect_eq "Configuration windows" "$(session_windows Tintelle | wc -l)" 1
e2e_copy "06 98 76 54 32"
session_focused_is "$setup" || session_fail "the copy took the keyboard from Configuration"
# Window $1's rectangle on the screen, as "x y width height" (xdotool's counts a frame twice).
rect() { xwininfo -id "$1" | awk '/Absolute upper-left [XY]|Width|Height/ { printf "%s ", $NF } END { print "" }'; }
read -r ax ay aw ah < <(rect "$setup")
read -r bx by bw bh < <(rect "$E2E_DIALOG")
[ $((bx + bw)) -le "$ax" ] || [ $((ax + aw)) -le "$bx" ] || [ $((by + bh)) -le "$ay" ] ||
    [ $((ay + ah)) -le "$by" ] || session_fail "the call dialog ($bx $by $bw $bh) covers Configuration ($ax $ay $aw $ah)"
# Enter validates Configuration; the window manager hands the keyboard to the call dialog, where
# a second Enter, a moment later, arrives after it.
xdotool key --delay 300 Return Return
session_wait_until 20 "the call dialog to get the keyboard" session_focused_is "$E2E_DIALOG"
session_window_gone Tintelle || session_fail "Enter did not validate Configuration"
sleep 1 # the absence of a call can only be given time to show
e2e_expect_eq "requests after a second Enter" "$(session_sim_requests)" 0
xdotool key Return && e2e_expect_call 1 0033698765432
e2e_quit
session_log "passed"
