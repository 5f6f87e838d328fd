#!/bin/bash
# Copying 10 MiB of text: the program stays responsive (a tray double-click still opens the call
# dialog within a second), does not end, and still reacts to the next copy.
# shellcheck source=lib.sh
. "$(dirname "$0")/lib.sh"
e2e_start_configured

# Words and short digit runs that never make a callable number: the whole text must be searched.
huge=$E2E_WORK/huge.txt
"$E2E_PYTHON" - "$huge" <<'PY'
import sys
line = "Article 12, alinéa 3 : voir page 45 du rapport 2024 (réf. 678-9). "
size = 10 * 1024 * 1024
with open(sys.argv[1], "w", encoding="utf-8") as out:
    text = (line * (size // len(line.encode()) + 1)).encode()[:size]
    out.write(text.decode("utf-8", "ignore"))
PY
xclip -selection clipboard -quiet -i "$huge" >/dev/null 2>&1 &
e2e_pids+=($!)
e2e_wait_until 10 "xclip to own the clipboard" e2e_clipboard_owned
e2e_log "copied $(stat -c %s "$huge") bytes"
sleep 0.3

start=$(date +%s%N)
e2e_tray_double_click
e2e_wait_window '^Sonaro - Ivelor$' 1
e2e_log "call dialog mapped $((($(date +%s%N) - start) / 1000000)) ms after the double-click"
sleep 1
e2e_app_running || e2e_fail "the program ended"
e2e_expect_eq "call dialogs" "$(e2e_window_count '^Sonaro - Ivelor$')" 1
e2e_focus "$E2E_WINDOW"
xdotool key Escape
e2e_wait_until 5 "Escape to close the dialog" e2e_window_gone '^Sonaro - Ivelor$'

# The watcher still works after it.
e2e_copy "Tél. : 01 23 45 67 89"
e2e_wait_window '^Sonaro - Ivelor$'
e2e_wait_until 5 "the number shown" e2e_a11y_has label 0123456789
e2e_app_running || e2e_fail "the program ended"
e2e_log "passed"
