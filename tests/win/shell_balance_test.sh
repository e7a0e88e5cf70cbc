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
check "tooltip: the recorded address" "IP: 198.51.100.1" "$(driver tip | head -n1)"

check "double-click answer" 0 "$(driver callback 5000 0x203)"
sleep 2
check "login dialog open" "dialogs=1 menus=0" "$(driver popups)"
check "busy while the dialog is open" "busy=1 visible=0 title=Tarvelon v2.6" "$(driver state)"
driver callback 5000 0x203 >/dev/null
driver command 102
sleep 1
check "no second dialog" "dialogs=1 menus=0" "$(driver popups)"
check "no request before OK" 0 "$(requests)"

driver login $contract $password ok
check "balance box" "$box_text" "$(driver box)"
driver callback 5000 0x203 >/dev/null
sleep 1
check "no second box or query" "dialogs=1 menus=0 2" "$(driver popups) $(requests)"
driver box ok >/dev/null
sleep 1
check "after the command: hidden, not busy" "busy=0 visible=0 title=Tarvelon v2.6" "$(driver state)"
check "pair stored" 2 "$(grep -c -e "^username=$contract" -e "^passhash=$pass_hash" "$WORK/Tarvelon.ini")"

# Command 102 with 1 in the high word is the menu item: the stored pair, no dialog.
driver command 0x10066
check "high word ignored" "$box_text" "$(driver box ok)"
check "two more requests" 4 "$(requests)"

# Exit while the balance box is open: icon deleted, exit 0, settings untouched.
cp "$WORK/Tarvelon.ini" "$WORK/before.ini"
driver command 102
driver box >/dev/null
driver command 100
check "exit status, Exit during the command" 0 "$(exit_status first)"
check "no icon left" 0 "$(driver icons 0)"
check "settings unchanged" same "$(cmp -s "$WORK/Tarvelon.ini" "$WORK/before.ini" && echo same)"

# A new copy starting while the login dialog is filled in but not confirmed.
rm -f "$WORK/Tarvelon.ini"
start_copy third
third=$(driver pid >/dev/null && driver hwnd)
driver icons 1 >/dev/null
driver callback 5000 0x203 >/dev/null
driver login $contract $password
start_copy fourth
check "one main window at a time" 1 "$(driver watch "$third")"
check "exit status, new copy during the dialog" 0 "$(exit_status third)"
check "nothing stored" none "$(test -e "$WORK/Tarvelon.ini" && echo written || echo none)"
check "no further request" 6 "$(requests)"
check "one icon, the new copy's" 1 "$(driver icons 1)"
driver command 100
check "exit status of the new copy" 0 "$(exit_status fourth)"

[ "$failures" = 0 ]
