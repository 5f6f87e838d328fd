#!/bin/sh
# check-packages.sh BUILD_DIR VERSION: the install tree and both Debian packages; also installed,
# run and purged with TINTELLE_TEST_INSTALL=1 as root (77: not root, or one installed already).
set -eu
build=$1 version=$2
work=$(mktemp -d) installed=
root=$work/stage
trap 'rm -rf "$work"; [ -z "$installed" ] || apt-get purge -y -qq tintelle sonaro >/dev/null' EXIT
trap 'exit 1' INT TERM
fail() { echo "FAIL: $*" >&2; exit 1; }
quiet() { "$@" >"$work/log" 2>&1 || { cat "$work/log" >&2; fail "$*"; }; } # the log on failure

DESTDIR=$root cmake --install "$build" --prefix /usr >/dev/null
# A copy, not a link: the program takes its edition from its own resolved path.
[ ! -L "$root/usr/bin/sonaro" ] && cmp -s "$root/usr/bin/tintelle" "$root/usr/bin/sonaro" ||
    fail "usr/bin/sonaro is not a copy of tintelle"
# On Wayland with an X server the program goes to X11 at once (here a display that is not there).
(env -u QT_QPA_PLATFORM XDG_SESSION_TYPE=wayland WAYLAND_DISPLAY=none DISPLAY=:99 \
    "$root/usr/bin/tintelle" 2>&1) 2>/dev/null | grep -qi wayland && fail "it tried Wayland first"

# No call of the program's own is one _FORTIFY_SOURCE checks (Qt does its input and output), so
# the flag is read from the compile commands; Debian 12 gives no control-flow protection.
quiet hardening-check --nofortify --nocfprotection "$root/usr/bin/tintelle"
grep -q '"command": ".*-D_FORTIFY_SOURCE=2 .*app/main\.cpp"' "$build/compile_commands.json" ||
    fail "app/main.cpp was not compiled with -D_FORTIFY_SOURCE=2"

quiet cpack -G DEB -B "$work" --config "$build/CPackConfig.cmake"
lintian --fail-on error "$work"/*.deb || fail "lintian reports errors"
editions="tintelle:Tintelle sonaro:Sonaro"
for pair in $editions; do
    program=${pair%:*} edition=${pair#*:} app=org.tintelle.${pair#*:}
    menu=$root/usr/share/applications/$app.desktop auto=$root/etc/xdg/autostart/$app.desktop
    for entry in "$menu" "$auto"; do
        out=$(desktop-file-validate "$entry" 2>&1) && ! echo "$out" | grep -Eq '(error|warning):' ||
            fail "$entry: $out"
    done
    metainfo=$root/usr/share/metainfo/$app.metainfo.xml
    quiet appstreamcli validate --no-net "$metainfo"
    grep -q "<launchable type=\"desktop-id\">$app.desktop<" "$metainfo" &&
        grep -q "<release version=\"$version\"" "$metainfo" || fail "$metainfo: launchable, release"
    [ "$(identify -format '%wx%h ' "$root"/usr/share/icons/hicolor/*/apps/"$app".png)" = \
        "128x128 16x16 22x22 24x24 32x32 48x48 64x64 " ] || fail "$app: icons"
    MANWIDTH=300 man -l "$root/usr/share/man/man1/$program.1.gz" 2>/dev/null |
        grep -qF "$edition $version" || fail "manual page of $program does not name $edition $version"
    gzip -cd "$root/usr/share/doc/$program/changelog.gz" | grep -qF "$program ($version)" || fail "changelog of $program"
    dpkg-deb -c "$work/${program}_${version}_"*.deb | grep -cE \
        " \./(etc/xdg/autostart|usr/share/applications)/$app\.desktop$" | grep -qx 2 ||
        fail "the $program package lacks its menu or autostart entry"
done

[ "${TINTELLE_TEST_INSTALL:-0}" = 1 ] ||
    { echo "Not installed on this machine: TINTELLE_TEST_INSTALL=1 asks for it (as root)"; exit 0; }
[ "$(id -u)" -eq 0 ] || { echo "SKIP: installing packages needs root"; exit 77; }
! dpkg-query -W -f='${db:Status-Abbrev}\n' tintelle sonaro 2>/dev/null | grep -q '^.i' ||
    { echo "SKIP: tintelle or sonaro is installed on this machine already; not touching it"; exit 77; }
installed=yes
quiet env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    -o DPkg::Lock::Timeout=120 "$work"/*.deb
for pair in $editions; do
    out=$(env -i HOME="$work/home" "/usr/bin/${pair%:*}" --version)
    [ "$out" = "${pair#*:} $version" ] || fail "${pair%:*} --version says '$out'"
done
[ ! -e "$work/home" ] || fail "--version touched the settings"
dpkg -L tintelle sonaro >"$work/files"
quiet apt-get purge -y -qq -o DPkg::Lock::Timeout=120 tintelle sonaro
installed=
while read -r f; do [ -d "$f" ] || [ ! -e "$f" ] || fail "$f left behind after purge"; done <"$work/files"
echo "ok: packages installed, both editions answer --version, purged with all their files"
