#!/bin/sh
# Each edition's Windows resources, compiled by windres into $1-*: a 128 x 128 icon of its own.
set -eu
windres=x86_64-w64-mingw32-windres
command -v $windres >/dev/null || exit 77
: >"$1-icons"
for rc in tintelle.rc sonaro.rc; do
    # Its default preprocessor is the cross gcc, which the build machine need not have.
    $windres --preprocessor=cpp -i "$(dirname "$0")/../../resources/$rc" -O coff -o "$1-$rc.o"
    $windres -i "$1-$rc.o" -O rc >"$1-$rc.txt"
    grep -qF '"\200\200\000\000", 1, 32, 0x10828L, 1' "$1-$rc.txt" || { echo "$rc lacks a 128 x 128 icon" >&2; exit 1; }
    sed -n '/RT_ICON/,/^END/p' "$1-$rc.txt" | md5sum >>"$1-icons"
done
[ "$(sort -u "$1-icons" | wc -l)" -eq 2 ] || { echo "the editions share an icon" >&2; exit 1; }
