#!/bin/bash
# The main job end to end, as a subscriber meets it: Tarvelon.exe, built as the
# shipped one with the test hosts, in the notification area of a Wine desktop on a
# virtual X display, the billing simulator with a demo account, all inside a
# private network namespace.  The road is the 32-bit program under 32-bit Wine;
# where the kernel runs no 32-bit code, the 64-bit build of the same program under
# wine64 (said in one line).
# The user's road: point at the icon (tooltip), double-click it, type the
# contract number and password, tick "remember", read the balance box, Exit.
#   sudo tools/demo.sh [--64] [--refresh-screenshots]
#     --64                   the 64-bit road on any kernel
#     --refresh-screenshots  also copy the pictures to docs/screenshots (32-bit road
#                            only: the README shows the shipped program)
# Installs what is missing (apt, the ru_RU.UTF-8 locale), builds build/demo/ROAD,
# prints the balance text and saves build/demo/ROAD/screenshots/{tooltip,login-dialog,
# balance-box}.png, each cropped to what the user looks at.  Exit status 0 when the
# whole road went as a user expects it; otherwise 1, with the reason.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/tools/demo_lib.sh"
contract=1234567
password=demo2026

fail() { echo "demo: FAILED: $*" >&2; exit 1; }

force64= refresh=
for arg in "$@"; do
    case $arg in
    --64) force64=1 ;;
    --refresh-screenshots) refresh=1 ;;
    *) fail "unknown argument $arg (usage: tools/demo.sh [--64] [--refresh-screenshots])" ;;
    esac
done

if [ "${TARVELON_DEMO_NETNS:-}" != 1 ]; then
    [ "$(id -u)" = 0 ] || fail "run as root (apt, network namespace)"
    [ -z "$force64" ] || [ -z "$refresh" ] || fail "--refresh-screenshots takes the 32-bit road, not --64"
    demo_install demo build-essential cmake googletest binutils-mingw-w64 wine64 xvfb xdotool x11-utils imagemagick \
        python3 openssl iproute2 util-linux locales $([ -n "$force64" ] || echo g++-mingw-w64-i686 wine32:i386)
    road=win32
    if [ -n "$force64" ]; then
        road=win64
    elif ! why=$("$root/tools/wine/can_run_32bit.sh"); then
        [ -z "$refresh" ] || fail "$why; --refresh-screenshots needs the 32-bit road"
        echo "demo: $why: the 64-bit build under wine64 instead"
        road=win64
    fi
    [ "$road" = win32 ] || demo_install demo g++-mingw-w64-x86-64
    demo_locale
    build=$root/build/demo/$road
    echo "demo: building $build"
    # The shipped build with the simulator's hosts, and the programs that act on it.
    toolchain=$root/cmake/mingw-i686.cmake
    [ "$road" = win32 ] || toolchain=$root/cmake/mingw-x86_64.cmake
    cmake --preset win32 -B "$build" --no-warn-unused-cli -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DTARVELON_TESTS=ON \
        -DTARVELON_API_URL=https://127.0.0.1/user/v1/ -DTARVELON_STATS_URL=https://127.0.0.1 >/dev/null
    cmake --build "$build" -j2 --target Tarvelon shell_driver trust_ca_driver >/dev/null
    "$root/tools/billing_sim/make_certs.sh" "$root/build/testca" >/dev/null
    exec unshare --net --mount --propagation private env TARVELON_DEMO_NETNS=1 TARVELON_DEMO_ROAD=$road \
        "$0" "$@"
fi

demo_trust_test_ca
demo_home_network

display=
for n in $(seq 80 99); do [ -e "/tmp/.X11-unix/X$n" ] || { display=:$n; break; }; done
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
road=$TARVELON_DEMO_ROAD
build=$root/build/demo/$road
shots=$build/screenshots
export DISPLAY=$display WINEPREFIX=$build/wineprefix WINEDEBUG=-all LC_ALL=ru_RU.UTF-8
export TARVELON_WINE=/usr/lib/wine/wine
[ "$road" = win32 ] || TARVELON_WINE=/usr/lib/wine/wine64
BUILD=$build
WORK=$build/run
. "$root/tools/wine/shell_lib.sh"
SIM=$root/tools/billing_sim/sim.sh
cleanup() {
    local status=$?
    set +e
    close_copies
    "$SIM" stop "$WORK/sim"
    /usr/lib/wine/wineserver -k 2>/dev/null || true
    kill "$xvfb" 2>/dev/null
    exit $status
}
trap cleanup EXIT
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done

