#!/bin/bash
# Whether a flood of clipboard changes holds the Windows build up, under Wine, in one run:
#   - how long a start of the program takes to be answered by the running copy (a link's start,
#     tintelle.exe --single-argument tel:..., and a plain start), timed from inside Windows by
#     bench/flood: before the flood, during it (started again and again while it lasts), and
#     right after it;
#   - the running copy's resident memory before the flood, its peak during it, and after it;
#   - the same memory for one copy of 100 MiB (FLOOD_MIB) of text.
# Usage: bench/windows-flood.sh [BUILD_DIR]   (default: build-windows/, made by
#        scripts/build-windows.sh; the two programs are built here if needed)
# Not a test: figures depend on the machine. Targets: no start waits more than 2 s; memory back to
# its level before the flood; the large copy's peak at most 30 MB over the start.
# Wine runs on a throwaway HOME and prefix in BUILD_DIR/bench/windows-flood.work, never the real
# home, on an X server of its own.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build-windows}" && pwd)
[ -f "$build/CMakeCache.txt" ] || { echo "$0: $build: run scripts/build-windows.sh first" >&2; exit 1; }
cache() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }
cmake --build "$build" --target tintelle tintelle-bench-flood >/dev/null ||
    { echo "$0: needs a Windows tree with TINTELLE_BUILD_BENCH on (scripts/build-windows.sh)" >&2; exit 1; }

CHANGES=${CHANGES:-10000}
STARTS=${STARTS:-5}
FLOOD_MIB=${FLOOD_MIB:-100}
program=$build/tintelle.exe
flooder=$build/tintelle-bench-flood.exe
windows_program="Z:${program//\//\\}"
link=(--single-argument tel:0612345678)

export TINTELLE_BIN=$program
export TINTELLE_LINUX_SIM TINTELLE_QT_WINDOWS
TINTELLE_LINUX_SIM=$(cache TINTELLE_LINUX_SIM)
TINTELLE_QT_WINDOWS=$(cd "$(cache Qt6_DIR)/../../.." && pwd)
export SESSION_WORK="${TINTELLE_BENCH_DIR:-$build/bench/windows-flood.work}"
# shellcheck source=../scripts/private-desktop.sh
. "$root/scripts/private-desktop.sh"
session_begin # HOME and the XDG folders: throwaway ones in SESSION_WORK
export WINEPREFIX=$SESSION_WORK/prefix TINTELLE_WINE_PKI=$SESSION_WORK/pki
export TINTELLE_WINE_CERTS=$SESSION_WORK/certs
# Every Wine process of the run is in this prefix: ended with it.
stop_wine() { wineserver -k 2>/dev/null || true; }
# shellcheck disable=SC2154 # status is set within the trap
trap 'status=$?; set +e; stop_wine; (exit "$status"); session_cleanup' EXIT

# A Windows program, given 2 minutes at most.
win() { timeout 120 sh "$root/tests/windows/wine.sh" "$@"; }

session_start_x --bare
timeout 300 sh "$root/tests/windows/prepare.sh" >"$SESSION_WORK/prepare.log" 2>&1 ||
    session_fail "the Wine prefix could not be made (see prepare.log)"
for value in login=alice password=secret endpoint=https://127.0.0.1:1/; do # never called
    win reg add 'HKCU\Software\Tintelle\Tintelle' /v "${value%%=*}" /t REG_SZ /d "${value#*=}" \
        /f >>"$SESSION_WORK/prepare.log" 2>&1
done

# The Linux processes of the program under Wine: the running copy (started here, under its Unix
# name), or its clipboard readers (started by it, under its Windows name).
program_pids()
{
    local dir line
    for dir in /proc/[0-9]*; do
        line=$(tr '\0' ' ' 2>/dev/null <"$dir/cmdline") || continue
        line=${line%"${line##*[! ]}"}
        case "$1:$line" in
        copy:"$program") echo "${dir#/proc/}" ;;
        reader:"$windows_program --read-clipboard") echo "${dir#/proc/}" ;;
        esac
    done
}
running() { [ -n "$(program_pids "$1")" ]; }
status_kib() { awk -v key="$2:" '$1 == key {print $2}' "/proc/$1/status"; }
cpu_ms() { awk -v hz="$(getconf CLK_TCK)" '{print ($14 + $15) * 1000 / hz}' "/proc/$1/stat"; }
reset_peak() { echo 5 >"/proc/$1/clear_refs"; }

# Waits until no clipboard reader has run for 3 s: the copy has read the last change.
settled_since=
no_reader_for_3s()
{
    if running reader; then
        settled_since=
        return 1
    fi
    settled_since=${settled_since:-$(date +%s%N)}
    [ $(($(date +%s%N) - settled_since)) -ge 3000000000 ]
}
settle()
{
    settled_since=
    session_wait_until 60 "the clipboard readers to end" no_reader_for_3s
}

# Times STARTS starts of "$@" (arguments to the program): "ms status" per line to stdout.
starts()
{
    local _
    for _ in $(seq "$STARTS"); do
        win "$flooder" start "$windows_program" "$@" ||
            session_fail "a start of the program was not timed"
    done
}

session_spawn tintelle sh "$root/tests/windows/wine.sh" "$program"
win "$flooder" up tintelle ||
    session_fail "the program's guard never listened (see tintelle.log)"
