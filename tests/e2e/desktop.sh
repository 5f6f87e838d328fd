#!/bin/bash
# The program as its user meets it, from a first run's setup to the tray's quit: copies beside
# other windows and Configuration, links and second starts (with or without the runtime folder),
# a silent clipboard owner, and the branded edition beside this one; each step says what it shows.
# shellcheck source=lib.sh
. "$(dirname "$0")/lib.sh"
session_begin; session_start_x; session_start_sim
# No settings at all: the program makes their folder and file, private whatever the umask.
umask 022
if [ "$(id -u)" -eq 0 ]; then
    mkdir -p "$SESSION_WORK/certs" && cp "$SESSION_SIM_CA" "$SESSION_WORK/certs/ca-certificates.crt"
    cp "$SESSION_SIM_CA" "$SESSION_WORK/certs/tintelle-test.pem" && openssl rehash "$SESSION_WORK/certs"
    # shellcheck disable=SC2016 # expanded by the inner shell
    session_start_app unshare --mount --propagation private sh -c \
        'mount --bind "$1" /etc/ssl/certs && exec "$2"' sh "$SESSION_WORK/certs" "$TINTELLE_BIN"
else
    session_start_app
fi
e2e_wait_focused Tintelle
# The tab bar holds the keyboard first; Tab goes on to the login, password and number fields.
for text in "$SESSION_LOGIN" "$SESSION_PASSWORD" "$SESSION_NUMBER"; do xdotool key Tab type --delay 20 "$text"; done
xdotool key Return
session_wait_until 20 "the setup dialog to close" session_window_gone Tintelle
session_wait_tray_icon
# No provider built in and none set: said at once, with the setting that gives one.
grep -qF "réglage \"endpoint\" de $SESSION_CONF." "$SESSION_WORK/app.log" || session_fail "no notice of the missing provider"
e2e_expect_eq "settings modes" "$(stat -c %a "$SESSION_CONF" "${SESSION_CONF%/*}" | xargs)" "600 700"
for line in "login=$SESSION_LOGIN" "number=$SESSION_NUMBER" "copytwice=false"; do
    grep -qxF "$line" "$SESSION_CONF" || session_fail "the settings file lacks '$line'"
done
# Where the provider is, as an administrator adds it; the next call reads it.
echo "endpoint=$SESSION_SIM_URL" >>"$SESSION_CONF"
[ "$(id -u)" -eq 0 ] || echo "endpointca=$SESSION_SIM_CA" >>"$SESSION_CONF"

session_spawn silent "$TINTELLE_SILENT_OWNER"
session_wait_until 20 "the program to ask the silent owner" grep -q asked "$SESSION_WORK/silent.log"
# Waiting on the owner, the program would show its menu only once it gives up (15 s in Qt).
popups=$(session_popups)
session_click_at "$SESSION_TRAY_X" "$SESSION_TRAY_Y" 3
session_wait_until 8 "the tray menu to show" session_new_popup "$popups"
xdotool key Escape
# shellcheck disable=SC2016 # expanded by the inner shell
session_wait_until 20 "the tray menu to close" sh -c '! xwininfo -id "$0" 2>/dev/null | grep -q IsViewable' "$SESSION_MENU"

# A window in use, holding the keyboard, where the call dialog will come.
session_spawn mail xmessage -title Courrier -geometry 800x400+240+200 "Montant : 1500 EUR"
session_wait_window Courrier && { xdotool windowactivate --sync "$SESSION_WINDOW" 2>/dev/null || true; }
e2e_wait_focused Courrier && E2E_MAIL=$SESSION_WINDOW

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
e2e_call_from_dialog "01 40 00 00 01" 2 0033140000001 # typed over the number shown

for _ in 1 2; do # the menu's first entry; asked twice, one window
    session_open_tray_menu && session_choose_menu_entry 1 4
    e2e_wait_focused Tintelle
done
setup=$SESSION_WINDOW
e2e_expect_eq "Configuration windows" "$(session_windows Tintelle | wc -l)" 1
e2e_copy "06 98 76 54 32"
session_focused_is "$setup" || session_fail "the copy took the keyboard from Configuration"
# Their rectangles on the screen, frames included (xdotool's geometry counts a frame twice).
read -r ax ay aw ah bx by bw bh < <(for w in "$setup" "$E2E_DIALOG"; do xwininfo -id "$w"; done |
    awk '/Absolute upper-left [XY]|Width|Height/ { printf "%s ", $NF } END { print "" }')
[ $((bx + bw)) -le "$ax" ] || [ $((ax + aw)) -le "$bx" ] || [ $((by + bh)) -le "$ay" ] ||
    [ $((ay + ah)) -le "$by" ] || session_fail "the call dialog ($bx $by $bw $bh) covers Configuration ($ax $ay $aw $ah)"
# Enter validates Configuration; a second one, a moment later, reaches the call dialog: no call.
xdotool key --delay 300 Return Return
session_wait_until 20 "the call dialog to get the keyboard" session_focused_is "$E2E_DIALOG"
session_window_gone Tintelle || session_fail "Enter did not validate Configuration"
e2e_type_over "01 40 00 00 02" 3 0033140000002

e2e_second_start env -u XDG_RUNTIME_DIR "$TINTELLE_BIN"
e2e_wait_focused "Sonaro - Ivelor"
e2e_call_from_dialog "06 12 34 56 78" 4 0033612345678
session_click_window "$E2E_MAIL"
e2e_second_start "$TINTELLE_BIN" "tel:+33-1-23-45-67-89"
session_wait_window "Sonaro - Ivelor"
session_focused_is "$E2E_MAIL" || session_fail "the link took the keyboard from the mail window"
session_click_window "$SESSION_WINDOW"
e2e_call_from_dialog "" 5 0033123456789
# The menu's second entry, "Appeler un numéro", opens the same dialog.
session_open_tray_menu && session_choose_menu_entry 2 4
e2e_call_from_dialog "01 40 00 00 00" 6 0033140000000

# Sonaro beside: it tells of a link to this one while its dialog is open; the first answers copies.
sonaro=$SESSION_WORK/Sonaro/sonaro
mkdir -p "${sonaro%/*}" && cp "$TINTELLE_BIN" "$sonaro"
session_write_settings "$XDG_CONFIG_HOME/Ivelor/Sonaro.conf"
QT_QPA_PLATFORM=xcb session_spawn sonaro "$sonaro"
session_wait_tray_icon sonaro
e2e_second_start "$sonaro" "tel:0611111111"
session_wait_window "Sonaro - Ivelor"
e2e_second_start "$TINTELLE_BIN" "tel:0622222222"
session_wait_until 20 "Sonaro's notice" grep -qF "Numéro 0622222222 ignoré" "$SESSION_WORK/sonaro.log"
e2e_expect_eq "call dialogs" "$(session_windows "Sonaro - Ivelor" | wc -l)" 1
session_click_window "$SESSION_WINDOW"
e2e_call_from_dialog "" 7 0033611111111
for i in 0 1 2 3 4 5 6 7 8 9; do
    session_copy "06 12 34 56 1$i"
    session_wait_until 20 "copy $i to go to the first edition" e2e_dialog_of "$SESSION_APP_PID"
    session_click_window "$SESSION_WINDOW"
    xdotool key Escape && e2e_wait_dialog_gone
done
# The tray menu's last entry ends the program, with status 0.
session_open_tray_menu && session_choose_menu_entry 4 4
session_wait_until 20 "the program to end" session_gone "$SESSION_APP_PID"
wait "$SESSION_APP_PID" || session_fail "the quit entry ended the program with status $?"
# The placed calls closed their dialogs and said nothing more: the one notice is the start's.
e2e_expect_eq "notices" "$(grep -c '^Notice:' "$SESSION_WORK/app.log")" 1
session_log "passed"
