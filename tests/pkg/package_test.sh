#!/bin/bash
# The Debian package as a subscriber gets it: its contents, lintian, the hardening; installed with apt-get
# into throwaway overlays of this machine's /usr, /etc and /var in a private mount namespace, used, purged.
#   tests/pkg/package_test.sh [build dir, default build/linux]    (root)
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build/linux}
[ "$(id -u)" = 0 ] || { echo "skipped: needs root"; exit 77; }
if [ "${TARVELON_PKG_NS:-}" != 1 ]; then
    exec unshare --mount --propagation private env TARVELON_PKG_NS=1 "$0" "$@"
fi
deb=$(ls "$build"/tarvelon_*.deb) || exit 1
failures=0
check() {  # name command...
    local name=$1
    shift
    if "$@" >/dev/null 2>&1; then echo "ok   $name"; else echo "FAIL $name"; failures=$((failures + 1)); fi
}
has() { grep -qe "$1" <<<"$2"; }
lacks() { ! LC_ALL=C grep -qe "$1" <<<"$2"; }

# What the package holds (its other files are used below; lintian checks the control fields and copyright).
check "control: Depends: libcurl4, libcap2" has "Depends: .*libcap2.*libcurl4" "$(dpkg-deb --info "$deb")"
check "contents: the README" has " \./usr/share/doc/tarvelon/README\$" "$(dpkg-deb --contents "$deb")"
check "lintian: no errors" lintian --fail-on error "$deb"

scratch=$(mktemp -d)
trap 'umount -l "$scratch"; rmdir "$scratch"' EXIT
mount -t tmpfs tmpfs "$scratch"
dpkg-deb -x "$deb" "$scratch/unpacked"
binary=$scratch/unpacked/usr/bin/tarvelon
check "no sanitizer runtime" bash -c "! readelf -dW --dyn-syms '$binary' | grep -qE 'lib(a|ub|t)san|__(a|ub)san_'"
check "hardening (PIE, stack protector, fortify, RELRO, BIND_NOW)" \
    hardening-check --nocfprotection "$binary"

for dir in /usr /etc /var; do
    mkdir -p "$scratch/layers$dir/upper" "$scratch/layers$dir/work"
    mount -t overlay overlay -o "lowerdir=$dir,upperdir=$scratch/layers$dir/upper,workdir=$scratch/layers$dir/work" "$dir" || exit 1
done
check "apt-get install ./$(basename "$deb")" env DEBIAN_FRONTEND=noninteractive apt-get install -y "$deb"
check "--version" has "^Tarvelon v" "$(tarvelon --version)"
help=$(LC_ALL=C tarvelon --help)
check "--help under C: English" has "^Usage: tarvelon" "$help"
check "--help under C: nothing unreadable" lacks '[?]\|[^ -~]' "$help"
check "--help under ru_RU.UTF-8: Russian" has "^Использование: tarvelon" "$(LC_ALL=ru_RU.UTF-8 tarvelon --help)"
check "capability granted" has "cap_net_raw=ep" "$(getcap /usr/bin/tarvelon)"
check "man page renders" has "EXIT STATUS" "$(man -l /usr/share/man/man1/tarvelon.1.gz 2>&1)"
complete() {  # words... -> what completion offers for the last word
    bash -c 'source /usr/share/bash-completion/completions/tarvelon; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1))
             _tarvelon; echo "${COMPREPLY[*]}"' completion "$@"
}
check "completion: commands" has "^balance$" "$(complete tarvelon ba)"
check "completion: a command's options" has "^--remember$" "$(complete tarvelon balance --rem)"
check "apt-get purge" env DEBIAN_FRONTEND=noninteractive apt-get purge -y tarvelon
check "nothing of the package left" bash -c "[ -z \"\$(find '$scratch'/layers/*/upper -name '*tarvelon*')\" ]"

[ $failures = 0 ]
