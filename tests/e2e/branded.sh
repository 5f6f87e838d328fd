#!/bin/bash
# The branded edition: the program copied under a directory named with the branded name reads its
# own settings, not the plain edition's, names its quit entry "Quitter Sonaro" and titles the error
# box "Erreur lors du click2call".
# shellcheck source=lib.sh
. "$(dirname "$0")/lib.sh"
e2e_prepare
mkdir -p "$E2E_WORK/SONARO"
cp "$TINTELLE_BIN" "$E2E_WORK/SONARO/tintelle"
# Both editions configured on one profile, with different accounts.
e2e_write_settings "$E2E_PLAIN_CONF" "login=plain-user" "password=plain-password"
e2e_write_settings "$E2E_BRANDED_CONF" "password=wrong"
plain_before=$(md5sum <"$E2E_PLAIN_CONF")
e2e_start_a11y_watch
e2e_start_app "$E2E_WORK/SONARO/tintelle"
e2e_wait_tray_icon

e2e_open_tray_menu
e2e_expect_eq "menu" "$E2E_MENU" "Configuration;Appeler un numéro;;A propos de Qt...;;Quitter Sonaro"
xdotool key Escape

e2e_copy "Tél. : 01 23 45 67 89"
e2e_wait_window '^Sonaro - Ivelor$'
e2e_focus "$E2E_WINDOW"
xdotool key Return
e2e_wait_window '^Erreur lors du click2call$'
box=$E2E_WINDOW
e2e_expect_eq "login sent" "$(e2e_sim_field login)" "$E2E_LOGIN"
e2e_expect_eq "password sent" "$(e2e_sim_field password)" wrong
e2e_wait_until 5 "the box to show the fault" \
    e2e_a11y_has label "Erreur: Identifiant ou mot de passe incorrect"
e2e_focus "$box"
xdotool key Return
e2e_wait_until 5 "the edit page to hold 0123456789" e2e_a11y_has text 0123456789
e2e_focus "$(e2e_windows '^Sonaro - Ivelor$' | head -n1)"
xdotool key Escape
e2e_wait_until 5 "Escape to close the dialog" e2e_window_gone '^Sonaro - Ivelor$'

e2e_open_tray_menu
xdotool key Up Return
e2e_wait_app_exit 10
e2e_expect_eq "exit status after Quitter Sonaro" "$E2E_APP_STATUS" 0
e2e_expect_eq "plain settings untouched" "$(md5sum <"$E2E_PLAIN_CONF")" "$plain_before"
e2e_log "passed"
