#!/bin/bash
# Copy twice on: the first copy of a text shows nothing, the second shows the call dialog. The text
# then remembered is the recognised number, so a number written with spaces needs two more copies.
# shellcheck source=lib.sh
. "$(dirname "$0")/lib.sh"
e2e_start_configured "copytwice=true"

# Nothing can be awaited when nothing should happen: give the program the time a dialog takes.
e2e_expect_no_dialog()
{
    sleep 1.5
    e2e_expect_eq "call dialogs after $1" "$(e2e_window_count '^Sonaro - Ivelor$')" 0
}

text="Tél. : 01 23 45 67 89"
e2e_copy "$text"
e2e_expect_no_dialog "the first copy"
e2e_copy "Rappeler 06 12 34 56 78 demain"
e2e_expect_no_dialog "a different text"
e2e_copy "$text"
e2e_expect_no_dialog "the same text after a different one"
e2e_copy "$text"
e2e_wait_window '^Sonaro - Ivelor$'
e2e_wait_until 5 "the dialog to show 0123456789" e2e_a11y_has label 0123456789
e2e_focus "$E2E_WINDOW"
xdotool key Escape
e2e_wait_until 5 "Escape to close the dialog" e2e_window_gone '^Sonaro - Ivelor$'

e2e_copy "$text"
e2e_expect_no_dialog "a third copy of a spaced number"
e2e_copy "$text"
e2e_wait_window '^Sonaro - Ivelor$'
e2e_expect_eq "requests" "$(e2e_sim_requests)" 0
e2e_log "passed"
