#!/bin/sh
# Builds the recogniser's libFuzzer target with clang (AddressSanitizer, UndefinedBehaviorSanitizer)
# when its sources changed, then fuzzes it against the literal rules for TINTELLE_FUZZ_SECONDS
# (60 by default), keeping the corpus in WORK_DIR and failing inputs in WORK_DIR/artifacts.
#   fuzz_recogniser.sh SOURCE_DIR WORK_DIR [libFuzzer options, e.g. -jobs=2]
set -eu
src=$1 work=$2
shift 2
mkdir -p "$work/corpus" "$work/artifacts"
sources="$src/tests/service/fuzz_recogniser.cpp $src/service/phonenumber.cpp
         $src/tools/reference/referencerecogniser.cpp"
# shellcheck disable=SC2046,SC2086 # the number rules alone: no moc, and QtCore suffices
[ -n "$(find $sources "$src/service" "$0" -newer "$work/fuzzer" 2>&1)" ] &&
    "${TINTELLE_FUZZ_CXX:-clang++}" -std=c++17 -O1 -g -fPIC -fsanitize=fuzzer,address,undefined \
        -fno-sanitize-recover=all -I"$src/service" -I"$src/tools/reference" \
        $(pkg-config --cflags Qt6Core Qt6Network) $sources $(pkg-config --libs Qt6Core) \
        -o "$work/fuzzer"
exec "$work/fuzzer" -max_total_time="${TINTELLE_FUZZ_SECONDS:-60}" -max_len=256 -timeout=10 \
    -dict="$src/tests/service/fuzz_recogniser.dict" -artifact_prefix="$work/artifacts/" "$@" \
    "$work/corpus"
