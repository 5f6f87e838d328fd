#!/bin/sh
# Compiles the Windows resources with the cross windres into $1.o; the icon: 128 x 128, 32-bit.
set -eu
windres=x86_64-w64-mingw32-windres
command -v $windres >/dev/null || exit 77
# Its default preprocessor is the cross gcc, which the build machine need not have.
$windres --preprocessor=cpp -i "$(dirname "$0")/../../resources/tintelle.rc" -O coff -o "$1.o"
$windres -i "$1.o" -O rc | grep -F '"\200\200\000\000", 1, 32, 0x10828L, 1'
