#!/bin/sh
# Compiles the executable's Windows resources with the cross windres and checks that the icon
# went in as one 128 x 128, 32-bit entry.  check-windres.sh <tintelle.rc> <work file prefix>
set -eu
windres=x86_64-w64-mingw32-windres
command -v $windres >/dev/null || exit 77
# Its default preprocessor is the cross gcc, which the build machine need not have.
$windres --preprocessor=cpp -i "$1" -O coff -o "$2.o"
$windres -i "$2.o" -O rc | grep -F '"\200\200\000\000", 1, 32, 0x10828L, 1'
