#!/bin/bash
# Copying a text that holds a number opens the call dialog with its digits; Enter places the call
# with the stored account, and the dialog closes on the provider's success.
# shellcheck source=lib.sh
. "$(dirname "$0")/lib.sh"
e2e_start_configured

e2e_copy "Tél. : 01 23 45 67 89"
e2e_wait_window '^Sonaro - Ivelor$'
dialog=$E2E_WINDOW
e2e_expect_eq "call dialog size" "$(e2e_window_size "$dialog")" 610x131
e2e_wait_until 5 "the number page to show 0123456789" e2e_a11y_has label 0123456789
e2e_expect_eq "requests before Enter" "$(e2e_sim_requests)" 0

e2e_focus "$dialog"
xdotool key Return
e2e_wait_until 10 "the simulator to receive the call" e2e_sim_has_requests 1
e2e_expect_eq "called" "$(e2e_sim_field called)" 0033123456789
e2e_expect_eq "login" "$(e2e_sim_field login)" "$E2E_LOGIN"
e2e_expect_eq "password" "$(e2e_sim_field password)" "$E2E_PASSWORD"
e2e_expect_eq "calling" "$(e2e_sim_field calling)" "$E2E_NUMBER"
e2e_expect_eq "billingNumber" "$(e2e_sim_field billingNumber)" "$E2E_NUMBER"

e2e_wait_until 10 "the call dialog to close after success" e2e_window_gone '^Sonaro - Ivelor$'
sleep 0.5
e2e_expect_eq "requests" "$(e2e_sim_requests)" 1
e2e_app_running || e2e_fail "the program ended"
e2e_log "passed"
