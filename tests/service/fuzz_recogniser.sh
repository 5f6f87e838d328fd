#!/bin/sh
# Builds the recogniser's libFuzzer target with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs it for a bounded time, keeping its corpus between runs.
#
#   fuzz_recogniser.sh SOURCE_DIR WORK_DIR [libFuzzer options...]
#
# TINTELLE_FUZZ_SECONDS sets the time (60 by default); options given after WORK_DIR are passed to
# the fuzzer and win over the defaults, e.g. -max_total_time=3600 -jobs=2.
set -eu
src=$1
work=$2
shift 2
seconds=${TINTELLE_FUZZ_SECONDS:-60}
cxx=${TINTELLE_FUZZ_CXX:-clang++}

mkdir -p "$work/corpus" "$work/seeds" "$work/artifacts"
fuzzer="$work/fuzz_recogniser"
sources="$src/tests/service/fuzz_recogniser.cpp $src/service/wsnumbers.cpp
         $src/tools/reference/referencerecogniser.cpp"

# shellcheck disable=SC2086
if [ ! -x "$fuzzer" ] || [ -n "$(find $sources "$src"/service/*.h \
        "$src/tools/reference/referencerecogniser.h" "$0" -newer "$fuzzer")" ]; then
    echo "Building $fuzzer"
    # Only the two static functions of WS are used, so its header compiles here without moc and
    # the link needs QtCore alone. Qt is built position independent, hence -fPIC.
    # shellcheck disable=SC2046,SC2086
    "$cxx" -std=c++17 -O1 -g -fPIC -fno-omit-frame-pointer \
        -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
        -I"$src/service" -I"$src/tools/reference" $(pkg-config --cflags Qt6Core Qt6Network) \
        $sources $(pkg-config --libs Qt6Core) -o "$fuzzer.tmp"
    mv "$fuzzer.tmp" "$fuzzer"
fi

# Seeds. The first byte picks the reading: 3 for UTF-8, 1 for UTF-16, 2 for the alphabet.
seed() { printf '\003%s' "$2" >"$work/seeds/$1"; }
seed national '06 12 34 56 78'
seed international '+33 (0)6 12 34 56 78'
seed short 'Tél. : 3615'
seed greedy '(01) 23 45 (67) 89'
seed joined '01 23 45 67 89 / 06 11 22 33 44'
seed longest '0012345678901234567890123456'
printf '\0013\0006\000\000\3301\0005\000' >"$work/seeds/surrogate"
printf '\002\000\006\012\001\002\012\003\004\012\005\006\012\007\010' >"$work/seeds/alphabet"

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:halt_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
exec "$fuzzer" -max_total_time="$seconds" -max_len=256 -timeout=10 -print_final_stats=1 \
    -dict="$src/tests/service/fuzz_recogniser.dict" -artifact_prefix="$work/artifacts/" "$@" \
    "$work/corpus" "$work/seeds"
