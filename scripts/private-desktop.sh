# A private desktop for the program, to source from bash: an X server on a display of its own, a
# window manager, a tray host, the provider simulator behind a throwaway authority, and a fresh
# profile aimed at it through the read-only settings "endpoint" and "endpointca". Used by the
# headless demo, the program benchmark and the end-to-end tests.
#
# Display numbers are claimed with a lock that the X server inherits, so two sessions never share
# one, and a number is free again only once its server (and anything else that inherited the lock)
# has exited. Every process started here is stopped when the shell exits, and waited for.
#
# Inputs (environment): TINTELLE_BIN (the program), TINTELLE_SIM (the provider simulator),
# SESSION_WORK (optional: a directory for logs and the profile, kept after the run; see
# session_open_work for which directories it accepts).

set -euo pipefail

SESSION_LOGIN=alice
SESSION_PASSWORD='s3cret&<"mot">'
SESSION_NUMBER=0102030405

session_pids=()
session_runtime=
SESSION_APP_PID=

session_log() { printf '[%s] %s\n' "$(date +%T.%3N)" "$*" >&2; }

# Ends the run with status 1; session_on_failure, when a caller defines it, dumps what helps.
session_fail()
{
    session_log "FAIL: $*"
    if declare -F session_on_failure >/dev/null; then session_on_failure || true; fi
    exit 1
}

# xdotool search "$@": it dies when a window it looks at is destroyed meanwhile (a dialog that just
# closed), and a search it did not finish is made again. Status 1 when nothing matches.
session_search()
{
    local err _
    for _ in $(seq 50); do
        { err=$(xdotool search "$@" 2>&1 >&3); } 3>&1 && return
        case $err in *"X Error"*) ;; *) return 1 ;; esac
    done
    return 1
}

# Polls "$@" every 0.1 s until it succeeds; fails the run, naming $2, after $1 seconds.
session_wait_until()
{
    local limit=$1 what=$2 deadline
    deadline=$(($(date +%s%N) + limit * 1000000000))
    shift 2
    until "$@"; do
        [ "$(date +%s%N)" -lt "$deadline" ] || session_fail "timed out after ${limit}s: $what"
        sleep 0.1
    done
}

# Runs "$@" in the background with output to $SESSION_WORK/<name>.log; its PID in SESSION_LAST_PID.
session_spawn()
{
    local name=$1
    shift
    # Made here, not by the child: a caller may read it at once.
    : >>"$SESSION_WORK/$name.log"
    "$@" >>"$SESSION_WORK/$name.log" 2>&1 &
    SESSION_LAST_PID=$!
    session_pids+=("$SESSION_LAST_PID")
}

# True while process $1 runs (a child that ended but was not waited for does not count).
session_alive()
{
    local state
    state=$(ps -o stat= -p "$1" 2>/dev/null) && [ "${state#Z}" = "$state" ]
}

session_gone() { ! session_alive "$1"; }

session_descendants()
{
    local child
    for child in $(pgrep -P "$1" 2>/dev/null); do
        session_descendants "$child"
        echo "$child"
    done
}

