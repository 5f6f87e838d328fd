#!/bin/bash
# Installs what is missing, builds, and starts the program:
# - on a desktop, with a real provider (set at build time, or an "endpoint" in the user's
#   profile): the program itself, with the given arguments;
# - on a desktop, with the placeholder provider and no "endpoint": a trial against the provider
#   simulator on a profile of its own (build/trial, kept until the next trial), which prints each
#   request the simulator receives, and sends the program's messages to build/trial/app.log;
# - without a graphical session (DISPLAY and WAYLAND_DISPLAY unset): the headless demonstration,
#   scripts/demo.sh.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build="${TINTELLE_BUILD_DIR:-$root/build}"
placeholder=click2call.provider.example

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    # The demonstration runs its own desktop with the tools of the tests.
    "$root/scripts/install-deps.sh" run test
    cmake --log-level=WARNING -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
    cmake --build "$build" --parallel "$(nproc)" --target tintelle tintelle-provider-sim
    exec "$root/scripts/demo.sh"
fi

"$root/scripts/install-deps.sh" run
cmake --log-level=WARNING -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
host=$(sed -n 's/^TINTELLE_SOAP_HOST:[A-Z]*=//p' "$build/CMakeCache.txt")
profile=${XDG_CONFIG_HOME:-$HOME/.config}/Tintelle/Tintelle.conf
if [ "$host" != "$placeholder" ] ||
    grep -qs '^[[:space:]]*endpoint[[:space:]]*=[[:space:]]*[^[:space:]]' "$profile"; then
    cmake --build "$build" --parallel "$(nproc)" --target tintelle
    exec "$build/app/tintelle" "$@"
fi

cmake --build "$build" --parallel "$(nproc)" --target tintelle tintelle-provider-sim
# The trial's own profile, simulator and logs, kept in the build tree until the next trial.
export TINTELLE_SIM="$build/tools/providersim/tintelle-provider-sim"
export SESSION_WORK="${TINTELLE_TRIAL_DIR:-$build/trial}"
# shellcheck source=private-desktop.sh
. "$root/scripts/private-desktop.sh"
# The trial's account, read by the session helpers.
SESSION_LOGIN=essai
# shellcheck disable=SC2034
SESSION_PASSWORD=essai

# shellcheck disable=SC2317 # called by session_fail
session_on_failure()
{
    for f in app.log sim.log; do
        [ -s "$SESSION_WORK/$f" ] && session_log "--- $f" && tail -n 15 "$SESSION_WORK/$f" >&2
    done
}

# The simulator and the program end with this script, on Ctrl+C too.
session_begin_work
session_start_sim
session_write_settings "$SESSION_WORK/config/Tintelle/Tintelle.conf"
# The program's own output would bury the requests: it goes to a file.
session_spawn app env XDG_CONFIG_HOME="$SESSION_WORK/config" "$build/app/tintelle" "$@"
app=$SESSION_LAST_PID

cat <<EOF

Trial: this build calls the placeholder provider $placeholder, so Tintelle runs on a
profile of its own (login $SESSION_LOGIN, your number $SESSION_NUMBER) against the provider
simulator, on $SESSION_SIM_URL. Its icon is now in the notification area.
  - Copy a text that holds a phone number, such as "Tél. : 01 23 45 67 89".
  - The call dialog shows the number: press "Appeler".
  - Each request the simulator receives is printed below.
The program's messages go to $SESSION_WORK/app.log.
Ctrl+C ends the trial. To call for real, configure with -DTINTELLE_SOAP_HOST=... or set
"endpoint" in $profile.

EOF

# The log is read again only when it has grown.
shown=0 size=0
while session_alive "$app"; do
    if [ "$(stat -c %s "$SESSION_SIM_LOG")" != "$size" ]; then
        size=$(stat -c %s "$SESSION_SIM_LOG")
        while session_sim_has $((shown + 1)); do
            shown=$((shown + 1))
            mapfile -t field < <(session_sim_read "$shown" called calling login)
            echo "$(date +%T) request received: call ${field[0]:-} from ${field[1]:-}" \
                "(login ${field[2]:-})"
        done
    fi
    sleep 0.3
done

status=0
wait "$app" || status=$?
echo "Tintelle ended with status $status."
exit "$status"
