#!/bin/bash
# A copy made while the user works elsewhere shows the call dialog on top without the keyboard:
# Enter there places no call; a click on the dialog, then Enter, calls. A dialog left behind another
# window comes to the front for a tray double-click, with the keyboard on its number, typed over.
# A silent clipboard owner freezes nothing. A link without a number and a copy while a dialog is
# open are only noticed, and the pencil from the keyboard selects the number.
# Configuration opens once however often asked for. A copy beside it keeps off its fields and
# leaves it the keyboard; a second Enter, just after the first closed Configuration and the
# keyboard moved to the call dialog, calls nobody, and a later Enter calls.
# shellcheck source=lib.sh
. "$(dirname "$0")/lib.sh"
e2e_begin
session_write_settings
session_start_app
session_wait_tray_icon

session_spawn silent "$TINTELLE_SILENT_OWNER"
session_wait_until 20 "the program to ask the silent owner" grep -q asked "$SESSION_WORK/silent.log"
# Waiting on the owner, the program would show its menu only once it gives up (15 s in Qt).
popups=$(session_popups)
session_click_at "$SESSION_TRAY_X" "$SESSION_TRAY_Y" 3
session_wait_until 8 "the tray menu to show" session_new_popup "$popups"
xdotool key Escape
menu_closed() { ! xwininfo -id "$SESSION_MENU" 2>/dev/null | grep -q IsViewable; }
session_wait_until 20 "the tray menu to close" menu_closed

e2e_open_mail "Montant : 1500 EUR"

e2e_copy "Montant : 1500 €"
e2e_above "$E2E_DIALOG" "$E2E_MAIL" || session_fail "the dialog is below the mail"
session_focused_is "$E2E_MAIL" || session_fail "the copy took the keyboard from the mail window"
xdotool key Return # in the mail window: it neither calls 1500 nor closes the dialog
e2e_type_over "06 12 34 56 78" 1 0033612345678

e2e_copy "Tél. 06 12 34 56 78"
session_click_window "$E2E_MAIL"
e2e_above "$E2E_MAIL" "$E2E_DIALOG" || session_fail "a click on the mail left the dialog above it"
session_click_at "$SESSION_TRAY_X" "$SESSION_TRAY_Y" --repeat 2 1
session_wait_until 20 "a double-click on the tray to give the dialog the keyboard" \
    session_focused_is "$E2E_DIALOG"
e2e_above "$E2E_DIALOG" "$E2E_MAIL" || session_fail "the dialog with the keyboard is below the mail"
e2e_call_from_dialog "01 40 00 00 01" 2 0033140000001 # typed over the number shown

# Behind the mail, a copy's dialog is left there, its number untouched, by a link without a
# number and by a copy of another number, each noticed.
e2e_copy "01 44 55 66 77"
session_click_window "$E2E_MAIL"
QT_QPA_PLATFORM=xcb timeout 20 "$TINTELLE_BIN" "tel:112" || session_fail "a start with a link failed"
e2e_noticed "Le lien ne contient aucun numéro reconnu : aucune fenêtre d'appel n'est ouverte. Pour appeler, double-cliquez sur l'icône et tapez le numéro."
session_copy "07 11 22 33 44"
e2e_noticed "Numéro 0711223344 ignoré : une fenêtre d'appel est déjà ouverte. Fermez-la, puis copiez le numéro à nouveau."
e2e_above "$E2E_MAIL" "$E2E_DIALOG" || session_fail "a link or a copy brought the old number forward"
session_focused_is "$E2E_MAIL" || session_fail "a link or a copy took the keyboard from the mail"
xdotool windowminimize --sync "$E2E_MAIL"
session_click_window "$E2E_DIALOG"
e2e_call_from_dialog "" 3 0033144556677

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
# a second Enter, a moment later, arrives after it and calls nobody.
xdotool key --delay 300 Return Return
session_wait_until 20 "the call dialog to get the keyboard" session_focused_is "$E2E_DIALOG"
session_window_gone Tintelle || session_fail "Enter did not validate Configuration"
e2e_type_over "01 40 00 00 02" 4 0033140000002
e2e_quit
session_log "passed"
