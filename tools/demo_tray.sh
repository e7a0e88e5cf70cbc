#!/bin/bash
# tarvelon-tray end to end in a real panel: Debian's xfce4-panel, whose system tray
# plugin hosts StatusNotifierItems, with Xfce's window manager on a virtual X display
# and a session bus of their own; the release build with the test hosts against the billing simulator with a
# demo account, all inside a private network namespace where only the test CA is
# trusted.  The user's road: the icon in the panel, point at it (tooltip), click it,
# type the contract number and password, tick "remember", read the balance box.
#   sudo tools/demo_tray.sh [--refresh-screenshots]
#     --refresh-screenshots  also copy the pictures to docs/screenshots/tray-*.png
# Installs what is missing, builds build/linux-check, saves build/demo/tray/
# screenshots/{panel,tooltip,login-dialog,balance-box}.png, each cropped to what
# the user looks at.  Exit status 0 when the road went as a user expects it;
# otherwise 1, with the reason.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/tools/demo_lib.sh"
build=$root/build/linux-check
work=$root/build/demo/tray
contract=1234567
password=demo2026

fail() { echo "demo_tray: FAILED: $*" >&2; exit 1; }

refresh=
for arg in "$@"; do
    case $arg in
    --refresh-screenshots) refresh=1 ;;
    *) fail "unknown argument $arg (usage: tools/demo_tray.sh [--refresh-screenshots])" ;;
    esac
done

if [ "${TARVELON_DEMO_NETNS:-}" != 1 ]; then
    [ "$(id -u)" = 0 ] || fail "run as root (apt, network namespace)"
    demo_install demo_tray build-essential cmake ninja-build pkg-config gettext libcurl4-openssl-dev libssl-dev \
        libmnl-dev libcap-dev libgtk-3-dev python3 openssl iproute2 util-linux locales xvfb xdotool x11-utils \
        imagemagick dbus-daemon xfce4-panel xfwm4
    demo_locale
    echo "demo_tray: building $build"
    cmake --preset linux-check >/dev/null
    cmake --build --preset linux-check --target tarvelon-tray tarvelon_data >/dev/null
    "$root/tools/billing_sim/make_certs.sh" "$root/build/testca" >/dev/null
    exec unshare --net --mount --propagation private env TARVELON_DEMO_NETNS=1 "$0" "$@"
fi

demo_trust_test_ca
demo_home_network

rm -rf "$work"
shots=$work/screenshots
mkdir -p "$shots" "$work/home" "$work/runtime"
chmod 700 "$work/runtime"
sim=$root/tools/billing_sim/sim.sh
pids=()
cleanup() {
    local status=$?
    set +e
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
    "$sim" stop "$work/sim"
    exit $status
}
trap cleanup EXIT

display=
for n in $(seq 80 99); do [ -e "/tmp/.X11-unix/X$n" ] || { display=:$n; break; }; done
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done
# A plain desktop colour instead of the X server's stipple.
timeout 10 display -display "$display" -window root -size 1024x768 xc:'#5a7a96' || true
export DISPLAY=$display HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_RUNTIME_DIR=$work/runtime
export LC_ALL=ru_RU.UTF-8 NO_AT_BRIDGE=1
bus=$(dbus-daemon --session --fork --print-address=1 --print-pid=1 --nopidfile) || fail "no session bus"
export DBUS_SESSION_BUS_ADDRESS=$(head -n1 <<<"$bus")
pids+=($(tail -n1 <<<"$bus"))

# One panel along the bottom: a spacer, the system tray (the StatusNotifier host), a clock.
channel=$XDG_CONFIG_HOME/xfce4/xfconf/xfce-perchannel-xml
mkdir -p "$channel"
cat >"$channel/xfce4-panel.xml" <<'EOF'
<?xml version="1.0" encoding="UTF-8"?>
<channel name="xfce4-panel" version="1.0">
  <property name="configver" type="int" value="2"/>
  <property name="panels" type="array">
    <value type="int" value="1"/>
    <property name="panel-1" type="empty">
      <property name="position" type="string" value="p=8;x=512;y=753"/>
      <property name="position-locked" type="bool" value="true"/>
      <property name="length" type="uint" value="100"/>
      <property name="size" type="uint" value="30"/>
      <property name="icon-size" type="uint" value="22"/>
      <property name="plugin-ids" type="array">
        <value type="int" value="1"/>
        <value type="int" value="2"/>
        <value type="int" value="3"/>
      </property>
    </property>
  </property>
  <property name="plugins" type="empty">
    <property name="plugin-1" type="string" value="separator">
      <property name="expand" type="bool" value="true"/>
      <property name="style" type="uint" value="0"/>
    </property>
    <property name="plugin-2" type="string" value="systray"/>
    <property name="plugin-3" type="string" value="clock"/>
  </property>
</channel>
EOF
xfwm4 --compositor=off >"$work/xfwm4.log" 2>&1 &
pids+=($!)
xfce4-panel >"$work/panel.log" 2>&1 &
pids+=($!)
watcher() {
    dbus-send --session --print-reply --dest=org.kde.StatusNotifierWatcher /StatusNotifierWatcher \
        org.freedesktop.DBus.Properties.Get string:org.kde.StatusNotifierWatcher \
        string:RegisteredStatusNotifierItems 2>/dev/null
}
for _ in $(seq 100); do watcher >/dev/null && break; sleep 0.2; done
watcher >/dev/null || fail "the panel's system tray offers no StatusNotifierWatcher (see $work/panel.log)"
echo "demo_tray: $(xfce4-panel --version | head -n1) with its system tray on $display"