session_wait_until 10 "the running copy's process" running copy
copy=$(program_pids copy)
[ "$(wc -w <<<"$copy")" = 1 ] || session_fail "not one running copy: $copy"

echo "Program: $program (Wine $(wine --version 2>/dev/null))"
echo "Machine: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"
echo

# Warm-up: the dialog is made once, for a copy and for a link, before anything is measured.
win "$flooder" flood 1 >/dev/null
starts "${link[@]}" >/dev/null
settle

starts "${link[@]}" >"$SESSION_WORK/before.link"
starts >"$SESSION_WORK/before.plain"
settle
rss_before=$(status_kib "$copy" VmRSS)
cpu_before=$(cpu_ms "$copy")
reset_peak "$copy"

timeout 600 sh "$root/tests/windows/wine.sh" "$flooder" flood "$CHANGES" "$windows_program" \
    "${link[@]}" >"$SESSION_WORK/flood.out" || session_fail "the flood's last change was not read"
starts "${link[@]}" >"$SESSION_WORK/after.link"
starts >"$SESSION_WORK/after.plain"
settle
rss_peak=$(status_kib "$copy" VmHWM)
rss_after=$(status_kib "$copy" VmRSS)
cpu_flood=$(awk -v a="$cpu_before" -v b="$(cpu_ms "$copy")" 'BEGIN {print b - a}')
grep '^during ' "$SESSION_WORK/flood.out" | cut -d' ' -f2- >"$SESSION_WORK/during.link"
read -r _ _ flood_ms flood_read < <(grep '^flood ' "$SESSION_WORK/flood.out")

# One large copy.
large_before=$(status_kib "$copy" VmRSS)
reset_peak "$copy"
win "$flooder" copy "$FLOOD_MIB" >"$SESSION_WORK/large.out" ||
    session_fail "the large copy was not read"
large_read=$(awk '$1 == "read" {print $2}' "$SESSION_WORK/large.out")
settle
starts "${link[@]}" >"$SESSION_WORK/large.link"
large_peak=$(status_kib "$copy" VmHWM)
large_after=$(status_kib "$copy" VmRSS)

# "median max failed" of the samples in file $1 ("ms status" lines): failed counts the starts
# that did not end with status 0.
summary()
{
    sort -n "$1" | awk '{v[NR] = $1; if ($2 != 0) failed++} END {
        m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
        printf "%.0f %.0f %d %d\n", m, v[NR], failed, NR }'
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a / b}'; }
verdict() { if awk "BEGIN {exit !($1)}"; then echo met; else echo MISSED; fi; }
read -r bl_med bl_max bl_failed _ < <(summary "$SESSION_WORK/before.link")
read -r bp_med bp_max bp_failed _ < <(summary "$SESSION_WORK/before.plain")
read -r dl_med dl_max dl_failed dl_n < <(summary "$SESSION_WORK/during.link")
read -r al_med al_max al_failed _ < <(summary "$SESSION_WORK/after.link")
read -r ap_med ap_max ap_failed _ < <(summary "$SESSION_WORK/after.plain")
read -r gl_med gl_max gl_failed _ < <(summary "$SESSION_WORK/large.link")
failed=$((bl_failed + bp_failed + dl_failed + al_failed + ap_failed + gl_failed))
worst=$(printf '%s\n' "$dl_max" "$al_max" "$ap_max" "$gl_max" | sort -n | tail -n1)

echo "$CHANGES clipboard changes in $flood_ms ms; the running copy used $cpu_flood ms of CPU"
echo "the last change read $flood_read ms after it was made; the $FLOOD_MIB MiB copy, $large_read ms"
echo
printf '%-40s %9s %9s %7s\n' "start answered (ms, median / max)" median max "ratio"
row() { printf '%-40s %9s %9s %7s\n' "$1" "$2" "$3" "$(ratio "$2" "$4")"; }
row "link, before the flood ($STARTS)" "$bl_med" "$bl_max" "$bl_med"
row "link, during the flood ($dl_n)" "$dl_med" "$dl_max" "$bl_med"
row "link, right after the flood ($STARTS)" "$al_med" "$al_max" "$bl_med"
row "plain, before the flood ($STARTS)" "$bp_med" "$bp_max" "$bp_med"
row "plain, right after the flood ($STARTS)" "$ap_med" "$ap_max" "$bp_med"
row "link, after the ${FLOOD_MIB} MiB copy ($STARTS)" "$gl_med" "$gl_max" "$bl_med"
echo "every start answered within 2 s, none refused: $(verdict "$worst <= 2000 && $failed == 0")" \
    "(slowest $worst ms, $failed not answered)"
echo
printf '%-40s %9s %9s %9s %7s\n' "resident memory of the copy (KiB)" before peak after "after/before"
printf '%-40s %9s %9s %9s %7s\n' "$CHANGES changes" "$rss_before" "$rss_peak" "$rss_after" \
    "$(ratio "$rss_after" "$rss_before")"
printf '%-40s %9s %9s %9s %7s\n' "one copy of $FLOOD_MIB MiB" "$large_before" "$large_peak" \
    "$large_after" "$(ratio "$large_peak" "$large_before")"
echo "back to its level after the flood (within 2 MB): $(verdict "$rss_after <= $rss_before + 2048")"
echo "large copy's peak at most 30 MB over the start: $(verdict "$large_peak <= $large_before + 30000")"
echo
echo "Samples: $SESSION_WORK/{before,during,after,large}.* (ms status per start)"
