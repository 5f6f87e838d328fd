#!/bin/bash
# Measures the built program against the toolkit's floor (bench/floor, a minimal Qt 6 tray program
# built in the same tree), in one run on a private Xvfb with a tray host:
#   - start to tray icon embedded (median of runs after a warm-up): from just before the program
#     is started to the icon window reparented into the tray host and viewable (bench/observer),
#   - resident memory after start,
#   - CPU time used over 30 s idle (and context switches, which polling timers would show),
#   - clipboard change to call dialog mapped (median of 20): from the moment the observer owns the
#     clipboard to the X server's MapNotify of the dialog (bench/observer).
# Usage: bench/program-bench.sh [BUILD_DIR]   (default: build/, built here if needed)
# Not a test: figures depend on the machine. Targets: start and memory within 1.25 times the
# floor, no CPU while idle, clipboard to dialog at most 100 ms median.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" 2>/dev/null && pwd || echo "${1:-$root/build}")
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target tintelle tintelle-provider-sim tintelle-bench-floor \
    tintelle-bench-observer >/dev/null

export TINTELLE_BIN="$build/app/tintelle"
export TINTELLE_SIM="$build/tools/providersim/tintelle-provider-sim"
floor_bin="$build/bench/floor/tintelle-bench-floor"
observer_bin="$build/bench/observer/tintelle-bench-observer"
export SESSION_WORK="${TINTELLE_BENCH_DIR:-$build/bench/program-bench.work}"
# shellcheck source=../scripts/private-desktop.sh
. "$root/scripts/private-desktop.sh"

START_RUNS=${START_RUNS:-11}
CLIP_RUNS=${CLIP_RUNS:-20}
IDLE_SECONDS=${IDLE_SECONDS:-30}

session_begin
# No window manager: the observer sees windows mapped right below the root, not in frames.
session_start_x --no-wm
SESSION_SIM_URL=https://127.0.0.1:9/ # never called: no call is placed here
session_write_settings "" endpointca=

# Every wait below has a deadline: a program that hangs fails the run instead of stalling it.
# Stops the processes "$@" and waits, 10 s at most, for them to end.
stop_pids()
{
    local pid
    for pid in "$@"; do kill -TERM "$pid" 2>/dev/null || true; done
    for pid in "$@"; do
        session_wait_until 10 "process $pid to end" session_gone "$pid"
        wait "$pid" 2>/dev/null || true
    done
}
panel=$(xdotool search --onlyvisible --name '^panel$' | head -n1)

now_ms() { echo $(($(date +%s%N) / 1000000)); }

