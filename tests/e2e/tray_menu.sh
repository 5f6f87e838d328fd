#!/bin/bash
# The tray: a single click opens nothing, a double-click opens the empty call dialog where a typed
# number is called; the menu holds its entries in order, "Configuration" opens the setup dialog
# prefilled, "Appeler un numéro" the call dialog, and "Quitter Tintelle" ends the program with
# status 0.
# shellcheck source=lib.sh
. "$(dirname "$0")/lib.sh"
e2e_prepare
e2e_write_settings "$E2E_PLAIN_CONF"
e2e_start_a11y_watch
e2e_start_app
e2e_wait_tray_icon

e2e_click_at "$E2E_TRAY_X" "$E2E_TRAY_Y"
sleep 1
e2e_expect_eq "call dialogs after a single click" "$(e2e_window_count '^Sonaro - Ivelor$')" 0

e2e_tray_double_click
e2e_wait_window '^Sonaro - Ivelor$'
e2e_wait_until 5 "the empty edit page" e2e_a11y_has text ""
e2e_a11y_has push\ button Appeler || e2e_fail "no call button on the edit page"
# A number typed into the field; Enter there places the call like "Appeler".
e2e_a11y_click text ""
xdotool type --delay 20 "06 12 34 56 78"
e2e_wait_until 5 "the typed number in the field" e2e_a11y_has text "06 12 34 56 78"
xdotool key Return
e2e_wait_until 10 "the simulator to receive the call" e2e_sim_has_requests 1
e2e_expect_eq "called" "$(e2e_sim_field called)" 0033612345678
e2e_wait_until 10 "the call dialog to close" e2e_window_gone '^Sonaro - Ivelor$'

e2e_open_tray_menu
e2e_expect_eq "menu" "$E2E_MENU" "Configuration;Appeler un numéro;;A propos de Qt...;;Quitter Tintelle"
xdotool key Down Return
e2e_wait_window '^Tintelle$'
e2e_wait_until 5 "the login prefilled" e2e_a11y_has text "$E2E_LOGIN"
e2e_a11y_has text "$E2E_NUMBER" || e2e_fail "the number is not prefilled"
e2e_a11y_has text "$E2E_PASSWORD" && e2e_fail "the password shows in clear"
before=$(md5sum <"$E2E_PLAIN_CONF")
e2e_focus "$E2E_WINDOW"
xdotool key Escape
e2e_wait_until 5 "Escape to close the setup dialog" e2e_window_gone '^Tintelle$'
e2e_expect_eq "settings after a cancelled setup" "$(md5sum <"$E2E_PLAIN_CONF")" "$before"

e2e_open_tray_menu
xdotool key Down Down Return
e2e_wait_window '^Sonaro - Ivelor$'
e2e_wait_until 5 "the empty edit page" e2e_a11y_has text ""
e2e_focus "$E2E_WINDOW"
xdotool key Escape
e2e_wait_until 5 "Escape to close the dialog" e2e_window_gone '^Sonaro - Ivelor$'

e2e_open_tray_menu
xdotool key Up Return
e2e_wait_app_exit 10
e2e_expect_eq "exit status after Quitter" "$E2E_APP_STATUS" 0
e2e_log "passed"
