#!/bin/bash
# A second start hands over to the running copy and exits, with the session's runtime folder or
# none (su, ssh, cron). As root, the copy trusts the provider through the system's certificate
# store (a private mount namespace shows it the test authority). Beside the branded edition, one
# dialog opens at a time, and the edition started first answers every copy.
# shellcheck source=lib.sh
. "$(dirname "$0")/lib.sh"
e2e_begin
if [ "$(id -u)" -eq 0 ]; then
    mkdir -p "$SESSION_WORK/certs" && cp "$SESSION_SIM_CA" "$SESSION_WORK/certs/ca-certificates.crt"
    cp "$SESSION_SIM_CA" "$SESSION_WORK/certs/tintelle-test.pem" && openssl rehash "$SESSION_WORK/certs"
    session_write_settings "" endpointca=
    # shellcheck disable=SC2016 # expanded by the inner shell
    session_start_app unshare --mount --propagation private sh -c \
        'mount --bind "$1" /etc/ssl/certs && exec "$2"' sh "$SESSION_WORK/certs" "$TINTELLE_BIN"
else
    session_write_settings
    session_start_app
fi
session_wait_tray_icon

e2e_second_start env -u XDG_RUNTIME_DIR "$TINTELLE_BIN"
e2e_wait_focused "Sonaro - Ivelor"
e2e_expect_dialogs 1
e2e_call_from_dialog "06 12 34 56 78" 1 0033612345678
e2e_open_mail "Bonjour"
e2e_second_start "$TINTELLE_BIN" "tel:+33-1-23-45-67-89"
session_wait_window "Sonaro - Ivelor"
session_focused_is "$E2E_MAIL" || session_fail "the link took the keyboard from the mail window"
e2e_second_start "$TINTELLE_BIN" "tel:08-99-12-34-56"
session_click_window "$SESSION_WINDOW"
e2e_call_from_dialog "" 2 0033123456789
# The menu's second entry, "Appeler un numéro", opens the same dialog.
session_open_tray_menu
session_choose_menu_entry 2 4
e2e_call_from_dialog "01 40 00 00 00" 3 0033140000000

# The branded edition beside this one: a link to this one while Sonaro's dialog is open is
# noticed by Sonaro, and this one, started first, answers every copy.
sonaro=$SESSION_WORK/Sonaro/sonaro
mkdir -p "${sonaro%/*}" && cp "$TINTELLE_BIN" "$sonaro"
session_write_settings "$XDG_CONFIG_HOME/Ivelor/Sonaro.conf"
QT_QPA_PLATFORM=xcb session_spawn sonaro "$sonaro"
session_wait_tray_icon sonaro
e2e_second_start "$sonaro" "tel:0611111111"
session_wait_window "Sonaro - Ivelor"
e2e_second_start "$TINTELLE_BIN" "tel:0622222222"
session_wait_until 20 "Sonaro's notice" grep -qF "Numéro 0622222222 ignoré" "$SESSION_WORK/sonaro.log"
e2e_expect_dialogs 1
session_click_window "$SESSION_WINDOW"
e2e_call_from_dialog "" 4 0033611111111
for i in 0 1 2 3 4 5 6 7 8 9; do
    session_copy "06 12 34 56 1$i"
    session_wait_until 20 "copy $i to go to the first edition" e2e_dialog_of "$SESSION_APP_PID"
    session_click_window "$SESSION_WINDOW"
    xdotool key Escape && e2e_wait_dialog_gone
done
e2e_quit
session_log "passed"
