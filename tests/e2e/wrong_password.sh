#!/bin/bash
# A refused call: the critical box carries the edition's title and "Erreur: " + the provider's
# faultstring; after OK the call dialog's edit page holds the number for another try.
# shellcheck source=lib.sh
. "$(dirname "$0")/lib.sh"
e2e_start_configured "password=wrong"

e2e_copy "Tél. : 01 23 45 67 89"
e2e_wait_window '^Sonaro - Ivelor$'
dialog=$E2E_WINDOW
e2e_focus "$dialog"
xdotool key Return
e2e_wait_window "^Erreur lors de l'appel\$"
box=$E2E_WINDOW
e2e_expect_eq "password sent" "$(e2e_sim_field password)" wrong
e2e_wait_until 5 "the box to show the fault" \
    e2e_a11y_has label "Erreur: Identifiant ou mot de passe incorrect"
e2e_window_exists '^Sonaro - Ivelor$' || e2e_fail "the call dialog closed on a failure"

e2e_focus "$box"
xdotool key Return
e2e_wait_until 5 "the box to close" e2e_window_gone "^Erreur lors de l'appel\$"
e2e_wait_until 5 "the edit page to hold 0123456789" e2e_a11y_has text 0123456789
e2e_window_exists '^Sonaro - Ivelor$' || e2e_fail "the call dialog closed after OK"
e2e_expect_eq "requests" "$(e2e_sim_requests)" 1
e2e_log "passed"
