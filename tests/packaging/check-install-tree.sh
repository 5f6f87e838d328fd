#!/bin/sh
# Installs the build tree into a throwaway root (`cmake --install` with DESTDIR) and checks what a
# desktop needs: both executables as real files, menu entries and AppStream data that pass their
# validators and point at each other, icons at every listed size; then starts both editions from
# there under a private X session with a tray host.
# Usage: check-install-tree.sh BUILD_DIR SOURCE_DIR VERSION
set -eu

build=$1
source=$2
version=$3
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT INT TERM

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

DESTDIR=$stage cmake --install "$build" --prefix /usr >/dev/null
root=$stage/usr

# The branded copy must be a file of its own: a link would resolve to the plain edition's path.
for program in tintelle sonaro; do
    [ -f "$root/bin/$program" ] && [ ! -L "$root/bin/$program" ] ||
        fail "bin/$program is not a file"
    [ -x "$root/bin/$program" ] || fail "bin/$program is not executable"
done
cmp -s "$root/bin/tintelle" "$root/bin/sonaro" || fail "bin/sonaro differs from bin/tintelle"

# check_edition APP NAME PROGRAM
check_edition() {
    desktop=$root/share/applications/$1.desktop
    metainfo=$root/share/metainfo/$1.metainfo.xml
    [ -f "$desktop" ] || fail "missing $desktop"
    [ -f "$metainfo" ] || fail "missing $metainfo"

    out=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate: $out"
    if echo "$out" | grep -Eq '(error|warning):'; then
        fail "desktop-file-validate: $out"
    fi
    appstreamcli validate --no-net "$metainfo" >"$stage/appstream.log" 2>&1 ||
        { cat "$stage/appstream.log" >&2; fail "appstreamcli rejects $metainfo"; }

    field() { sed -n "s/^$1=//p" "$desktop"; }
    [ "$(field Name)" = "$2" ] || fail "$1: Name is '$(field Name)'"
    [ "$(field Exec)" = "$3" ] || fail "$1: Exec is '$(field Exec)'"
    [ "$(field Icon)" = "$1" ] || fail "$1: Icon is '$(field Icon)'"
    [ "$(field Categories)" = "Office;Telephony;" ] ||
        fail "$1: Categories is '$(field Categories)'"
    field Comment | grep -q 'numéro' || fail "$1: no French comment"
    grep -q "<launchable type=\"desktop-id\">$1.desktop</launchable>" "$metainfo" ||
        fail "$metainfo does not launch $1.desktop"
    grep -q "<release version=\"$version\"" "$metainfo" || fail "$metainfo does not name $version"

    for size in 16 22 24 32 48 64 128; do
        icon=$root/share/icons/hicolor/${size}x$size/apps/$1.png
        [ -f "$icon" ] || fail "missing $icon"
        geometry=$(identify -format '%wx%h' "$icon")
        [ "$geometry" = "${size}x$size" ] || fail "$icon is $geometry"
    done
    [ -f "$root/share/man/man1/$3.1.gz" ] || fail "missing manual page of $3"
    for doc in copyright changelog.gz; do
        [ -f "$root/share/doc/$3/$doc" ] || fail "missing share/doc/$3/$doc"
    done
    gzip -cd "$root/share/doc/$3/changelog.gz" | head -n1 | grep -qF "$3 ($version)" ||
        fail "changelog of $3 names another package"
    echo "ok: $1 installs a valid menu entry, AppStream data and icons"
}
check_edition org.tintelle.Tintelle Tintelle tintelle
check_edition org.tintelle.Sonaro Sonaro sonaro

"$source/tests/support/with-xsession.sh" "$source/tests/packaging/tray-editions.sh" "$root/bin"
