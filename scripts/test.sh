#!/bin/sh
# Installs what is missing, builds, and runs every test: the whole suite on a normal build, then
# the unit tests again, with the fuzzers (recogniser, reply reader, SOAP reply) beside them, on a
# clang build with AddressSanitizer and UndefinedBehaviorSanitizer, then the Windows build's tests
# under Wine.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
# The Windows build and its tests under Wine come too when a Qt for Windows is at hand; never a
# 40-minute Qt build from here.
qt=${TINTELLE_QT_WINDOWS:-$root/../shared/qt6-mingw}
if [ -x "$qt/bin/qt-cmake" ]; then
    qt=$(cd "$qt" && pwd)
    "$root/scripts/install-deps.sh" run test windows
else
    qt=
    "$root/scripts/install-deps.sh" run test
fi
jobs=$(nproc)
# Half a minute of fuzzing here, shared by the three fuzzers; a longer run by hand: see HACKING.md.
export TINTELLE_FUZZ_SECONDS="${TINTELLE_FUZZ_SECONDS:-30}"
# On CI, and only there, tst_packages installs and purges the packages on the machine.
if [ "${CI:-}" = true ]; then export TINTELLE_TEST_INSTALL="${TINTELLE_TEST_INSTALL:-1}"; fi

build="${TINTELLE_BUILD_DIR:-$root/build}"
cmake --log-level=WARNING -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTINTELLE_PACKAGING=ON -DTINTELLE_BUILD_BENCH=ON
cmake --build "$build" --parallel "$jobs"
# The Windows build goes on beside the tests, which leave the processors idle much of the time.
windows=
if [ -n "$qt" ]; then
    # In a process group of its own, ended whole if this script stops: not its shell alone.
    TINTELLE_QT_WINDOWS=$qt TINTELLE_BUILD_DIR="$build" setsid nice -n 5 \
        "$root/scripts/build-windows.sh" >"$build/windows-build.log" 2>&1 &
    windows=$!
    trap 'kill -- "-$windows" 2>/dev/null || true' EXIT
fi
ctest --test-dir "$build" --output-on-failure -j"$jobs"

# libFuzzer needs clang; its coverage instrumentation costs the unit tests little.
asan="${TINTELLE_ASAN_BUILD_DIR:-$root/build-asan}"
cmake --log-level=WARNING -S "$root" -B "$asan" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_CXX_COMPILER=clang++ -DTINTELLE_SANITIZE=address,undefined -DTINTELLE_FUZZ=ON \
    -DTINTELLE_BUILD_BENCH=OFF
cmake --build "$asan" --parallel "$jobs" --target unit_tests fuzz_recogniser fuzz_httpreplyreader \
    fuzz_soapmessage
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
ctest --test-dir "$asan" -L 'unit|fuzz' --output-on-failure -j"$jobs"

if [ -n "$windows" ]; then
    wait "$windows" || { cat "$build/windows-build.log"; exit 1; }
    trap - EXIT
    ctest --test-dir "$root/build-windows" --output-on-failure -j"$jobs"
else
    echo "test.sh: Windows tests skipped: no Qt for Windows (set TINTELLE_QT_WINDOWS, see README.md)"
fi
