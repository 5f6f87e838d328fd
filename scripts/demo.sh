#!/bin/bash
# Demonstrates the main job without a desktop: a private X server with a tray host, the provider
# simulator behind a throwaway CA, and a fresh profile aimed at it. Copies a sample number, places
# the call, prints what the simulator received and saves screenshots of the call dialog and the
# tray menu. Everything it starts is stopped when it ends.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="${TINTELLE_BUILD_DIR:-$root/build}"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target tintelle tintelle-provider-sim >/dev/null

export TINTELLE_BIN="$build/app/tintelle"
export TINTELLE_SIM="$build/tools/providersim/tintelle-provider-sim"
export E2E_WORK="${TINTELLE_DEMO_DIR:-$build/demo}"
# shellcheck source=../tests/e2e/lib.sh
. "$root/tests/e2e/lib.sh"

sample="Tél. : 01 23 45 67 89"
e2e_begin
e2e_start_x
e2e_make_pki
e2e_start_sim
e2e_write_settings "$E2E_PLAIN_CONF"
echo "Profile: $E2E_PLAIN_CONF (login $E2E_LOGIN, number $E2E_NUMBER)"
echo "Provider simulator: https://127.0.0.1:$E2E_SIM_PORT/ (certificate from a throwaway CA)"
e2e_start_a11y_watch
e2e_start_app
e2e_wait_tray_icon
echo "Tintelle is in the tray of X display $DISPLAY."

echo "Copying \"$sample\"..."
e2e_copy "$sample"
e2e_wait_window '^Sonaro - Ivelor$'
dialog=$E2E_WINDOW
e2e_wait_until 5 "the call dialog to show the number" e2e_a11y_has label 0123456789
sleep 0.3 # the first paint
import -window "$dialog" "$E2E_WORK/call-dialog.png"
echo "The call dialog shows 0123456789. Pressing Enter (\"Appeler\")..."
e2e_focus "$dialog"
xdotool key Return
e2e_wait_until 10 "the simulator to receive the call" e2e_sim_has_requests 1
e2e_wait_until 10 "the call dialog to close" e2e_window_gone '^Sonaro - Ivelor$'

echo
echo "The simulator received:"
"$E2E_PYTHON" - "$E2E_SIM_LOG" <<'PY'
import json, sys
entry = json.loads(open(sys.argv[1], encoding="utf-8").readline())
for key in ("httpMethod", "path", "contentType", "namespace", "method",
            "login", "password", "calling", "called", "billingNumber"):
    print("  %-14s %s" % (key, entry.get(key)))
PY
echo

e2e_open_tray_menu
sleep 0.3
import -window root -crop 400x260+880+540 "$E2E_WORK/tray-menu.png"
echo "Tray menu: $E2E_MENU" | sed 's/;;*/ | /g'
xdotool key Up Return
e2e_wait_app_exit 10
echo "\"Quitter Tintelle\" ended the program with status $E2E_APP_STATUS."
echo
echo "Screenshots:"
echo "  $E2E_WORK/call-dialog.png"
echo "  $E2E_WORK/tray-menu.png"
echo "Logs: $E2E_WORK"
