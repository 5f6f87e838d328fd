#!/bin/sh
# Installs what is missing, builds, and runs every test: the whole suite on a normal build, with
# the recogniser's fuzzer (a clang build of the service library) running beside it, then the unit
# tests again on a build with AddressSanitizer and UndefinedBehaviorSanitizer.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh" run test
jobs=$(nproc)
# Half a minute of fuzzing here; a longer run by hand: see HACKING.md.
export TINTELLE_FUZZ_SECONDS="${TINTELLE_FUZZ_SECONDS:-30}"
# On CI, and only there, tst_packages installs and purges the packages on the machine.
if [ "${CI:-}" = true ]; then export TINTELLE_TEST_INSTALL="${TINTELLE_TEST_INSTALL:-1}"; fi

build="${TINTELLE_BUILD_DIR:-$root/build}"
cmake --log-level=WARNING -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTINTELLE_PACKAGING=ON -DTINTELLE_BUILD_BENCH=ON
cmake --build "$build" --parallel "$jobs"

fuzz="${TINTELLE_FUZZ_BUILD_DIR:-$root/build-fuzz}"
cmake --log-level=WARNING -S "$root" -B "$fuzz" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_CXX_COMPILER=clang++ -DTINTELLE_FUZZ=ON -DTINTELLE_SANITIZE=address,undefined \
    -DTINTELLE_BUILD_BENCH=OFF
cmake --build "$fuzz" --parallel "$jobs" --target fuzz_recogniser

# The fuzzer takes one core while the suite, mostly waiting on its desktops, runs beside it.
ctest --test-dir "$fuzz" -L fuzz --output-on-failure >"$fuzz/fuzz.log" 2>&1 &
fuzzing=$!
suite=0
ctest --test-dir "$build" --output-on-failure -j"$jobs" || suite=$?
fuzzed=0
wait "$fuzzing" || fuzzed=$?
cat "$fuzz/fuzz.log"
if [ "$suite" -ne 0 ] || [ "$fuzzed" -ne 0 ]; then exit 1; fi

asan="${TINTELLE_ASAN_BUILD_DIR:-$root/build-asan}"
cmake --log-level=WARNING -S "$root" -B "$asan" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DTINTELLE_SANITIZE=address,undefined -DTINTELLE_BUILD_BENCH=OFF
cmake --build "$asan" --parallel "$jobs" --target unit_tests
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
ctest --test-dir "$asan" -L unit --output-on-failure -j"$jobs"
