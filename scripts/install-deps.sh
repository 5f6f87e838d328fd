#!/bin/sh
# Installs the missing Debian packages of the named lists:
#
#   scripts/install-deps.sh [run] [test]
#
# "run" (packages-run.txt) is what building and running the program needs; "test"
# (packages-test.txt) is what the tests, the tools and the headless demonstration add. Without a
# name it installs both. Does nothing when all are present, so it is cheap to call before a build.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
[ $# -gt 0 ] || set -- run test

packages=
for list in "$@"; do
    file=$here/packages-$list.txt
    [ -f "$file" ] || { echo "install-deps.sh: no package list '$list'" >&2; exit 2; }
    packages="$packages $(sed 's/#.*//' "$file")"
done

missing=
for p in $packages; do
    status=$(dpkg-query -W -f='${db:Status-Abbrev}' "$p" 2>/dev/null || true)
    case "$status" in
    ii*) ;;
    *) missing="$missing $p" ;;
    esac
done
[ -z "$missing" ] && exit 0

echo "Installing:$missing"
if [ "$(id -u)" -eq 0 ]; then sudo=; else sudo=sudo; fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
# shellcheck disable=SC2086
$sudo apt-get install -y -qq --no-install-recommends $missing