pass_hash=$(printf %s "$password" | openssl dgst -sha1 -binary | base64 | sed 's/+/%2B/g; s#/#%2F#g; s/=/%3D/g')
"$sim" start "$work/sim" --address 127.0.0.1 --account "$contract:$pass_hash" --balance 1234.56 --balance-info 31 ||
    fail "the billing simulator did not start"

shot() {  # name WIDTHxHEIGHT+X+Y
    import -window root "$work/screen.png"
    convert "$work/screen.png" -crop "$2" +repage "$shots/$1.png"
    echo "demo_tray: saved ${shots#$root/}/$1.png"
}
# The bounding box (WxH+X+Y) of the icon's gold in the bottom 40 rows, or nothing.
find_icon() {
    import -window root "$work/screen.png"
    convert "$work/screen.png" -crop 1024x40+0+728 +repage -fill black -fuzz 8% +opaque '#ffff00' \
        -format '%@' info: 2>/dev/null | grep -v '^0x0' | sed 's/+\([0-9]*\)+\([0-9]*\)$/ \1 \2/'
}
# A window in its frame (the client's offset in it taken as the frame's border all
# round, the title above), with a margin of desktop around it.
shot_window() {  # name window
    local x y w h border title
    read -r x y w h border title <<<"$(xwininfo -id "$2" | awk '/Absolute upper-left X/ {x = $NF}
        /Absolute upper-left Y/ {y = $NF} /Relative upper-left X/ {b = $NF} /Relative upper-left Y/ {t = $NF}
        /Width:/ {w = $NF} /Height:/ {h = $NF} END {print x, y, w, h, b, t}')"
    shot "$1" "$((w + 2 * border + 32))x$((h + title + border + 32))+$((x - border - 16))+$((y - title - 16))"
}
# A window of the program that shows, by its name.
program_window() {  # name
    xdotool search --onlyvisible --pid "$tray" --name "$1" 2>/dev/null | head -n1
}

echo "demo_tray: starting $build/tarvelon-tray"
"$build/tarvelon-tray" >"$work/tray.log" 2>&1 &
tray=$!
pids+=($tray)
for _ in $(seq 50); do watcher | grep -q 'string ":' && [ -n "$(find_icon)" ] && break; sleep 0.2; done
watcher | grep -q 'string ":' || fail "the item was not registered with the panel's watcher"
box=$(find_icon)
[ -n "$box" ] || fail "no icon in the panel's tray"
read -r size x y <<<"$box"
x=$((x + ${size%x*} / 2))
y=$((728 + y + ${size#*x} / 2))
echo "demo_tray: the icon is at $x,$y in the panel"
shot panel "$((1024 - x + 200))x40+$((x - 200))+728"

# Pointing at the icon shows the tooltip (the title, then the address and counters).
for _ in 1 2 3; do (echo >/dev/udp/192.168.1.1/9) 2>/dev/null || true; sleep 0.3; done
above="$((1024 - x + 150))x150+$((x - 150))+618"
shot before-tooltip "$above"
xdotool mousemove $((x - 30)) $((y - 30)) sleep 0.3 mousemove "$x" "$y"
sleep 3
shot tooltip "$above"
changed=$(compare -metric AE "$shots/before-tooltip.png" "$shots/tooltip.png" null: 2>&1 || true)
[ "${changed%% *}" -gt 2000 ] || fail "no tooltip above the icon"

# A click, then type, tick, confirm.
xdotool click 1
title="Просмотр баланса"
for _ in $(seq 50); do [ -n "$(program_window "$title")" ] && break; sleep 0.2; done
dialog=$(program_window "$title")
[ -n "$dialog" ] || fail "a click on the icon opened no login dialog"
xdotool windowfocus --sync "$dialog" 2>/dev/null || true
sleep 0.5
xdotool type --delay 60 "$contract"
xdotool key Tab
xdotool type --delay 60 "$password"
xdotool key Tab space
sleep 0.5
shot_window login-dialog "$dialog"
xdotool key Return

for _ in $(seq 50); do
    balance=$(xdotool search --onlyvisible --pid "$tray" 2>/dev/null | grep -vx "$dialog" | head -n1 || true)
    [ -n "$balance" ] && break
    sleep 0.2
done
[ -n "$balance" ] || fail "no balance box after the login"
sleep 0.5
shot_window balance-box "$balance"
grep -q "getDynamicInfo" "$work/sim/requests.log" ||
    fail "the simulator was not asked for the balance"
xdotool windowfocus --sync "$balance" 2>/dev/null || true
xdotool key Return
for _ in $(seq 25); do xdotool search --onlyvisible --pid "$tray" >/dev/null 2>&1 || break; sleep 0.2; done
xdotool search --onlyvisible --pid "$tray" >/dev/null 2>&1 && xwininfo -root -tree | grep -i tarvelon >&2
stored=$(tr -d "\r" <"$XDG_CONFIG_HOME/tarvelon/Tarvelon.ini" 2>/dev/null | grep "^username=" || true)
[ "$stored" = "username=$contract" ] || fail "the ticked pair was not remembered in Tarvelon.ini"
echo "demo_tray: remembered in Tarvelon.ini: $stored"
if [ -n "$refresh" ]; then
    for name in panel tooltip login-dialog balance-box; do cp "$shots/$name.png" "$root/docs/screenshots/tray-$name.png"; done
    echo "demo_tray: docs/screenshots/tray-*.png refreshed"
fi
