#!/bin/bash
# Keys and numbers the user did not mean never call. A copy's dialog waits behind the window in
# use: a link holding no number brings it no further and leaves the keyboard where it was, and a
# copy of another number leaves it there too, each with a notice. From the keyboard, the pencil
# has the typed number replace the shown one. Configuration opens once however often asked for. A
# copy beside it keeps off its fields and leaves it the keyboard; a second Enter, just after the
# first closed Configuration and the keyboard moved to the call dialog, calls nobody, and a later
# Enter calls.
# shellcheck source=lib.sh
. "$(dirname "$0")/lib.sh"
e2e_begin
session_write_settings
session_start_app
session_wait_tray_icon
e2e_open_mail "Bonjour"

# Whether window $1 is stacked above window $2.
above() { xprop -root _NET_CLIENT_LIST_STACKING | grep -o '0x[0-9a-f]*' | xargs printf '%d\n' | grep -A100 -x "$2" | grep -qx "$1"; }
noticed() { grep -qF "$1" "$SESSION_WORK/app.log"; }

e2e_copy "01 44 55 66 77"
session_click_window "$E2E_MAIL"
above "$E2E_MAIL" "$E2E_DIALOG" || session_fail "a click on the mail left the dialog above it"

QT_QPA_PLATFORM=xcb timeout 20 "$TINTELLE_BIN" "tel:112" >>"$SESSION_WORK/second.log" 2>&1 ||
    session_fail "a second start with a link did not end well"
session_wait_until 20 "the notice for a link without a number" \
    noticed "Le lien ne contient aucun numéro reconnu : aucune fenêtre d'appel n'est ouverte."
above "$E2E_MAIL" "$E2E_DIALOG" || session_fail "a link without a number brought the dialog forward"
session_focused_is "$E2E_MAIL" || session_fail "a link without a number took the keyboard"
e2e_enter_calls_nobody 0

session_copy "07 11 22 33 44"
session_wait_until 20 "the notice for the ignored copy" \
    noticed "Numéro 0711223344 ignoré : une fenêtre d'appel est déjà ouverte."
above "$E2E_MAIL" "$E2E_DIALOG" || session_fail "a refused copy brought the old number forward"

xdotool windowminimize --sync "$E2E_MAIL"
session_click_window "$E2E_DIALOG"
xdotool key Tab space
e2e_call_from_dialog "06 12 34 56 78" 1 0033612345678 # typed over the number shown

for _ in 1 2; do # the menu's first entry; asked twice, one window
    session_open_tray_menu
    if declare -F session_choose_menu_entry >/dev/null; then session_choose_menu_entry 1 4; else xdotool key Down Return; fi
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
e2e_expect_eq "requests after a second Enter" "$(session_sim_requests)" 1
xdotool key Return && e2e_expect_call 2 0033698765432
e2e_quit
session_log "passed"
