#!/bin/sh
# Builds Tintelle for 64-bit Windows on Debian 12: the program, its tests and one installer per
# edition, build-windows/tintelle-VERSION-setup.exe and build-windows/sonaro-VERSION-setup.exe.
#
#   TINTELLE_QT_WINDOWS=/path/to/qt6-mingw scripts/build-windows.sh [--test] [CMAKE_OPTIONS...]
#
# CMAKE_OPTIONS go to the configure step, e.g. -DTINTELLE_SOAP_HOST=soap.example.net.
# With TINTELLE_SIGN_PKCS12 (a PKCS#12 certificate) and TINTELLE_SIGN_PASSWORD_FILE (a file holding
# its password), the programs, uninstallers and installers are signed with osslsigncode; without
# them, nothing is signed.
# The Qt for Windows is TINTELLE_QT_WINDOWS, else ../shared/qt6-mingw beside the repository when
# it is there, else one rebuilt from Debian's qt6-base source into build-qt-windows/ (about 40
# minutes on two cores; scripts/build-qt-windows.sh). --test then runs the tests under Wine.
set -eu
test=
[ "${1:-}" != --test ] || { test=yes; shift; }
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh" run test windows

qt=${TINTELLE_QT_WINDOWS:-}
if [ -z "$qt" ] && [ -x "$root/../shared/qt6-mingw/bin/qt-cmake" ]; then
    qt=$(cd "$root/../shared/qt6-mingw" && pwd)
fi
if [ -z "$qt" ]; then
    qt=$root/build-qt-windows/prefix
    [ -x "$qt/bin/qt-cmake" ] || "$root/scripts/build-qt-windows.sh" "$root/build-qt-windows"
fi
[ -x "$qt/bin/qt-cmake" ] || { echo "build-windows.sh: no Qt for Windows in $qt" >&2; exit 1; }

# The tests under Wine talk to the Linux build's provider simulator.
linux=${TINTELLE_BUILD_DIR:-$root/build}
[ -f "$linux/CMakeCache.txt" ] ||
    cmake --log-level=WARNING -S "$root" -B "$linux" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$linux" --target tintelle-provider-sim

build=$root/build-windows
"$qt/bin/qt-cmake" --log-level=WARNING -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DTINTELLE_BUILD_BENCH=AUTO -DTINTELLE_LINUX_SIM="$linux/tools/providersim/tintelle-provider-sim" \
    -DTINTELLE_SIGN_PKCS12="${TINTELLE_SIGN_PKCS12:-}" \
    -DTINTELLE_SIGN_PASSWORD_FILE="${TINTELLE_SIGN_PASSWORD_FILE:-}" "$@"
cmake --build "$build" --parallel "$(nproc)"
ls "$build"/*-setup.exe

[ -n "$test" ] || exit 0
ctest --test-dir "$build" --output-on-failure -j"$(nproc)"
