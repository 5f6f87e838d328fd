#!/bin/sh
# Compiles the executable's Windows resources with the cross windres, decompiles the result and
# checks what Windows will read: icon group, version record, manifest, all in English (US).
#   check-windres.sh <tintelle.rc> <work directory>
# Exits 77 (skipped) only when windres is not installed.
set -u

rc=$1
work=$2
windres=${WINDRES:-x86_64-w64-mingw32-windres}

if ! command -v "$windres" >/dev/null 2>&1; then
    echo "SKIP: $windres not installed"
    exit 77
fi

mkdir -p "$work"
# windres's default preprocessor is the cross gcc, which the build machine need not have.
"$windres" --preprocessor=cpp -i "$rc" -O coff -o "$work/tintelle-rc.o" || exit 1
"$windres" -i "$work/tintelle-rc.o" -O rc -o "$work/decompiled.rc" || exit 1
out=$work/decompiled.rc

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
expect() {
    grep -qF -- "$1" "$out" || fail "missing: $1"
}

# One language statement for every resource.
languages=$(grep -c '^LANGUAGE' "$out")
[ "$languages" = 1 ] || fail "expected one LANGUAGE statement, found $languages"
expect 'LANGUAGE 9, 1'

# The icon group: one 128 x 128, 32 bpp entry of 67624 bytes referring to icon 1.
expect '"IDI_ICON1" 14 /* RT_GROUP_ICON */'
expect 'Has 1 elements.'
expect '"\200\200\000\000", 1, 32, 0x10828L, 1'
expect '1 3 /* RT_ICON */'

# Fixed part of the version record: windres omits flags, OS and type when they are zero.
header=$(sed -n '/VERSIONINFO/,/^BEGIN/p' "$out")
expected_header='1 VERSIONINFO
 FILEVERSION 0, 0, 2, 0
 PRODUCTVERSION 0, 0, 2, 0
BEGIN'
[ "$header" = "$expected_header" ] || fail "version header is:
$header"

expect 'BLOCK "000004b0"'
for entry in 'CompanyName", "Tintelle"' 'FileDescription", "Tintelle"' 'FileVersion", "0.0.2"' \
    'InternalName", "Tintelle"' 'ProductName", "Tintelle"' 'ProductVersion", "0.0.2"'; do
    expect "VALUE \"$entry"
done
strings=$(grep -c 'VALUE "' "$out")
[ "$strings" = 7 ] || fail "expected six strings and one translation, found $strings values"
expect 'VALUE "Translation", 0x0, 1200'

# The manifest, resource 1 of type 24: rebuilt from the decompiled strings, it must be the
# committed file, and that file must ask for no elevation and for common controls 6.
expect '1 24 /* RT_MANIFEST */'
manifest=$work/manifest.xml
sed -n '/^1 24 /,/^END/p' "$out" | sed '1,2d;$d' |
    sed -e 's/^ *"//' -e 's/"$//' -e 's/""/"/g' -e 's/\\n$//' >"$manifest"
cmp -s "$manifest" "$(dirname "$rc")/tintelle.manifest" || fail "embedded manifest differs from tintelle.manifest"
flat=$(tr '\n' ' ' <"$manifest")
has() {
    printf '%s' "$flat" | grep -qE -- "$1" || fail "manifest lacks $1"
}
has '<requestedExecutionLevel[^>]* level="asInvoker"'
has '<requestedExecutionLevel[^>]* uiAccess="false"'
for attribute in 'type="win32"' 'name="Microsoft.Windows.Common-Controls"' 'version="6.0.0.0"' \
    'processorArchitecture="\*"' 'publicKeyToken="6595b64144ccf1df"' 'language="\*"'; do
    has "<dependency> *<dependentAssembly> *<assemblyIdentity[^>]* $attribute"
done

if [ "$failures" -ne 0 ]; then
    echo "decompiled resources:"
    grep -v "^ *0x\|^ *'" "$out"
    exit 1
fi
echo "windows resources OK"
