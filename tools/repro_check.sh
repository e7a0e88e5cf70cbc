#!/bin/bash
# Two clean builds of one commit, in two different folders one after the other,
# and the SHA-256 of every shipped artifact of each: Tarvelon.exe (i686 and
# x86_64), the Linux tarvelon and tarvelon-tray and their Debian packages.  Exit 1
# when a pair differs.
#   tools/repro_check.sh [commit, default HEAD]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
commit=$(git -C "$root" rev-parse "${1:-HEAD}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

build() {  # folder
    git clone -q "$root" "$1"
    git -C "$1" checkout -q "$commit"
    cd "$1"
    for preset in win32 win64; do
        cmake --preset "$preset" >/dev/null
        cmake --build --preset "$preset" --target Tarvelon >/dev/null
    done
    cmake --workflow --preset deb >/dev/null
    cd - >/dev/null
}
artifacts="build/win32/Tarvelon.exe build/win64/Tarvelon.exe build/linux/tarvelon build/linux/tarvelon_*.deb
           build/linux/tarvelon-tray build/linux/tarvelon-tray_*.deb"
first=$work/a/tarvelon
second=$work/second-build/elsewhere/tarvelon
echo "building $commit in $first, then in $second" >&2
build "$first"
build "$second"

status=0
echo "commit $commit"
for pattern in $artifacts; do
    a=$(cd "$first" && ls $pattern)
    one=$(sha256sum <"$first/$a" | cut -d' ' -f1)
    two=$(sha256sum <"$second/$a" 2>/dev/null | cut -d' ' -f1)
    verdict=identical
    [ "$one" = "$two" ] || { verdict="DIFFERS (second build: $two)"; status=1; }
    echo "$one  $a  $verdict"
done
exit $status
