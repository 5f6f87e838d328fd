#!/bin/bash
# Demonstrates the main job without a desktop: a private X server with a tray host, the provider
# simulator behind a throwaway authority, and a fresh profile aimed at it. Copies a sample number,
# places the call, prints what the simulator received and saves screenshots of the call dialog and
# the tray menu. Everything it starts is stopped when it ends.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="${TINTELLE_BUILD_DIR:-$root/build}"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target tintelle tintelle-provider-sim >/dev/null

export TINTELLE_BIN="$build/app/tintelle"
export TINTELLE_SIM="$build/tools/providersim/tintelle-provider-sim"
export SESSION_WORK="${TINTELLE_DEMO_DIR:-$build/demo}"
# shellcheck source=private-desktop.sh
. "$root/scripts/private-desktop.sh"

sample="Tél. : 01 23 45 67 89"
session_begin
session_start_x
session_start_sim
session_write_settings
echo "Profile: $SESSION_CONF (login $SESSION_LOGIN, number $SESSION_NUMBER)"
echo "Provider simulator: $SESSION_SIM_URL (certificate from a throwaway authority)"
session_start_app
session_wait_tray_icon
echo "Tintelle is in the tray of X display $DISPLAY."

echo "Copying \"$sample\"..."
session_copy "$sample"
session_wait_window "Sonaro - Ivelor"
dialog=$SESSION_WINDOW
sleep 0.3 # the first paint
import -window "$dialog" "$SESSION_WORK/call-dialog.png"
echo "The call dialog shows the number. Clicking it and pressing Enter (\"Appeler\")..."
session_click_window "$dialog"
xdotool key Return
session_wait_until 20 "the simulator to receive the call" session_sim_has 1
session_wait_until 20 "the call dialog to close" session_window_gone "Sonaro - Ivelor"

echo
echo "The simulator received:"
for key in login password calling called billingNumber; do
    printf '  %-14s %s\n' "$key" "$(session_sim_field "$key")"
done
echo

session_open_tray_menu
sleep 0.3 # the first paint
import -window root -crop 400x260+880+540 "$SESSION_WORK/tray-menu.png"
session_choose_menu_entry 4 4
session_wait_until 20 "the program to end" session_gone "$SESSION_APP_PID"
echo "\"Quitter Tintelle\" ended the program."
echo
echo "Screenshots:"
echo "  $SESSION_WORK/call-dialog.png"
echo "  $SESSION_WORK/tray-menu.png"
echo "Logs: $SESSION_WORK"
