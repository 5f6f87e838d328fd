#!/bin/bash
# 200 clipboard changes in a burst while a call dialog is open: still exactly one call dialog, no
# call placed, and once it is closed the next copy opens one again.
# shellcheck source=lib.sh
. "$(dirname "$0")/lib.sh"
e2e_start_configured

e2e_copy "Tél. : 01 23 45 67 89"
e2e_wait_window '^Sonaro - Ivelor$'

burst=()
for i in $(seq 200); do
    printf 'Rappeler le 06 12 34 %02d %02d' $((i / 100)) $((i % 100)) |
        xclip -selection clipboard -quiet >/dev/null 2>&1 &
    e2e_pids+=($!)
    burst+=($!)
done
# Each copy ends when the next one takes the clipboard: one is left once all have had their turn.
burst_running() { local n=0 p; for p in "${burst[@]}"; do kill -0 "$p" 2>/dev/null && n=$((n + 1)); done; echo $n; }
burst_settled() { [ "$(burst_running)" -le 1 ]; }
e2e_wait_until 60 "the burst to settle" burst_settled
sleep 1.5
e2e_app_running || e2e_fail "the program ended during the burst"
e2e_expect_eq "call dialogs after the burst" "$(e2e_window_count '^Sonaro - Ivelor$')" 1
e2e_wait_until 5 "the first number still shown" e2e_a11y_has label 0123456789

e2e_focus "$(e2e_windows '^Sonaro - Ivelor$' | head -n1)"
xdotool key Escape
e2e_wait_until 5 "Escape to close the dialog" e2e_window_gone '^Sonaro - Ivelor$'
e2e_copy "06 12 34 56 78"
e2e_wait_window '^Sonaro - Ivelor$'
e2e_wait_until 5 "the new number shown" e2e_a11y_has label 0612345678
sleep 0.5
e2e_expect_eq "call dialogs after the next copy" "$(e2e_window_count '^Sonaro - Ivelor$')" 1
e2e_expect_eq "requests" "$(e2e_sim_requests)" 0
e2e_log "passed"
