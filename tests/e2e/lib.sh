# Shared by the end-to-end scenarios and the headless demo; source it from bash.
#
# A scenario gets a private X server with a tray host (trayer), a session bus carrying the
# accessibility bus (how widget texts and menu captions are read from outside), the provider
# simulator on 127.0.0.1 behind a throwaway CA, and the real program on a fresh profile. The
# program trusts that CA the way it trusts any other: it runs in a private mount namespace whose
# /etc/ssl/certs holds only the test CA, so nothing in the program weakens verification.
#
# Every process started here is recorded and stopped by PID when the shell exits, however it
# exits. Needs root (or unprivileged user namespaces) for the mount namespace.
#
# Inputs (environment): TINTELLE_BIN (the program), TINTELLE_SIM (the provider simulator),
# E2E_WORK (optional: a directory for logs, kept after the run for inspection).

# shellcheck disable=SC2034 # the E2E_ variables are read by the scenarios
set -euo pipefail

e2e_lib_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
E2E_PYTHON=/usr/bin/python3 # the system's, which has the D-Bus bindings

E2E_LOGIN=alice
E2E_PASSWORD='s3cret&<"mot">'
E2E_NUMBER=0102030405

e2e_pids=()
e2e_runtime=
E2E_APP_PID=
E2E_PLAIN_CONF=
E2E_BRANDED_CONF=

e2e_log() { printf '[%s] %s\n' "$(date +%T.%3N)" "$*" >&2; }

# Dumps what helps to understand a failure, then ends the scenario with status 1.
e2e_fail()
{
    e2e_log "FAIL: $*"
    if [ -n "${DISPLAY:-}" ]; then
        import -window root "$E2E_WORK/failure.png" 2>/dev/null &&
            e2e_log "screenshot: $E2E_WORK/failure.png"
        xwininfo -root -tree >"$E2E_WORK/windows.txt" 2>&1 || true
        e2e_log "window tree: $E2E_WORK/windows.txt"
        if [ -e "$e2e_runtime/bus" ]; then
            "$E2E_PYTHON" "$e2e_lib_dir/a11y.py" dump >"$E2E_WORK/a11y.txt" 2>&1 || true
            e2e_log "accessibility tree: $E2E_WORK/a11y.txt"
        fi
    fi
    for f in app.log sim.err trayer.log; do
        if [ -s "$E2E_WORK/$f" ]; then
            e2e_log "--- $f (last lines)"
            tail -n 20 "$E2E_WORK/$f" >&2
        fi
    done
    exit 1
}

e2e_skip()
{
    e2e_log "SKIP: $*"
    exit 77
}

# Runs "$@" in the background with output to $E2E_WORK/<name>.log; its PID in E2E_LAST_PID.
e2e_spawn()
{
    local name=$1
    shift
    "$@" >"$E2E_WORK/$name.log" 2>&1 &
    E2E_LAST_PID=$!
    e2e_pids+=("$E2E_LAST_PID")
}

# The PIDs of the descendants of $1, deepest first.
e2e_descendants()
{
    local child
    for child in $(pgrep -P "$1" 2>/dev/null); do
        e2e_descendants "$child"
        echo "$child"
    done
}

e2e_stop_pid()
{
    local pid=$1 i
    kill -TERM "$pid" 2>/dev/null || return 0
    for i in $(seq 30); do
        kill -0 "$pid" 2>/dev/null || return 0
        [ "$(awk '{print $3}' "/proc/$pid/stat" 2>/dev/null)" != Z ] || return 0
        sleep 0.1
    done
    kill -KILL "$pid" 2>/dev/null || true
}

