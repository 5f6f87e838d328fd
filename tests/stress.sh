#!/bin/sh
# tests/stress.sh [N]: the whole suite, build-windows/'s too, N times (5) with every processor kept
# busy, then N times at rest, printing each failure. After scripts/test.sh, on an idle machine.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd) n=${1:-5} logs=$(mktemp -d) burners=
trap 'kill $burners 2>/dev/null || true' EXIT
suite() { # $1: busy or idle
    for i in $(seq "$n"); do
        for dir in build build-windows; do
            [ ! -f "$root/$dir/CTestTestfile.cmake" ] || ctest --test-dir "$root/$dir" -j"$(nproc)" \
                --output-on-failure >"$logs/$1.$dir.$i" 2>&1 || true
        done
    done
}
for _ in $(seq "$(nproc)"); do sh -c 'while :; do :; done' & burners="$burners $!"; done
suite busy
kill $burners && burners=
suite idle
grep -oE 'Test +#[0-9]+: [^ ]+ \.+\**(Failed|Timeout|Exception|Not Run)' "$logs"/* || true
total=$(cat "$logs"/* | grep -cE 'Test +#[0-9]+: ') || true
failed=$(cat "$logs"/* | grep -cE 'Test +#[0-9]+: .*(Failed|Timeout|Exception|Not Run)') || true
echo "stress: $((total - failed)) passed, $failed failed over $n busy and $n idle runs (logs: $logs)"
[ "$failed" -eq 0 ]