echo "demo: $road road: $(basename "$TARVELON_WINE") runs $build/Tarvelon.exe"
echo "demo: a fresh Wine prefix with a 1024x768 desktop"
rm -rf "$WINEPREFIX" "$WORK"
mkdir -p "$WORK" "$shots"
timeout 180 "$WINE" wineboot -i >/dev/null 2>&1
timeout 60 "$WINE" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
timeout 60 "$WINE" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1
timeout 60 "$WINE" "$build/trust_ca_driver.exe" "Z:$root/build/testca/ca.pem" >/dev/null 2>&1
/usr/lib/wine/wineserver -w

pass_hash=$(printf %s "$password" | openssl dgst -sha1 -binary | base64 | sed 's/+/%2B/g; s#/#%2F#g; s/=/%3D/g')
"$SIM" start "$WORK/sim" --address 127.0.0.1 --account "$contract:$pass_hash" --balance 1234.56 --balance-info 31 ||
    fail "the billing simulator did not start"

# shot NAME X Y WIDTH HEIGHT: that part of the screen, clipped to the screen.
shot() {
    import -window root "$WORK/screen.png"
    convert "$WORK/screen.png" -crop "$4x$5+$2+$3" +repage "$shots/$1.png"
    echo "demo: saved ${shots#$root/}/$1.png"
}
# The program's dialog or box with a margin of desktop around it.
shot_dialog() {
    local rect x y w h
    rect=$(driver rect)
    [ -n "$rect" ] || fail "no window to take for $1"
    read -r x y w h <<<"$rect"
    shot "$1" $((x - 16)) $((y - 16)) $((w + 32)) $((h + 32))
}

echo "demo: starting Tarvelon.exe"
start_copy demo
[ -n "$(driver pid)" ] || fail "Tarvelon.exe did not start (no main window within 30 s)"
[ "$(driver icons 1)" = 1 ] || fail "not one icon in the notification area"
read -r x y <<<"$(driver icon-at)"
tip=$(driver tip)
case $tip in "IP: 192.168.1.23"*) ;; *) fail "the tooltip is [$tip], not the status of demo0" ;; esac

# Pointing at the icon shows the tooltip.  A little traffic first, so that the
# counters are not all zero: ARP requests for a neighbour that is not there.
for _ in 1 2 3; do (echo >/dev/udp/192.168.1.1/9) 2>/dev/null || true; sleep 0.3; done
xdotool mousemove $((x - 30)) $((y - 30)) sleep 0.3 mousemove "$x" "$y"
sleep 2
# The corner of the taskbar with the icon, and the tooltip above it.
shot tooltip $((x - 240)) $((y - 80)) 256 96

# Double-click, type, tick, confirm.
xdotool click --repeat 2 --delay 100 1
for _ in $(seq 100); do [ "$(driver popups)" = "dialogs=1 menus=0" ] && break; sleep 0.2; done
[ "$(driver popups)" = "dialogs=1 menus=0" ] || fail "a double-click on the icon opened no login dialog"
xdotool mousemove 700 200
sleep 1
xdotool type --delay 60 "$contract"
xdotool key Tab
xdotool type --delay 60 "$password"
xdotool key Tab space
sleep 0.5
shot_dialog login-dialog
xdotool key Return

answer=$(driver box)
[ -n "$answer" ] || fail "no balance box after the login"
sleep 0.5
shot_dialog balance-box
driver box ok >/dev/null
echo
echo "$answer" | tail -n +2
echo
case $answer in *"Баланс (рублей): 1234.56"*) ;; *) fail "the box does not show the account's balance" ;; esac
stored=$(tr -d '\r' <"$WORK/Tarvelon.ini" 2>/dev/null | grep "^username=")
[ "$stored" = "username=$contract" ] || fail "the ticked pair was not remembered in Tarvelon.ini"
echo "demo: remembered in Tarvelon.ini: $stored"

# Exit from the context menu.
xdotool mousemove "$x" "$y" click 3
driver menu-click 4
status=$(exit_status demo)
echo "demo: Tarvelon.exe ended with status $status"
[ "$status" = 0 ] || fail "Tarvelon.exe did not end with status 0 after Exit"
if [ -n "$refresh" ]; then
    cp "$shots"/tooltip.png "$shots"/login-dialog.png "$shots"/balance-box.png "$root/docs/screenshots/"
    echo "demo: docs/screenshots refreshed from the 32-bit road"
fi
