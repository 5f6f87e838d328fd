#!/bin/sh
# Regenerates the nine PNG images, tintelle.ico and sonaro.ico of resources/ from drawartwork.cpp:
#
#   resources/artwork/render.sh [build directory]
#
# Builds the drawing tool (Qt 6 Gui), draws every picture, then re-encodes each PNG with
# ImageMagick to the colour type the program expects: Qt writes only RGB and RGBA, and the
# handset picture is grey with alpha. Metadata is stripped so a rerun gives the same files.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
resources=$(dirname "$here")
build=${1:-${TMPDIR:-/tmp}/tintelle-artwork}
drawn=$build/drawn

cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build"
rm -rf "$drawn"
mkdir -p "$drawn"
"$build/drawartwork" "$drawn"

# name, PNG colour type (2 RGB, 4 grey with alpha, 6 RGBA)
while read -r name type; do
    convert "$drawn/$name" -strip -define png:color-type="$type" -define png:bit-depth=8 \
        -interlace none -quality 95 "$resources/$name"
done <<EOF
logo-ivelor-100.png 6
button-call.png 6
call-bg.png 2
button-cancel.png 6
phone-logo-md.png 4
icon-24-edit.png 6
icon-128-phone.png 6
logo-ivelor-blue-100.png 6
setup-bg.png 2
EOF
cp "$drawn/tintelle.ico" "$drawn/sonaro.ico" "$resources/"
echo "artwork written to $resources"