session_cleanup()
{
    local status=$? i pid
    trap - EXIT INT TERM HUP
    set +e
    for ((i = ${#session_pids[@]} - 1; i >= 0; i--)); do
        pid=${session_pids[i]}
        # Only children of this shell: an ended PID may already name something else.
        kill -0 "$pid" 2>/dev/null && [ "$(ps -o ppid= -p "$pid" | tr -d ' ')" = $$ ] || continue
        for child in $(session_descendants "$pid") "$pid"; do kill -TERM "$child" 2>/dev/null; done
    done
    # The display is free for others only once everything here has gone.
    for ((i = 0; i < 100; i++)); do
        [ -z "$(jobs -pr)" ] && break
        sleep 0.1
    done
    for pid in $(jobs -pr); do kill -KILL "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    [ -n "$session_runtime" ] && rm -rf "$session_runtime"
    exit "$status"
}

# A file that a session leaves in the work directory it made. Its name marks the directory as a
# session's own: the next session clears it.
session_work_mark=.tintelle-session

# Opens SESSION_WORK empty, or a new temporary directory when it is unset. A directory that does
# not exist is made; one made by an earlier session (it holds the mark) has its contents cleared;
# an empty one is taken. Anything else is refused and left as it is: a session deletes nothing it
# did not make, and never the directory itself.
session_open_work()
{
    if [ -z "${SESSION_WORK:-}" ]; then
        SESSION_WORK=$(mktemp -d "${TMPDIR:-/tmp}/tintelle-work.XXXXXX")
    elif [ -f "$SESSION_WORK/$session_work_mark" ]; then
        find "$SESSION_WORK" -mindepth 1 -maxdepth 1 ! -name "$session_work_mark" -exec rm -rf {} +
    elif [ -d "$SESSION_WORK" ]; then
        [ -z "$(ls -A "$SESSION_WORK")" ] ||
            session_fail "$SESSION_WORK holds files that no session made: name a new or empty" \
                "directory"
    else
        mkdir -p "$SESSION_WORK" || session_fail "cannot make the work directory $SESSION_WORK"
    fi
    echo "Logs and profile of a Tintelle session; the next session to use it clears it." \
        >"$SESSION_WORK/$session_work_mark"
}

# Opens the work directory and sets the traps that stop, at exit, everything started here. Enough
# for a session on the user's own desktop; session_begin adds a private environment.
session_begin_work()
{
    trap session_cleanup EXIT
    trap 'exit 130' INT TERM HUP
    session_open_work
}

# Starts a session: work directory, runtime directory and an empty profile.
session_begin()
{
    : "${TINTELLE_BIN:?TINTELLE_BIN must name the built program}"
    session_begin_work
    session_runtime=$(mktemp -d /tmp/tintelle-session.XXXXXX)
    chmod 700 "$session_runtime"
    export XDG_RUNTIME_DIR=$session_runtime
    # The guards' folder: the account's own runtime folder otherwise, shared by every session.
    export TINTELLE_TEST_ACCOUNT_RUNTIME=$SESSION_WORK/account-run
    mkdir -p -m 700 "$TINTELLE_TEST_ACCOUNT_RUNTIME"
    export HOME=$SESSION_WORK/home XDG_CONFIG_HOME=$SESSION_WORK/config
    export XDG_DATA_HOME=$SESSION_WORK/data XDG_CACHE_HOME=$SESSION_WORK/cache
    mkdir -p "$HOME" "$XDG_CONFIG_HOME"
    SESSION_CONF=$XDG_CONFIG_HOME/Tintelle/Tintelle.conf
    # No session bus: the program uses the X tray protocol, as on a desktop without one, and
    # the D-Bus library does not launch a bus of its own.
    export DBUS_SESSION_BUS_ADDRESS="unix:path=$session_runtime/no-bus"
    unset WAYLAND_DISPLAY SESSION_MANAGER
}

session_display_ready() { xdpyinfo >/dev/null 2>&1; }

# Claims a free display number, starts Xvfb on it, then openbox (not with --no-wm or --bare) and
# trayer (not with --bare).
session_start_x()
{
    local n lock
    for n in $(seq 20 219); do
        lock=/tmp/tintelle-display-$n.lock
        exec {session_lock_fd}>>"$lock"
        if flock -n "$session_lock_fd" && [ ! -e "/tmp/.X$n-lock" ] &&
            [ ! -e "/tmp/.X11-unix/X$n" ]; then
            break
        fi
        exec {session_lock_fd}>&-
        n=
    done
    [ -n "$n" ] || session_fail "no free display number"
    export DISPLAY=:$n
    # Xvfb keeps the lock open until it exits; this shell lets go of its own copy below. Without
    # -noreset the server would reset when the readiness probe disconnects, and refuse the next.
    session_spawn xvfb Xvfb "$DISPLAY" -screen 0 1280x800x24 -nolisten tcp -nolisten local -noreset
    exec {session_lock_fd}>&-
    session_wait_until 20 "Xvfb to accept connections on $DISPLAY" session_display_ready
    [ "${1:-}" = --bare ] && return
    if [ "${1:-}" != --no-wm ]; then
        # A window mapped while openbox still starts may never be managed: wait for its own word
        # that it has started, not for its first property on the root window.
        session_spawn openbox openbox --sm-disable --startup "touch $session_runtime/wm-started"
        session_wait_until 20 "openbox to have started" test -e "$session_runtime/wm-started"
    fi
    session_spawn trayer trayer --edge bottom --align right --widthtype pixel --width 200 \
        --heighttype pixel --height 32 --transparent false --tint 0x444444
    session_wait_until 20 "trayer to own the tray" session_tray_owned
}

session_tray_owned() { session_search --onlyvisible --name '^panel$' >/dev/null; }

# Starts the simulator accepting SESSION_LOGIN and SESSION_PASSWORD; extra arguments go to it.
# Its URL in SESSION_SIM_URL, its authority in SESSION_SIM_CA, its requests (one JSON object per
# line) in SESSION_SIM_LOG.
session_start_sim()
{
    : "${TINTELLE_SIM:?TINTELLE_SIM must name the provider simulator}"
    SESSION_SIM_LOG=$SESSION_WORK/sim.jsonl
    : >"$SESSION_SIM_LOG"
    session_spawn sim "$TINTELLE_SIM" --port 0 --pki "$SESSION_WORK/pki" --login "$SESSION_LOGIN" \
        --password "$SESSION_PASSWORD" --log "$SESSION_SIM_LOG" --verbose "$@"
    session_wait_until 20 "the simulator to listen" grep -q '^listening on ' "$SESSION_WORK/sim.log"
    SESSION_SIM_URL="https://127.0.0.1:$(sed -n 's/^listening on \([0-9]*\).*/\1/p' "$SESSION_WORK/sim.log")/"
    SESSION_SIM_CA=$SESSION_WORK/pki/ca.pem
}

# Writes the profile FILE (default the plain edition's) aimed at the simulator: the account, then
# the given key=value lines, which replace those of the same key; "key=" alone removes it.
session_write_settings()
{
    local file=${1:-$SESSION_CONF} kv quoted=${SESSION_PASSWORD//\\/\\\\}
    shift || true
    mkdir -p "$(dirname "$file")"
    printf '%s\n' "[General]" "login=$SESSION_LOGIN" "password=\"${quoted//\"/\\\"}\"" \
        "number=$SESSION_NUMBER" "copytwice=false" "endpoint=$SESSION_SIM_URL" \
        "endpointca=${SESSION_SIM_CA:-}" >"$file.tmp"
    for kv in "$@"; do
        sed -i "/^${kv%%=*}=/d" "$file.tmp"
        [ -z "${kv#*=}" ] || echo "$kv" >>"$file.tmp"
    done
    mv "$file.tmp" "$file"
    chmod 600 "$file"
}

# Starts the program ("$@", default TINTELLE_BIN); its PID in SESSION_APP_PID.
session_start_app()
{
    [ $# -gt 0 ] || set -- "$TINTELLE_BIN"
    QT_QPA_PLATFORM=xcb session_spawn app "$@"
    SESSION_APP_PID=$SESSION_LAST_PID
}

# Finds the program's icon embedded in the tray (executable name $1, default tintelle): its
# centre in SESSION_TRAY_X and SESSION_TRAY_Y.
session_find_tray_icon()
{
    local panel line w h x y
    panel=$(session_search --onlyvisible --name '^panel$' | head -n1)
    [ -n "$panel" ] || return 1
    line=$(xwininfo -tree -id "$panel" | grep -F "(\"${1:-tintelle}\" " | head -n1)
    [ -n "$line" ] || return 1
    xwininfo -id "$(awk '{print $1}' <<<"$line")" | grep -q 'Map State: IsViewable' || return 1
    read -r w h x y < <(sed -E 's/.* ([0-9]+)x([0-9]+)[+-][0-9-]+[+-][0-9-]+ +\+(-?[0-9]+)\+(-?[0-9]+).*/\1 \2 \3 \4/' <<<"$line")
    [ "$w" -gt 1 ] && [ "$h" -gt 1 ] || return 1
    SESSION_TRAY_X=$((x + w / 2))
    SESSION_TRAY_Y=$((y + h / 2))
}

session_wait_tray_icon() { session_wait_until 30 "the tray icon to be embedded" session_find_tray_icon "$@"; }

# Visible windows titled exactly $1, one id per line.
session_windows() { session_search --onlyvisible --name "^$1\$" || true; }
session_window_shown() { [ -n "$(session_windows "$1")" ]; }
session_window_gone() { ! session_window_shown "$1"; }

# Waits for a window titled $1; its id in SESSION_WINDOW.
session_wait_window()
{
    session_wait_until 20 "a window titled '$1'" session_window_shown "$1"
    SESSION_WINDOW=$(session_windows "$1" | head -n1)
}

# Puts text on the clipboard as a user's copy does: xclip owns it until the next copy.
session_copy()
{
    # shellcheck disable=SC2016 # expanded by the inner shell
    session_spawn xclip sh -c 'printf %s "$1" | exec xclip -selection clipboard -quiet' sh "$1"
    session_wait_until 20 "xclip to own the clipboard" session_clipboard_is "$1"
}

# Reads time out: xclip serves one requestor at a time, and may be busy serving the program.
session_clipboard_is() { [ "$(timeout 3 xclip -selection clipboard -o 2>/dev/null)" = "$1" ]; }

# Moves the pointer to $1 $2 and clicks: the rest are xdotool's click arguments (default: button
# 1). --sync would wait forever for a motion that never comes when the pointer is there already.
session_click_at()
{
    local X Y SCREEN WINDOW
    eval "$(xdotool getmouselocation --shell)"
    [ "$X $Y" = "$1 $2" ] || xdotool mousemove --sync "$1" "$2"
    shift 2
    xdotool click "${@:-1}"
}

session_focused_is() { [ "$(xdotool getwindowfocus 2>/dev/null)" = "$1" ]; }

# Clicks the window $1 near its left edge, on the background, and waits for it to get the focus.
session_click_window()
{
    local X Y WIDTH HEIGHT SCREEN WINDOW
    eval "$(xdotool getwindowgeometry --shell "$1")"
    session_click_at $((X + 8)) $((Y + HEIGHT / 2))
    session_wait_until 20 "window $1 to get the focus" session_focused_is "$1"
}

# Opens the tray menu and waits for its popup; the popup's id in SESSION_MENU. A notice shown by
# the icon may lie over it: the first click then only closes the notice.
session_open_tray_menu()
{
    local before try
    session_find_tray_icon "${1:-tintelle}" || session_fail "no tray icon to right-click"
    for try in 1 2 3; do
        before=$(session_popups)
        session_click_at "$SESSION_TRAY_X" "$SESSION_TRAY_Y" 3
        for _ in $(seq 20); do
            session_new_popup "$before" && return
            sleep 0.25
        done
    done
    session_fail "the tray menu to show"
}

# Chooses entry $1 of the $2 entries of the open tray menu (SESSION_MENU) with a click: a menu may
# not hold the keyboard yet when it shows, and keys sent then go elsewhere. Its separators are
# thin, so each entry sits at its share of the height.
session_choose_menu_entry()
{
    local X Y WIDTH HEIGHT SCREEN WINDOW
    eval "$(xdotool getwindowgeometry --shell "$SESSION_MENU")"
    session_click_at $((X + WIDTH / 2)) $((Y + HEIGHT * (2 * $1 - 1) / (2 * $2)))
}

# Visible windows right below the root: menus, and the frames of managed windows.
session_popups() { session_search --maxdepth 1 --onlyvisible --name '' || true; }

session_new_popup()
{
    SESSION_MENU=$(comm -13 <(tr ' ' '\n' <<<"$1" | sort) <(session_popups | sort) | head -n1)
    [ -n "$SESSION_MENU" ]
}

# The simulator's request log (one JSON object per line, SESSION_SIM_LOG), read here only. With no
# argument: the number of requests. With N (1-based, or "last") and field names: those fields of
# request N, one per line, empty when absent. A line still being written does not count yet.
session_sim_read()
{
    python3 - "$SESSION_SIM_LOG" "$@" <<'EOF'
import json, sys
with open(sys.argv[1], encoding="utf-8") as log:
    requests = [line for line in log if line.endswith("\n") and line.strip()]
if len(sys.argv) == 2:
    print(len(requests))
else:
    request = json.loads(requests[-1 if sys.argv[2] == "last" else int(sys.argv[2]) - 1])
    for field in sys.argv[3:]:
        print(request.get(field) or "")
EOF
}

# The number of requests; field $1 of request $2 (default the last); whether there are $1 or more.
session_sim_requests() { session_sim_read; }
session_sim_field() { session_sim_read "${2:-last}" "$1"; }
session_sim_has() { [ "$(session_sim_requests)" -ge "$1" ]; }