median()
{
    sort -n | awk '{v[NR] = $1} END {
        if (NR % 2) print v[(NR + 1) / 2]; else printf "%.1f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

icon_embedded() { xwininfo -tree -id "$panel" | grep -qF "(\"$1\" "; }
icon_gone() { ! icon_embedded "$1"; }

# Starts $1 and prints "<ms to icon embedded> <RSS KiB 1.5 s later>"; the process is stopped.
start_once()
{
    local bin=$1 name t0 embedded pid observer rss
    name=$(basename "$bin")
    : >"$SESSION_WORK/embed.out"
    QT_QPA_PLATFORM=xcb "$observer_bin" embed "$name" >"$SESSION_WORK/embed.out" 2>>"$SESSION_WORK/observer.log" &
    observer=$!
    session_pids+=("$observer")
    session_wait_until 10 "the observer" grep -q '^ready' "$SESSION_WORK/embed.out"
    t0=$(date +%s%N)
    QT_QPA_PLATFORM=xcb "$bin" >>"$SESSION_WORK/$name.log" 2>&1 &
    pid=$!
    session_pids+=("$pid")
    session_wait_until 40 "the observer to see $name's icon" session_gone "$observer"
    wait "$observer" || session_fail "$name: its tray icon was not seen embedded"
    embedded=$(tail -n1 "$SESSION_WORK/embed.out")
    sleep 1.5
    rss=$(awk '/^VmRSS:/ {print $2}' "/proc/$pid/status")
    stop_pids "$pid"
    session_wait_until 10 "$name's icon to leave the tray" icon_gone "$name"
    awk -v a="$t0" -v b="$embedded" -v r="$rss" 'BEGIN {printf "%.1f %d\n", (b - a) / 1e6, r}'
}

# utime + stime in ms, and voluntary + involuntary context switches of all threads, of PID $1.
cpu_ms() { awk -v hz="$(getconf CLK_TCK)" '{print ($14 + $15) * 1000 / hz}' "/proc/$1/stat"; }
switches() { cat /proc/"$1"/task/*/status | awk '/ctxt_switches/ {n += $2} END {print n}'; }

# Starts $1 and prints, for $CLIP_RUNS copies of a number, the delay (ms) from the clipboard
# change to the mapping of its window titled $2 (bench/observer sees both).
clipboard_runs()
{
    local bin=$1 title=$2 name pid
    name=$(basename "$bin")
    QT_QPA_PLATFORM=xcb "$bin" >>"$SESSION_WORK/$name.log" 2>&1 &
    pid=$!
    session_pids+=("$pid")
    session_wait_until 15 "$name's tray icon" icon_embedded "$name"
    sleep 1
    # Each copy takes 10 s at most to show its dialog and 5 s to close it.
    QT_QPA_PLATFORM=xcb timeout $((CLIP_RUNS * 20 + 30)) "$observer_bin" clipboard "$title" \
        "$CLIP_RUNS" 2>>"$SESSION_WORK/observer.log" ||
        session_fail "$name: clipboard runs failed or timed out (see observer.log)"
    stop_pids "$pid"
}

echo "Program: $TINTELLE_BIN"
echo "Floor:   $floor_bin"
echo "Machine: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"
echo

# Start and memory: one warm-up each, then runs that alternate between the two.
start_once "$TINTELLE_BIN" >/dev/null
start_once "$floor_bin" >/dev/null
: >"$SESSION_WORK/start.program"
: >"$SESSION_WORK/start.floor"
for i in $(seq "$START_RUNS"); do
    start_once "$TINTELLE_BIN" >>"$SESSION_WORK/start.program"
    start_once "$floor_bin" >>"$SESSION_WORK/start.floor"
done
p_start=$(awk '{print $1}' "$SESSION_WORK/start.program" | median)
p_best=$(awk '{print $1}' "$SESSION_WORK/start.program" | sort -n | head -n1)
f_best=$(awk '{print $1}' "$SESSION_WORK/start.floor" | sort -n | head -n1)
f_start=$(awk '{print $1}' "$SESSION_WORK/start.floor" | median)
p_rss=$(awk '{print $2}' "$SESSION_WORK/start.program" | median)
f_rss=$(awk '{print $2}' "$SESSION_WORK/start.floor" | median)

# Idle: both side by side over the same seconds.
QT_QPA_PLATFORM=xcb "$TINTELLE_BIN" >>"$SESSION_WORK/tintelle.log" 2>&1 &
p_pid=$!
session_pids+=("$p_pid")
QT_QPA_PLATFORM=xcb "$floor_bin" >>"$SESSION_WORK/tintelle-bench-floor.log" 2>&1 &
f_pid=$!
session_pids+=("$f_pid")
session_wait_until 15 "both tray icons" icon_embedded tintelle
session_wait_until 15 "both tray icons" icon_embedded tintelle-bench-floor
sleep 3
p_cpu0=$(cpu_ms "$p_pid") f_cpu0=$(cpu_ms "$f_pid")
p_sw0=$(switches "$p_pid") f_sw0=$(switches "$f_pid")
sleep "$IDLE_SECONDS"
p_idle=$(awk -v a="$p_cpu0" -v b="$(cpu_ms "$p_pid")" 'BEGIN {print b - a}')
f_idle=$(awk -v a="$f_cpu0" -v b="$(cpu_ms "$f_pid")" 'BEGIN {print b - a}')
p_sw=$(($(switches "$p_pid") - p_sw0))
f_sw=$(($(switches "$f_pid") - f_sw0))
stop_pids "$p_pid" "$f_pid"

clipboard_runs "$TINTELLE_BIN" 'Sonaro - Ivelor' >"$SESSION_WORK/clip.program"
clipboard_runs "$floor_bin" 'Floor dialog' >"$SESSION_WORK/clip.floor"
p_clip=$(median <"$SESSION_WORK/clip.program")
f_clip=$(median <"$SESSION_WORK/clip.floor")

ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a / b}'; }
verdict() { if awk "BEGIN {exit !($1)}"; then echo met; else echo MISSED; fi; }

printf '%-42s %10s %10s %7s  %s\n' "" program floor ratio target
printf '%-42s %10s %10s %7s  %s\n' "start to tray icon embedded (ms, median)" "$p_start" "$f_start" \
    "$(ratio "$p_start" "$f_start")" "<= 1.25x floor: $(verdict "$p_start <= 1.25 * $f_start")"
printf '%-42s %10s %10s %7s  %s\n' "  the same, best of $START_RUNS (ms)" "$p_best" "$f_best" \
    "$(ratio "$p_best" "$f_best")" ""
printf '%-42s %10s %10s %7s  %s\n' "resident memory after start (KiB)" "$p_rss" "$f_rss" \
    "$(ratio "$p_rss" "$f_rss")" "<= 1.25x floor: $(verdict "$p_rss <= 1.25 * $f_rss")"
printf '%-42s %10s %10s %7s  %s\n' "CPU over ${IDLE_SECONDS} s idle (ms)" "$p_idle" "$f_idle" "" \
    "0: $(verdict "$p_idle == 0")"
printf '%-42s %10s %10s %7s  %s\n' "context switches over ${IDLE_SECONDS} s idle" "$p_sw" "$f_sw" "" ""
printf '%-42s %10s %10s %7s  %s\n' "clipboard to dialog mapped (ms, median)" "$p_clip" "$f_clip" \
    "$(ratio "$p_clip" "$f_clip")" "<= 100 ms: $(verdict "$p_clip <= 100")"
echo
echo "Samples: $SESSION_WORK/start.* (ms KiB per run), $SESSION_WORK/clip.* (ms per copy)"
