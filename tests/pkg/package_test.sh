#!/bin/bash
# The Debian packages as a subscriber gets them (the command, and the tray program beside it): their
# contents, lintian, the hardening; installed with apt-get into throwaway overlays of this machine's /usr,
# /etc and /var in a private mount namespace, used, purged.
#   tests/pkg/package_test.sh [build dir, default build/linux]    (root)
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build/linux}
[ "$(id -u)" = 0 ] || { echo "skipped: needs root"; exit 77; }
if [ "${TARVELON_PKG_NS:-}" != 1 ]; then
    exec unshare --mount --propagation private env TARVELON_PKG_NS=1 "$0" "$@"
fi
deb=$(ls "$build"/tarvelon_*.deb) || exit 1
tray_deb=$(ls "$build"/tarvelon-tray_*.deb) || exit 1
version=$(dpkg-deb --field "$deb" Version)
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
check "control: the command without GTK" lacks "gtk" "$(dpkg-deb --field "$deb" Depends)"
check "contents: the README" has " \./usr/share/doc/tarvelon/README\$" "$(dpkg-deb --contents "$deb")"
check "tray control: Depends: tarvelon (= $version), libgtk-3-0" \
    has "^tarvelon (= $version), .*libgtk-3-0" "$(dpkg-deb --field "$tray_deb" Depends)"
check "tray control: Suggests: the AppIndicator extension" \
    has "^gnome-shell-extension-appindicator\$" "$(dpkg-deb --field "$tray_deb" Suggests)"
check "tray: the autostart entry is a conffile" \
    has "^/etc/xdg/autostart/tarvelon-tray.desktop\$" "$(dpkg-deb --info "$tray_deb" conffiles)"
for package in "$deb" "$tray_deb"; do
    check "lintian $(basename "$package"): no errors" lintian --fail-on error "$package"
done

scratch=$(mktemp -d)
trap 'umount -l "$scratch"; rmdir "$scratch"' EXIT
mount -t tmpfs tmpfs "$scratch"
dpkg-deb -x "$deb" "$scratch/unpacked"
dpkg-deb -x "$tray_deb" "$scratch/unpacked"
for program in tarvelon tarvelon-tray; do
    binary=$scratch/unpacked/usr/bin/$program
    check "$program: no sanitizer runtime" \
        bash -c "! readelf -dW --dyn-syms '$binary' | grep -qE 'lib(a|ub|t)san|__(a|ub)san_'"
    check "$program: hardening (PIE, stack protector, fortify, RELRO, BIND_NOW)" \
        hardening-check --nocfprotection "$binary"
done
for entry in usr/share/applications etc/xdg/autostart; do
    check "desktop-file-validate /$entry/tarvelon-tray.desktop" \
        bash -c "[ -z \"\$(desktop-file-validate '$scratch/unpacked/$entry/tarvelon-tray.desktop' 2>&1)\" ]"
done

for dir in /usr /etc /var; do
    mkdir -p "$scratch/layers$dir/upper" "$scratch/layers$dir/work"
    mount -t overlay overlay -o "lowerdir=$dir,upperdir=$scratch/layers$dir/upper,workdir=$scratch/layers$dir/work" "$dir" || exit 1
done
check "apt-get install ./$(basename "$deb") ./$(basename "$tray_deb")" \
    env DEBIAN_FRONTEND=noninteractive apt-get install -y "$deb" "$tray_deb"
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
check "tarvelon-tray without a display: says so, status 1" \
    bash -c "[ \"\$(LC_ALL=C env -u DISPLAY -u WAYLAND_DISPLAY tarvelon-tray 2>&1; echo \$?)\" = \
              \"\$(printf 'tarvelon-tray: cannot open the display\n1')\" ]"
check "tarvelon-tray: man page renders" has "EXIT STATUS" "$(man -l /usr/share/man/man1/tarvelon-tray.1.gz 2>&1)"
for size in 16 22 24 32 48 64 128 256; do
    check "icon ${size}x$size" has "PNG image data, $size x $size, 8-bit/color RGBA" \
        "$(file /usr/share/icons/hicolor/${size}x$size/apps/tarvelon.png)"
done
check "icon scalable" has "SVG" "$(file /usr/share/icons/hicolor/scalable/apps/tarvelon.svg)"
for entry in /usr/share/applications /etc/xdg/autostart; do
    check "$entry/tarvelon-tray.desktop: runs the installed program with the icon" \
        has "^Exec=tarvelon-tray Icon=tarvelon\$" "$(grep -x 'Exec=.*\|Icon=.*' $entry/tarvelon-tray.desktop | paste -sd' ')"
done
check "apt-get purge" env DEBIAN_FRONTEND=noninteractive apt-get purge -y tarvelon tarvelon-tray
check "nothing of the package left" bash -c "[ -z \"\$(find '$scratch'/layers/*/upper -name '*tarvelon*')\" ]"

[ $failures = 0 ]
