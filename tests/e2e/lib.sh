# End-to-end helpers on a private desktop. Inputs: TINTELLE_BIN, TINTELLE_SIM, E2E_WORK (logs).
# shellcheck source=../../scripts/private-desktop.sh
. "$(dirname "${BASH_SOURCE[0]}")/../../scripts/private-desktop.sh"

SESSION_WORK=${E2E_WORK:-}

# What helps to understand a failure: a screenshot, the window tree and the last log lines.
session_on_failure()
{
    [ -z "${DISPLAY:-}" ] || { import -window root "$SESSION_WORK/failure.png"; xwininfo -root -tree >"$SESSION_WORK/windows.txt"; } >/dev/null 2>&1
    for f in app.log sim.log trayer.log openbox.log; do [ -s "$SESSION_WORK/$f" ] && session_log "--- $f" && tail -n 15 "$SESSION_WORK/$f" >&2; done
}

# Whether window $1 is stacked above window $2.
e2e_above() { xprop -root _NET_CLIENT_LIST_STACKING | grep -o '0x[0-9a-f]*' | xargs printf '%d\n' | grep -A100 -x "$2" | grep -qx "$1"; }
e2e_expect_eq() { [ "$2" = "$3" ] || session_fail "$1: expected '$3', got '$2'"; session_log "ok: $1 = '$3'"; }
e2e_wait_dialog_gone() { session_wait_until 20 "the call dialog to close" session_window_gone "Sonaro - Ivelor"; }
# Copies "$1" and waits for the call dialog; its id in E2E_DIALOG.
e2e_copy() { session_copy "$1"; session_wait_window "Sonaro - Ivelor"; E2E_DIALOG=$SESSION_WINDOW; }

# Starts "$@" while the program runs, and expects status 0.
e2e_second_start() { QT_QPA_PLATFORM=xcb timeout 20 "$@" >>"$SESSION_WORK/second.log" 2>&1 || session_fail "$* exited with $?"; }
# Whether the call dialog shows, as process $1's (its properties may follow its title).
e2e_dialog_of() { session_wait_window "Sonaro - Ivelor"; [ "$(xprop -id "$SESSION_WINDOW" _NET_WM_PID 2>/dev/null | grep -o '[0-9]*$')" = "$1" ]; }

# Waits for window "$1" to show and have the keyboard; its id in SESSION_WINDOW.
e2e_wait_focused() { session_wait_window "$1"; session_wait_until 20 "$1 to have the keyboard" session_focused_is "$SESSION_WINDOW"; }

# Expects request $1 to call $2, and the call dialog to close.
e2e_expect_call() { session_wait_until 20 "$1 request(s) at the simulator" eval "[ \"\$(session_sim_requests)\" -eq $1 ]"; e2e_expect_eq "called" "$(session_sim_field called)" "$2"; e2e_wait_dialog_gone; }
# Waits for the call dialog to have the keyboard, types "$1" and Enter, then e2e_expect_call.
e2e_call_from_dialog() { e2e_wait_focused "Sonaro - Ivelor"; [ -z "$1" ] || xdotool type --delay 20 "$1"; xdotool key Return && e2e_expect_call "$2" "$3"; }
# The same once the dialog E2E_DIALOG is clicked, and its pencil pressed from the keyboard: "$1"
# replaces the number; a call of the number shown, made before, would come first as request $2.
e2e_type_over() { session_click_window "$E2E_DIALOG"; xdotool key Tab space; e2e_call_from_dialog "$@"; }
