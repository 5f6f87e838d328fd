#!/bin/sh
# Compiles each edition's Windows resources with the cross windres into $1-*.o: a 128 x 128, 32-bit
# icon of its own, and a version record in its own names.
set -eu
windres=x86_64-w64-mingw32-windres
command -v $windres >/dev/null || exit 77
resources=$(dirname "$0")/../../resources
icons=
# rc file, CompanyName, ProductName
while read -r rc company product; do
    # Its default preprocessor is the cross gcc, which the build machine need not have.
    $windres --preprocessor=cpp -i "$resources/$rc" -O coff -o "$1-$rc.o"
    $windres -i "$1-$rc.o" -O rc >"$1-$rc.txt"
    grep -qF '"\200\200\000\000", 1, 32, 0x10828L, 1' "$1-$rc.txt" || { echo "$rc: icon group" >&2; exit 1; }
    for value in "CompanyName\", \"$company" "ProductName\", \"$product" "FileDescription\", \"$product"; do
        grep -qF "VALUE \"$value\"" "$1-$rc.txt" || { echo "$rc: no $value" >&2; exit 1; }
    done
    icons="$icons$(sed -n '/RT_ICON/,/^END/p' "$1-$rc.txt" | md5sum | cut -c1-32)
"
done <<ROWS
tintelle.rc Tintelle Tintelle
sonaro.rc Ivelor Sonaro
ROWS
[ "$(printf %s "$icons" | sort -u | wc -l)" -eq 2 ] || { echo "the editions share an icon" >&2; exit 1; }
