#!/bin/bash
# First run: without a stored login the setup dialog comes first; filled and validated through real
# input, it stores the four keys in a file only its owner can read, the tray icon appears, and the
# next call carries what was typed.
# shellcheck source=lib.sh
. "$(dirname "$0")/lib.sh"
e2e_prepare
[ -e "$E2E_PLAIN_CONF" ] && e2e_fail "the profile is not fresh"
e2e_start_app

e2e_wait_window '^Tintelle$'
e2e_a11y_click push\ button Valider 1
sleep 0.3
e2e_find_tray_icon && e2e_fail "the tray icon showed before the setup was validated"
e2e_window_exists '^Tintelle$' || e2e_fail "validating empty fields closed the setup dialog"

# The three fields in the order of the form: login, password, number.
e2e_a11y_click text "" 1
xdotool type --delay 20 "$E2E_LOGIN"
e2e_a11y_click text "" 2
xdotool type --delay 20 "$E2E_PASSWORD"
e2e_a11y_click text "" 3
xdotool type --delay 20 "$E2E_NUMBER"
e2e_a11y_click push\ button Valider

e2e_wait_until 10 "the setup dialog to close" e2e_window_gone '^Tintelle$'
e2e_wait_tray_icon
e2e_expect_eq "settings file mode" "$(stat -c %a "$E2E_PLAIN_CONF")" 600
conf=$(cat "$E2E_PLAIN_CONF")
for line in "login=$E2E_LOGIN" "number=$E2E_NUMBER" "copytwice=false"; do
    grep -qxF "$line" <<<"$conf" || e2e_fail "settings file lacks '$line': $conf"
done
grep -q '^password=' <<<"$conf" || e2e_fail "settings file lacks the password: $conf"
e2e_log "ok: settings file holds the four keys"

# The stored password is only readable back through the program: a call sends it. The program
# reads the settings at each use, so aiming it at the simulator now is enough.
echo "endpoint=https://127.0.0.1:$E2E_SIM_PORT/" >>"$E2E_PLAIN_CONF"
e2e_copy "06 12 34 56 78"
e2e_wait_window '^Sonaro - Ivelor$'
e2e_focus "$E2E_WINDOW"
xdotool key Return
e2e_wait_until 10 "the simulator to receive the call" e2e_sim_has_requests 1
e2e_expect_eq "login" "$(e2e_sim_field login)" "$E2E_LOGIN"
e2e_expect_eq "password" "$(e2e_sim_field password)" "$E2E_PASSWORD"
e2e_expect_eq "calling" "$(e2e_sim_field calling)" "$E2E_NUMBER"
e2e_expect_eq "called" "$(e2e_sim_field called)" 0033612345678
e2e_wait_until 10 "the call dialog to close" e2e_window_gone '^Sonaro - Ivelor$'
e2e_log "passed"