e2e_cleanup()
{
    local status=$? i pid running
    trap - EXIT INT TERM HUP
    # Only processes of ours that still run: a PID that ended may already name something else.
    running=" $(jobs -pr | tr '\n' ' ') "
    for ((i = ${#e2e_pids[@]} - 1; i >= 0; i--)); do
        pid=${e2e_pids[i]}
        case "$running" in
        *" $pid "*)
            # The session bus starts the accessibility bus; stop those with it.
            for child in $(e2e_descendants "$pid"); do e2e_stop_pid "$child"; done
            e2e_stop_pid "$pid"
            ;;
        esac
    done
    wait 2>/dev/null || true
    [ -n "$e2e_runtime" ] && rm -rf "$e2e_runtime"
    exit "$status"
}

# Starts a scenario: checks what it needs, makes the work directory and the profile.
e2e_begin()
{
    : "${TINTELLE_BIN:?TINTELLE_BIN must name the built program}"
    : "${TINTELLE_SIM:?TINTELLE_SIM must name the provider simulator}"
    # Root makes the mount namespace directly; others through a user namespace where allowed.
    if [ "$(id -u)" -eq 0 ]; then
        E2E_UNSHARE=(unshare --mount --propagation private)
    else
        E2E_UNSHARE=(unshare --user --map-root-user --mount --propagation private)
        "${E2E_UNSHARE[@]}" true 2>/dev/null ||
            e2e_skip "needs root, or user namespaces, for the private mount namespace"
    fi
    local tool
    for tool in Xvfb trayer xclip xdotool xwininfo openssl unshare dbus-daemon import pgrep; do
        command -v "$tool" >/dev/null || e2e_fail "missing tool: $tool (scripts/install-deps.sh)"
    done
    "$E2E_PYTHON" -c 'import dbus, gi' 2>/dev/null ||
        e2e_fail "missing python3-dbus or python3-gi (scripts/install-deps.sh)"

    E2E_WORK=${E2E_WORK:-$(mktemp -d)}
    rm -rf "$E2E_WORK"
    mkdir -p "$E2E_WORK"
    trap e2e_cleanup EXIT
    trap 'exit 130' INT TERM HUP

    # Short path: sockets live here.
    e2e_runtime=$(mktemp -d /tmp/tintelle-e2e.XXXXXX)
    chmod 700 "$e2e_runtime"
    export XDG_RUNTIME_DIR=$e2e_runtime
    export HOME=$E2E_WORK/home XDG_CONFIG_HOME=$E2E_WORK/config
    export XDG_DATA_HOME=$E2E_WORK/data XDG_CACHE_HOME=$E2E_WORK/cache
    mkdir -p "$HOME" "$XDG_CONFIG_HOME"
    E2E_PLAIN_CONF=$XDG_CONFIG_HOME/Tintelle/Tintelle.conf
    E2E_BRANDED_CONF=$XDG_CONFIG_HOME/Ivelor/Sonaro.conf
    unset WAYLAND_DISPLAY SESSION_MANAGER
}

# The common start of a scenario: an X session with a tray host and the provider simulator behind
# a throwaway CA.
e2e_prepare()
{
    e2e_begin
    e2e_start_x
    e2e_make_pki
    e2e_start_sim
}

# e2e_prepare, then the plain edition configured with the simulator's account (plus the given
# key=value settings) and started, with its icon in the tray.
e2e_start_configured()
{
    e2e_prepare
    e2e_write_settings "$E2E_PLAIN_CONF" "$@"
    e2e_start_app
    e2e_wait_tray_icon
}

# Polls "$@" every 0.1 s until it succeeds; fails the scenario with $2 after $1 seconds.
e2e_wait_until()
{
    local limit=$1 what=$2 deadline
    deadline=$(($(date +%s%N) + $(awk -v s="$limit" 'BEGIN { printf "%.0f", s * 1e9 }')))
    shift 2
    until "$@"; do
        [ "$(date +%s%N)" -lt "$deadline" ] || e2e_fail "timed out after ${limit}s: $what"
        sleep 0.1
    done
}

e2e_file_has_text() { [ -s "$1" ]; }

# Xvfb, a session bus with accessibility (not with --no-bus), and trayer owning the tray selection.
e2e_start_x()
{
    rm -f "$e2e_runtime/display"
    Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$e2e_runtime/display" \
        >"$E2E_WORK/xvfb.log" 2>&1 &
    e2e_pids+=($!)
    e2e_wait_until 10 "Xvfb to start" e2e_file_has_text "$e2e_runtime/display"
    DISPLAY=:$(head -n1 "$e2e_runtime/display")
    export DISPLAY

    if [ "${1:-}" = --no-bus ]; then
        # An address that leads nowhere: unset, the D-Bus library would launch a bus of its own.
        export DBUS_SESSION_BUS_ADDRESS="unix:path=$e2e_runtime/no-bus"
    else
        e2e_start_bus
    fi
    e2e_spawn trayer trayer --edge bottom --align right --widthtype pixel --width 200 \
        --heighttype pixel --height 32 --transparent false --tint 0x444444
    e2e_wait_until 20 "trayer to own the tray" e2e_window_exists '^panel$'
}

e2e_start_bus()
{
    dbus-daemon --session --nofork --nopidfile --address="unix:dir=$e2e_runtime" \
        --print-address=3 3>"$e2e_runtime/bus" >"$E2E_WORK/dbus.log" 2>&1 &
    e2e_pids+=($!)
    e2e_wait_until 10 "the session bus to start" e2e_file_has_text "$e2e_runtime/bus"
    export DBUS_SESSION_BUS_ADDRESS
    DBUS_SESSION_BUS_ADDRESS=$(head -n1 "$e2e_runtime/bus")
}

e2e_window_exists() { xdotool search --onlyvisible --name "$1" >/dev/null 2>&1; }
e2e_window_gone() { ! e2e_window_exists "$1"; }

# Visible top-level windows whose title matches the regular expression $1, one id per line.
e2e_windows() { xdotool search --onlyvisible --name "$1" 2>/dev/null || true; }

e2e_window_count() { e2e_windows "$1" | grep -c . || true; }

# Waits until a window titled $1 is mapped; its id in E2E_WINDOW.
e2e_wait_window()
{
    e2e_wait_until "${2:-10}" "a window titled '$1'" e2e_window_exists "$1"
    E2E_WINDOW=$(e2e_windows "$1" | head -n1)
}

# Width and height of window $1 as "WxH".
e2e_window_size()
{
    xwininfo -id "$1" | awk '/^  Width:/ {w = $2} /^  Height:/ {h = $2} END {print w "x" h}'
}

# A CA, a server certificate for localhost and 127.0.0.1, and the directory the program sees as
# /etc/ssl/certs: the CA as a file (what Qt loads from the directory), its hash link (what
# OpenSSL looks up) and the bundle name some builds read instead.
e2e_make_pki()
{
    local pki=$E2E_WORK/pki
    mkdir -p "$pki/certs"
    (
        cd "$pki"
        openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes \
            -keyout ca.key -out ca.pem -days 2 -subj "/CN=Tintelle test CA" \
            -addext "basicConstraints=critical,CA:TRUE" \
            -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
        openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes \
            -keyout server.key -out server.csr -subj "/CN=localhost" 2>/dev/null
        printf '%s\n' "subjectAltName=DNS:localhost,IP:127.0.0.1" \
            "basicConstraints=CA:FALSE" "extendedKeyUsage=serverAuth" >server.ext
        openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial \
            -out server.pem -days 2 -extfile server.ext 2>/dev/null
        cp ca.pem certs/tintelle-test-ca.pem
        cp ca.pem certs/ca-certificates.crt
        openssl rehash certs 2>/dev/null
    ) || e2e_fail "could not make the test certificates"
    E2E_CERTS=$pki/certs
}

# Starts the simulator accepting E2E_LOGIN and E2E_PASSWORD; extra arguments go to it.
# Its port in E2E_SIM_PORT, its log of requests (one JSON object per line) in E2E_SIM_LOG.
e2e_start_sim()
{
    E2E_SIM_LOG=$E2E_WORK/sim.jsonl
    : >"$E2E_SIM_LOG"
    "$TINTELLE_SIM" --port 0 --cert "$E2E_WORK/pki/server.pem" --key "$E2E_WORK/pki/server.key" \
        --login "$E2E_LOGIN" --password "$E2E_PASSWORD" --log "$E2E_SIM_LOG" --verbose "$@" \
        >"$E2E_WORK/sim.out" 2>"$E2E_WORK/sim.err" &
    e2e_pids+=($!)
    e2e_wait_until 10 "the simulator to listen" grep -q '^listening on ' "$E2E_WORK/sim.out"
    E2E_SIM_PORT=$(sed -n 's/^listening on \([0-9]*\).*/\1/p' "$E2E_WORK/sim.out")
}

# Writes a settings file as a user's earlier run would have left it, aimed at the simulator.
# Usage: e2e_write_settings FILE [key=value...]  (defaults: the test account, copy twice off)
e2e_write_settings()
{
    local file=$1
    shift
    mkdir -p "$(dirname "$file")"
    {
        echo "[General]"
        echo "login=$E2E_LOGIN"
        # Quoted with backslash escapes, as QSettings writes such a value.
        local quoted=${E2E_PASSWORD//\\/\\\\}
        echo "password=\"${quoted//\"/\\\"}\""
        echo "number=$E2E_NUMBER"
        echo "copytwice=false"
        echo "endpoint=https://127.0.0.1:$E2E_SIM_PORT/"
    } >"$file.tmp"
    local kv
    for kv in "$@"; do
        sed -i "/^${kv%%=*}=/d" "$file.tmp"
        echo "$kv" >>"$file.tmp"
    done
    mv "$file.tmp" "$file"
    chmod 600 "$file"
}

# Starts the program ($1, default TINTELLE_BIN) in its own mount namespace; PID in E2E_APP_PID.
e2e_start_app()
{
    local bin=${1:-$TINTELLE_BIN}
    E2E_APP_LOG=$E2E_WORK/app.log
    # shellcheck disable=SC2016 # expanded by the inner shell
    QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 \
        "${E2E_UNSHARE[@]}" sh -c 'mount --bind "$1" /etc/ssl/certs && shift && exec "$@"' sh "$E2E_CERTS" "$bin" \
        >>"$E2E_APP_LOG" 2>&1 &
    E2E_APP_PID=$!
    e2e_pids+=("$E2E_APP_PID")
}

e2e_app_running() { kill -0 "$E2E_APP_PID" 2>/dev/null; }

# Waits for the program to end within $1 seconds; its exit status in E2E_APP_STATUS.
e2e_wait_app_exit()
{
    e2e_wait_until "$1" "the program to end" e2e_app_gone
    set +e
    wait "$E2E_APP_PID"
    E2E_APP_STATUS=$?
    set -e
}

e2e_app_gone() { ! e2e_app_running; }

# Finds the embedded tray icon of the program whose executable is named $1 (default tintelle):
# its window in E2E_TRAY_ID, its centre in E2E_TRAY_X and E2E_TRAY_Y.
e2e_find_tray_icon()
{
    local panel line w h x y
    panel=$(xdotool search --onlyvisible --name '^panel$' 2>/dev/null | head -n1)
    [ -n "$panel" ] || return 1
    # Embedded icons are reparented below the panel: id, size and absolute position.
    line=$(xwininfo -tree -id "$panel" | grep -F "(\"${1:-tintelle}\" " | head -n1)
    [ -n "$line" ] || return 1
    E2E_TRAY_ID=$(awk '{print $1}' <<<"$line")
    xwininfo -id "$E2E_TRAY_ID" | grep -q 'Map State: IsViewable' || return 1
    read -r w h x y < <(sed -E 's/.* ([0-9]+)x([0-9]+)[+-][0-9-]+[+-][0-9-]+ +\+(-?[0-9]+)\+(-?[0-9]+).*/\1 \2 \3 \4/' <<<"$line")
    [ "$w" -gt 1 ] && [ "$h" -gt 1 ] || return 1
    E2E_TRAY_X=$((x + w / 2))
    E2E_TRAY_Y=$((y + h / 2))
}

# Waits until the program's icon is embedded and shown in the tray.
e2e_wait_tray_icon()
{
    e2e_wait_until "${1:-15}" "the tray icon to be embedded" e2e_find_tray_icon
}

e2e_tray_double_click()
{
    e2e_find_tray_icon || e2e_fail "no tray icon to double-click"
    e2e_pointer_to "$E2E_TRAY_X" "$E2E_TRAY_Y"
    xdotool click --repeat 2 --delay 60 1
}

# Opens the tray menu and, with the watcher running, waits for its captions in E2E_MENU.
e2e_open_tray_menu()
{
    local before
    e2e_find_tray_icon || e2e_fail "no tray icon to right-click"
    before=$(grep -c '^menu: ' "$E2E_WORK/a11y-watch.log" || true)
    e2e_pointer_to "$E2E_TRAY_X" "$E2E_TRAY_Y"
    xdotool click 3
    e2e_wait_until 10 "the tray menu to show" e2e_menu_shown_after "$before"
    E2E_MENU=$(grep '^menu: ' "$E2E_WORK/a11y-watch.log" | tail -n1 | sed 's/^menu: //')
}

e2e_menu_shown_after() { [ "$(grep -c '^menu: ' "$E2E_WORK/a11y-watch.log" || true)" -gt "$1" ]; }

# Listens for menus and focus changes on the accessibility bus, into a11y-watch.log. Start it
# before the program, which learns at its own start which events anyone listens to.
e2e_start_a11y_watch()
{
    "$E2E_PYTHON" -u "$e2e_lib_dir/a11y.py" watch >"$E2E_WORK/a11y-watch.log" 2>&1 &
    e2e_pids+=($!)
    e2e_wait_until 10 "the accessibility watcher" grep -q '^watching' "$E2E_WORK/a11y-watch.log"
}

# The program's accessibility tree, one object per line (see a11y.py).
e2e_a11y_dump() { "$E2E_PYTHON" "$e2e_lib_dir/a11y.py" dump "${1:-}" 2>/dev/null || true; }

# True when the tree has a showing object of role $1 whose name or text is exactly $2.
e2e_a11y_has()
{
    e2e_a11y_dump | awk -F' [|] ' -v role="$1" -v want="$2" '
        { sub(/^ *[0-9]+ /, "", $1) }
        $1 == role && ($2 == want || $3 == want) && $4 ~ /showing/ { found = 1 }
        END { exit !found }'
}

# Screen centre of the Nth ($3, default 1) showing object of role $1 (and name $2 unless empty),
# as "X Y"; nothing when there is none.
e2e_a11y_centre()
{
    e2e_a11y_dump | awk -F' [|] ' -v role="$1" -v want="${2-}" -v nth="${3:-1}" '
        { sub(/^ *[0-9]+ /, "", $1) }
        $1 == role && (want == "" || $2 == want) && $4 ~ /showing/ && ++seen == nth {
            split($5, e, ","); print int(e[1] + e[3] / 2), int(e[2] + e[4] / 2); exit }'
}

# Clicks the object that e2e_a11y_centre finds, waiting for it to show.
e2e_a11y_click()
{
    local at=
    e2e_wait_until 10 "a showing $1 '${2-}' to click" e2e_a11y_found "$@"
    at=$(e2e_a11y_centre "$@")
    # shellcheck disable=SC2086
    e2e_click_at $at
}

e2e_a11y_found() { [ -n "$(e2e_a11y_centre "$@")" ]; }

# Moves the pointer; --sync alone would wait for a motion that never comes when it is there already.
e2e_pointer_to()
{
    local at
    at=$(xdotool getmouselocation --shell | awk -F= '/^[XY]=/ {printf "%s ", $2}')
    [ "$at" = "$1 $2 " ] || xdotool mousemove --sync "$1" "$2"
}

e2e_click_at()
{
    e2e_pointer_to "$1" "$2"
    xdotool click 1
}

# Puts text on the clipboard as a user's copy does: xclip owns the selection until the next copy.
e2e_copy()
{
    printf '%s' "$1" | xclip -selection clipboard -quiet >/dev/null 2>&1 &
    e2e_pids+=($!)
    e2e_wait_until 10 "xclip to own the clipboard" e2e_clipboard_is "$1"
}

# Reads time out: xclip serves one requestor at a time, and may be busy serving the program.
e2e_clipboard_owned() { timeout 3 xclip -selection clipboard -o -t TARGETS >/dev/null 2>&1; }
e2e_clipboard_is() { [ "$(timeout 3 xclip -selection clipboard -o 2>/dev/null)" = "$1" ]; }

# Types into the window $1 through real key events.
e2e_focus() { xdotool windowfocus --sync "$1" 2>/dev/null || xdotool windowfocus "$1"; }

# The simulator's requests: field $1 of request number $2 (1-based, default the last).
e2e_sim_field()
{
    "$E2E_PYTHON" - "$E2E_SIM_LOG" "$1" "${2:-0}" <<'EOF'
import json, sys
lines = [l for l in open(sys.argv[1], encoding="utf-8") if l.strip()]
n = int(sys.argv[3])
entry = json.loads(lines[n - 1] if n else lines[-1])
value = entry.get(sys.argv[2])
print("" if value is None else value)
EOF
}

e2e_sim_requests() { grep -c . "$E2E_SIM_LOG" || true; }
e2e_sim_has_requests() { [ "$(e2e_sim_requests)" -ge "$1" ]; }

e2e_expect_eq()
{
    [ "$2" = "$3" ] || e2e_fail "$1: expected '$3', got '$2'"
    e2e_log "ok: $1 = '$3'"
}
