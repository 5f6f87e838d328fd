#!/bin/sh
# Builds the Debian packages with CPack, checks them with lintian, installs them on this machine
# with apt-get, starts both editions from their installed paths under a private X session with a
# tray host, then removes the packages and checks that their files are gone.
# Needs root; exits 77 (skipped) without it, or when the packages are already installed here, so
# that it never replaces or removes what someone installed on purpose.
# Usage: check-deb.sh BUILD_DIR SOURCE_DIR VERSION
set -eu

build=$1
source=$2
version=$3
packages="tintelle sonaro"

if [ "$(id -u)" -ne 0 ]; then
    echo "SKIP: installing packages needs root"
    exit 77
fi
for p in $packages; do
    if dpkg-query -W -f='${db:Status-Abbrev}' "$p" 2>/dev/null | grep -q '^.i'; then
        echo "SKIP: $p is already installed on this machine; not touching it"
        exit 77
    fi
done

work=$(mktemp -d)
installed=
cleanup() {
    if [ -n "$installed" ]; then
        # shellcheck disable=SC2086
        apt-get remove -y -qq -o DPkg::Lock::Timeout=120 $packages >/dev/null 2>&1 || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT INT TERM

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

cpack -G DEB -B "$work" --config "$build/CPackConfig.cmake" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log" >&2; fail "cpack"; }
debs=
for p in $packages; do
    set -- "$work/${p}_${version}_"*.deb
    deb=$1
    [ -f "$deb" ] || fail "cpack made no package $p $version"
    debs="$debs $deb"
done

# Errors fail; warnings and notes are shown for the log.
# shellcheck disable=SC2086
lintian --fail-on error $debs ||
    fail "lintian reports errors"
echo "ok: lintian reports no error"

export DEBIAN_FRONTEND=noninteractive
installed=yes
# shellcheck disable=SC2086
apt-get install -y -qq --no-install-recommends -o DPkg::Lock::Timeout=120 $debs \
    >"$work/install.log" 2>&1 || { cat "$work/install.log" >&2; fail "apt-get install"; }
for p in $packages; do
    [ "$(dpkg-query -W -f='${Version}' "$p")" = "$version" ] || fail "$p $version not installed"
    dpkg -L "$p" >>"$work/files"
done
[ -x /usr/bin/tintelle ] && [ -x /usr/bin/sonaro ] || fail "executables not installed in /usr/bin"
echo "ok: packages installed"

"$source/tests/support/with-xsession.sh" "$source/tests/packaging/tray-editions.sh" /usr/bin

# shellcheck disable=SC2086
apt-get remove -y -qq -o DPkg::Lock::Timeout=120 $packages >"$work/remove.log" 2>&1 ||
    { cat "$work/remove.log" >&2; fail "apt-get remove"; }
installed=
for p in $packages; do
    if dpkg-query -W -f='${db:Status-Abbrev}' "$p" 2>/dev/null | grep -q '^.i'; then
        fail "$p still installed"
    fi
done
left=
while read -r f; do
    [ -d "$f" ] && continue
    [ -e "$f" ] || [ -L "$f" ] && left="$left $f"
done <"$work/files"
[ -z "$left" ] || fail "left behind after removal:$left"
echo "ok: packages removed with all their files"
