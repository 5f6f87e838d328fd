#!/bin/sh
# Installs what is missing, builds, and starts the program. Without a graphical session (DISPLAY
# and WAYLAND_DISPLAY unset) it runs the headless demonstration instead (scripts/demo.sh).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    exec "$root/scripts/demo.sh"
fi

build="${TINTELLE_BUILD_DIR:-$root/build}"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target tintelle
exec "$build/app/tintelle" "$@"
