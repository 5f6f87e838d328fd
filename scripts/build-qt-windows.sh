#!/bin/sh
# Cross-builds Qt 6.4.2 for 64-bit Windows from Debian 12's own qt6-base source package, the Qt
# version of the Linux build, into DIR/prefix: scripts/build-qt-windows.sh DIR. Core, Gui,
# Widgets, Network and Test, with Schannel for TLS; about 1 250 steps, 30 to 40 minutes on two
# cores. The host tools come from Debian's qt6-base-dev-tools.
set -eu
dir=$(mkdir -p "$1" && cd "$1" && pwd)
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh" run windows
if [ "$(id -u)" -eq 0 ]; then sudo=; else sudo=sudo; fi

# apt-get source needs a deb-src entry; Debian 12 images often have none. It must name the same
# key as the deb entry of that archive, or apt refuses both: new images list theirs in
# debian.sources with Signed-By, older ones in sources.list without.
if ! apt-get source --download-only --print-uris qt6-base >/dev/null 2>&1; then
    if [ -f /etc/apt/sources.list.d/debian.sources ]; then
        printf '%s\n' 'Types: deb-src' 'URIs: http://deb.debian.org/debian' 'Suites: bookworm' \
            'Components: main' 'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg' |
            $sudo tee /etc/apt/sources.list.d/tintelle-qt-src.sources >/dev/null
    else
        echo "deb-src http://deb.debian.org/debian bookworm main" |
            $sudo tee /etc/apt/sources.list.d/tintelle-qt-src.list >/dev/null
    fi
    $sudo apt-get update -qq
fi
cd "$dir"
[ -d src ] || {
    apt-get source --download-only qt6-base
    # The upstream tarball: Debian's patches are for its Linux build.
    mkdir src
    tar -xJf qt6-base_6.4.2+dfsg.orig.tar.xz -C src --strip-components=1
}

# The toolchain lives beside Qt's own, so that the installed prefix works from any folder.
cat >toolchain.cmake <<'TOOLCHAIN'
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
TOOLCHAIN

# OpenGL (dynamic) because the 6.4.2 Windows platform plugin needs it to compile; no tablet
# support because Debian's source drops the wintab headers; the bundled third-party libraries,
# as MinGW has none of the system ones.
cmake -S src -B build -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$dir/toolchain.cmake" -DCMAKE_INSTALL_PREFIX="$dir/prefix" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
    -DFEATURE_sql=OFF -DFEATURE_dbus=OFF -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF \
    -DFEATURE_xml=OFF -DFEATURE_vulkan=OFF -DFEATURE_openssl=OFF -DFEATURE_schannel=ON \
    -DFEATURE_opengl=ON -DFEATURE_tabletevent=OFF \
    -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_png=OFF \
    -DFEATURE_system_jpeg=OFF -DFEATURE_system_freetype=OFF -DFEATURE_system_harfbuzz=OFF \
    -DFEATURE_system_doubleconversion=OFF
nice -n 10 cmake --build build --parallel "$(nproc)"
cmake --install build

# Qt's toolchain file names the build's toolchain by its absolute path: point it at a copy kept
# in the prefix, by a path relative to itself, so that the prefix can move.
qtcmake=prefix/lib/cmake/Qt6
cp toolchain.cmake "$qtcmake/mingw-w64.toolchain.cmake"
sed -i "s|\"$dir/toolchain.cmake\"|\"\${CMAKE_CURRENT_LIST_DIR}/mingw-w64.toolchain.cmake\"|" \
    "$qtcmake/qt.toolchain.cmake"
grep -q 'CMAKE_CURRENT_LIST_DIR}/mingw-w64' "$qtcmake/qt.toolchain.cmake" ||
    { echo "build-qt-windows.sh: qt.toolchain.cmake does not name the copied toolchain" >&2; exit 1; }
