#!/bin/bash
# The Balance command from the tray against the billing simulator.
set -u
[ "${TARVELON_TEST_NETNS:-}" = 1 ] || { echo "skipped: needs the test namespace (tests/run-suite.sh)"; exit 77; }
[ -n "${DISPLAY:-}" ] || { echo "skipped: no X display"; exit 77; }
BUILD=${TARVELON_BUILD_DIR:?}
SOURCE=${TARVELON_SOURCE_DIR:?}
WORK=$(mktemp -d "$BUILD/shell_balance_test.XXXXXX")
. "$(dirname "$0")/../../tools/wine/shell_lib.sh"
SIM=$SOURCE/tools/billing_sim/sim.sh
trap 'close_copies; "$SIM" stop "$WORK/sim"; rm -rf "$WORK"
      sysctl -qw net.ipv4.icmp_echo_ignore_all=0; ip link del tv-home0' EXIT

contract=1234567
password=qwerty12345
pass_hash='ThekSOBDIGgBuV3jF%2BB8g5dwyLg%3D'  # printf %s qwerty12345 | openssl dgst -sha1 -binary | base64, encoded
"$SIM" start "$WORK/sim" --address 127.0.0.1 --account "$contract:$pass_hash" \
    --balance 1234.56 --balance-info 31 || exit 1
requests() { grep -c '"event": *"request"' "$WORK/sim/requests.log"; }
box_text="Tarvelon v2.6
Баланс (рублей): 1234.56
Дней абонентской платы (примерно): 31"

# The probe of the statistics host (127.0.0.1) through the real IcmpSendEcho: a raw socket answers for the
# kernel with the Record Route slot filled as a router would; behind a home address the tooltip shows it.
ip link add tv-home0 type veth peer name tv-home1
ip address add 192.168.7.2/24 dev tv-home0
ip link set tv-home0 up && ip link set tv-home1 up
sysctl -qw net.ipv4.icmp_echo_ignore_all=1
python3 - "$WORK/echo-ready" <<'EOF' &
import socket, struct, sys
raw = socket.socket(socket.AF_INET, socket.SOCK_RAW, socket.IPPROTO_ICMP)
raw.setsockopt(socket.IPPROTO_IP, socket.IP_HDRINCL, 1)
raw.settimeout(300)
open(sys.argv[1], 'w').close()
for _ in range(20):
    packet, (source, _) = raw.recvfrom(1500)
    echo = packet[(packet[0] & 15) * 4:]
    if echo[0] == 8:  # the reply's checksum: the request's, less the type's 8
        check = struct.unpack('!H', echo[2:4])[0] + 0x800
        reply = b'\0\0' + struct.pack('!H', (check & 0xFFFF) + (check >> 16)) + echo[4:]
        route = bytes([7, 7, 8, 198, 51, 100, 1, 0])
        header = struct.pack('!BBHIBBH4s4s', 0x47, 0, 28 + len(reply), 0, 64, 1, 0, packet[16:20], packet[12:16])
        raw.sendto(header + route + reply, (source, 0))
EOF
for _ in $(seq 100); do [ -e "$WORK/echo-ready" ] && break; sleep 0.1; done

start_copy first
driver pid >/dev/null
driver icons 1 >/dev/null
check "tooltip: the recorded address" "$(driver tip | head -n1)" "IP: 198.51.100.1"

check "double-click answer" "$(driver callback 5000 0x203)" 0
sleep 2
check "login dialog open" "$(driver popups)" "dialogs=1 menus=0"
check "busy while the dialog is open" "$(driver state)" "busy=1 visible=0 title=Tarvelon v2.6"
driver callback 5000 0x203 >/dev/null
driver command 102
sleep 1
check "no second dialog" "$(driver popups)" "dialogs=1 menus=0"
check "no request before OK" "$(requests)" 0

driver login $contract $password ok
check "balance box" "$(driver box)" "$box_text"
driver callback 5000 0x203 >/dev/null
sleep 1
check "no second box or query" "$(driver popups) $(requests)" "dialogs=1 menus=0 2"
driver box ok >/dev/null
sleep 1
check "after the command: hidden, not busy" "$(driver state)" "busy=0 visible=0 title=Tarvelon v2.6"
check "pair stored" "$(grep -c -e "^username=$contract" -e "^passhash=$pass_hash" "$WORK/Tarvelon.ini")" 2

# Command 102 with 1 in the high word is the menu item: the stored pair, no dialog.
driver command 0x10066
check "high word ignored" "$(driver box ok)" "$box_text"
check "two more requests" "$(requests)" 4

# Exit while the balance box is open: icon deleted, exit 0, settings untouched.
cp "$WORK/Tarvelon.ini" "$WORK/before.ini"
driver command 102
driver box >/dev/null
driver command 100
check "exit status, Exit during the command" "$(exit_status first)" 0
check "no icon left" "$(driver icons 0)" 0
check "settings unchanged" "$(cmp -s "$WORK/Tarvelon.ini" "$WORK/before.ini" && echo same)" same

# A new copy starting while the login dialog is filled in but not confirmed.
rm -f "$WORK/Tarvelon.ini"
start_copy third
third=$(driver pid >/dev/null && driver hwnd)
driver icons 1 >/dev/null
driver callback 5000 0x203 >/dev/null
driver login $contract $password
start_copy fourth
check "one main window at a time" "$(driver watch "$third")" 1
check "exit status, new copy during the dialog" "$(exit_status third)" 0
check "nothing stored" "$(test -e "$WORK/Tarvelon.ini" && echo written || echo none)" none
check "no further request" "$(requests)" 6
check "one icon, the new copy's" "$(driver icons 1)" 1
driver command 100
check "exit status of the new copy" "$(exit_status fourth)" 0

[ "$failures" = 0 ]
