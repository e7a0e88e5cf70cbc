#!/bin/bash
# The Debian packages as a subscriber gets them (the command, and the tray program beside it): lintian
# finds no error in them; installed with apt-get into throwaway overlays of this machine's /usr, /etc and
# /var in a private mount namespace, they run, the command holds its capability, and a purge leaves nothing.
#   tests/pkg/package_test.sh [build dir, default build/linux]    (root)
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build/linux}
[ "$(id -u)" = 0 ] || { echo "skipped: needs root"; exit 77; }
if [ "${TARVELON_PKG_NS:-}" != 1 ]; then
    exec unshare --mount --propagation private env TARVELON_PKG_NS=1 "$0" "$@"
fi
packages=$(ls "$build"/tarvelon_*.deb "$build"/tarvelon-tray_*.deb) || exit 1
. "$root/tests/support/checks.sh"
status() { "$@" >/dev/null 2>&1; echo $?; }  # command... -> its exit status

for package in $packages; do
    check "lintian $(basename "$package"): no errors" 0 "$(status lintian --fail-on error "$package")"
done
scratch=$(mktemp -d)
trap 'umount -l "$scratch"; rmdir "$scratch"' EXIT
mount -t tmpfs tmpfs "$scratch"
for dir in /usr /etc /var; do
    mkdir -p "$scratch/layers$dir/upper" "$scratch/layers$dir/work"
    mount -t overlay overlay -o "lowerdir=$dir,upperdir=$scratch/layers$dir/upper,workdir=$scratch/layers$dir/work" "$dir" || exit 1
done
check "apt-get install" 0 "$(status env DEBIAN_FRONTEND=noninteractive apt-get install -y $packages)"
contains "tarvelon runs" "Tarvelon v" "$(tarvelon --version)"
contains "capability granted" "cap_net_raw=ep" "$(getcap /usr/bin/tarvelon)"
check "apt-get purge" 0 "$(status env DEBIAN_FRONTEND=noninteractive apt-get purge -y tarvelon tarvelon-tray)"
check "nothing of the packages left" "" "$(find "$scratch"/layers/*/upper -name '*tarvelon*')"

[ $failures = 0 ]
