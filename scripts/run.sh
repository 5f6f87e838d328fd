#!/bin/sh
# Installs what is missing, builds, and starts the program:
# - on a desktop, with a real provider (set at build time, or an "endpoint" in the user's
#   profile): the program itself, with the given arguments;
# - on a desktop, with the placeholder provider and no "endpoint": a trial against the provider
#   simulator on a temporary profile, which prints each request the simulator receives;
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
trial=$(mktemp -d "${TMPDIR:-/tmp}/tintelle-trial.XXXXXX")
log=$trial/requests.jsonl
login=essai
password=essai
number=0102030405
sim_pid=
app_pid=

# Background jobs of a script ignore Ctrl+C: they are ended here, with the temporary profile.
# shellcheck disable=SC2317 # called by the traps
cleanup()
{
    trap - EXIT INT TERM HUP
    for pid in $app_pid $sim_pid; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$trial"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

: >"$log"
"$build/tools/providersim/tintelle-provider-sim" --port 0 --pki "$trial/pki" --login "$login" \
    --password "$password" --log "$log" >"$trial/sim.out" 2>&1 &
sim_pid=$!
port=
tries=0
while [ -z "$port" ]; do
    if ! kill -0 "$sim_pid" 2>/dev/null || [ "$tries" -ge 200 ]; then
        echo "The provider simulator did not start:" >&2
        cat "$trial/sim.out" >&2
        exit 1
    fi
    sleep 0.1
    tries=$((tries + 1))
    port=$(sed -n 's/^listening on \([0-9]*\).*/\1/p' "$trial/sim.out")
done

mkdir -p "$trial/config/Tintelle"
(
    umask 077
    printf '%s\n' '[General]' "login=$login" "password=$password" "number=$number" \
        copytwice=false "endpoint=https://127.0.0.1:$port/" "endpointca=$trial/pki/ca.pem" \
        >"$trial/config/Tintelle/Tintelle.conf"
)
XDG_CONFIG_HOME=$trial/config "$build/app/tintelle" "$@" &
app_pid=$!

cat <<EOF

Trial: this build calls the placeholder provider $placeholder, so Tintelle runs on a
temporary profile (login $login, your number $number) against the provider simulator, on
https://127.0.0.1:$port/. Its icon is now in the notification area.
  - Copy a text that holds a phone number, such as "Tél. : 01 23 45 67 89".
  - The call dialog shows the number: press "Appeler".
  - Each request the simulator receives is printed below.
Ctrl+C ends the trial. To call for real, configure with -DTINTELLE_SOAP_HOST=... or set
"endpoint" in $profile.

EOF

field() { printf '%s\n' "$2" | sed -n "s/.*\"$1\":\"\([^\"]*\)\".*/\1/p"; }
# tail stops when the program does.
tail -n +1 -f --pid="$app_pid" "$log" | while IFS= read -r request; do
    echo "$(date +%T) request received: call $(field called "$request") from" \
        "$(field calling "$request") (login $(field login "$request"))"
done &

status=0
wait "$app_pid" || status=$?
app_pid=
echo "Tintelle ended with status $status."
exit "$status"
