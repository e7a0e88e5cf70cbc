#!/bin/bash
# The Linux status summary and the Record Route probe end to end, in namespaces this script makes and removes:
#   client 10.0.0.2 --- 10.0.0.1 router 198.51.100.1 --- 198.51.100.2 server
set -u
[ "${TARVELON_TEST_NETNS:-}" = 1 ] && [ "$(id -u)" = 0 ] ||
    { echo "skipped: needs root inside tests/run-suite.sh's namespace (TARVELON_TEST_NETNS=1)"; exit 77; }
. "$TARVELON_SOURCE_DIR/tests/support/checks.sh"
for command in nft ping setpriv strace; do
    command -v $command >/dev/null || { echo "skipped: $command is not installed"; exit 77; }
done
cli=${TARVELON_BUILD_DIR:?}/tarvelon

client=tv-client-$$
router=tv-router-$$
server=tv-server-$$
granted=$(mktemp -d)
trap 'for ns in $client $router $server; do ip netns del $ns 2>/dev/null; done; rm -rf "$granted"' EXIT

set -e
for ns in $client $router $server; do
    ip netns add $ns
    ip -n $ns link set lo up
done
ip -n $client link add c0 type veth peer name r0 netns $router
ip -n $router link add r1 type veth peer name s0 netns $server
for link in "$client c0 10.0.0.2" "$router r0 10.0.0.1" "$router r1 198.51.100.1" "$server s0 198.51.100.2"; do
    set -- $link
    ip -n $1 addr add $3/24 dev $2
    ip -n $1 link set $2 up
done
ip -n $client route add default via 10.0.0.1
ip -n $server route add default via 198.51.100.1
ip netns exec $router sysctl -qw net.ipv4.ip_forward=1
set +e

in_client() { timeout 10 ip netns exec $client "$@"; }
# "Send: 1 234" of a status text -> 1234
count_of() { sed -n "s/^$1: //p" | tr -d ' '; }
# The probe's answer, 0.0.0.0 for none (tarvelon probe then fails, saying so).
probe() { "$@" 2>/dev/null || echo 0.0.0.0; }

# Replies to another program's echoes (a flood of pings whose own Record Route slot holds 10.0.0.2) are
# not taken for ours, nor do they crowd ours out: our echo leaves 100 ms late, as on a busy machine, and
# the flood outlasts the probe's 10 s, which a probe that queued every ICMP packet would spend reading.
timeout 20 ip netns exec $client ping -q -f -R -w 15 10.0.0.1 >/dev/null 2>&1 &
flood=$!
sleep 0.1
late_send="env ASAN_OPTIONS=detect_leaks=0 strace -f -qq -o /dev/null -e trace=sendto -e inject=sendto:delay_enter=100000"
check "probe through the router" 198.51.100.1 "$(probe in_client $late_send "$cli" probe 198.51.100.2)"
kill $flood
wait $flood

check "probe of a target on the same link" 10.0.0.1 "$(probe in_client "$cli" probe 10.0.0.1)"
check "empty host text" 0.0.0.0 "$(probe in_client "$cli" probe "")"
# The statistics site's host, which a private /etc/hosts makes name the server.
stats_host=$(sed -n 's|^TARVELON_STATS_URL:STRING=https://||p' "$TARVELON_BUILD_DIR/CMakeCache.txt")
hosts=$granted/hosts
echo "198.51.100.2 $stats_host" >"$hosts"
with_hosts() {
    in_client unshare --mount --propagation private \
        sh -c 'mount --bind "$0" /etc/hosts && exec "$@"' "$hosts" "$@"
}
check "tarvelon status shows the external address" "IP: 198.51.100.1" "$(with_hosts "$cli" status | head -1)"

# The server answers through a forger alone: to each echo replies from another address, with another
# sequence, with another identifier, and only then the true one; it notes each echo's identifier, sequence.
forger='import socket, struct, sys
def checksum(b):
    s = sum(struct.unpack("!4H", b))
    return ~((s & 0xFFFF) + (s >> 16)) & 0xFFFF
s = socket.socket(socket.AF_INET, socket.SOCK_RAW, socket.IPPROTO_ICMP)
s.setsockopt(socket.IPPROTO_IP, socket.IP_HDRINCL, 1)
s.settimeout(10)
open(sys.argv[1], "w").close()
for _ in range(2):
    p = s.recv(1500)
    while p[(p[0] & 15) * 4] != 8:
        p = s.recv(1500)
    h = (p[0] & 15) * 4
    i, q = struct.unpack("!HH", p[h + 4:h + 8])
    print(i, q, flush=True)
    for source, ident, seq, slot in [("198.51.100.9", i, q, "203.0.113.1"), ("198.51.100.2", i, q ^ 1, "203.0.113.2"),
                                     ("198.51.100.2", i ^ 1, q, "203.0.113.3"), ("198.51.100.2", i, q, None)]:
        options = bytearray(p[20:h])
        options[3:7] = socket.inet_aton(slot) if slot else options[3:7]
        echo = struct.pack("!BBHHH", 0, 0, 0, ident, seq)
        echo = echo[:2] + struct.pack("!H", checksum(echo)) + echo[4:]
        head = struct.pack("!BBHHHBBH4s4s", 0x40 | h // 4, 0, h + 8, 0, 0, 64, 1, 0, socket.inet_aton(source), p[12:16])
        s.sendto(head + bytes(options) + echo, (socket.inet_ntoa(p[12:16]), 0))'
ip netns exec $server sysctl -qw net.ipv4.icmp_echo_ignore_all=1
timeout 20 ip netns exec $server python3 -c "$forger" "$granted/forging" >"$granted/tags" &
forging=$!
for _ in $(seq 50); do [ -e "$granted/forging" ] && break; sleep 0.1; done
for run in 1 2; do
    check "forged replies not taken ($run)" 198.51.100.1 "$(probe in_client "$cli" probe 198.51.100.2)"
done
wait $forging
ip netns exec $server sysctl -qw net.ipv4.icmp_echo_ignore_all=0
check "identifiers, sequences of two probes differ" "2 2" \
    "$(cut -d' ' -f1 "$granted/tags" | sort -u | wc -l) $(cut -d' ' -f2 "$granted/tags" | sort -u | wc -l)"

nobody="setpriv --reuid=65534 --regid=65534 --clear-groups --inh-caps=-all"
check "no raw-socket privilege" 0.0.0.0 "$(probe in_client $nobody "$cli" probe 198.51.100.2)"
# The one privilege that the README tells users to grant is enough for the probe, and every command gives
# it up before it reads what the network sends: each is held by strace at a call past that point.
if command -v setcap >/dev/null; then
    chmod 755 "$granted"
    cp "$cli" "$granted/tarvelon"
    setcap cap_net_raw+ep "$granted/tarvelon"
    while IFS='|' read -r call command answer; do
        # strace notes the call, with the process id, before it holds the process there.
        timeout 40 ip netns exec $client env ASAN_OPTIONS=detect_leaks=0 strace -f -qq -o "$granted/trace" \
            -e trace=$call -e inject=$call:delay_exit=3000000 $nobody "$granted/tarvelon" $command >"$granted/held" 2>&1 &
        held=$!
        for _ in $(seq 300); do grep -q DELAYED "$granted/trace" 2>/dev/null && break; sleep 0.1; done
        check "capabilities of the held $command (permitted, effective)" "0000000000000000 0000000000000000" \
            "$(awk '/^Cap(Prm|Eff)/ { print $2 }' "/proc/$(cut -d' ' -f1 "$granted/trace")/status" | xargs)"
        wait $held
        check "the held $command's answer" "$answer" "$(head -1 "$granted/held")"
        rm "$granted/trace"
    done <<HELD
sendto|probe 198.51.100.2|198.51.100.1
write|status --no-probe|IP: 10.0.0.2
HELD
fi

# A router that drops every packet with IP options.
ip netns exec $router nft 'add table ip strip; add chain ip strip forward { type filter hook forward priority 0; };
    add rule ip strip forward ip hdrlength != 5 drop'
out=$(in_client "$cli" probe 198.51.100.2 2>/dev/null)
check "probe without an answer: exit status 2, no output" "2 []" "$? [$out]"

c0=/sys/class/net/c0/statistics
before=$(in_client cat $c0/tx_bytes $c0/rx_bytes)
status=$(in_client "$cli" status --no-probe)
after=$(in_client cat $c0/tx_bytes $c0/rx_bytes)
shown="$(count_of Send <<<"$status") $(count_of Recv <<<"$status")"
between() { [ "$1" -le "$2" ] && [ "$2" -le "$3" ] && echo yes || echo no; }
set -- $before $shown $after
check "sent, received counts are c0's (before, shown, after: $*)" "yes yes" "$(between $1 $3 $5) $(between $2 $4 $6)"

# Row choice over the kernel's flags: permanent addresses are primary and not dynamic.
in_client ip link add d0 type veth peer name d1
in_client ip addr add 10.200.0.1/24 dev d0
check "last of the permanent addresses" "IP: 10.200.0.1" "$(in_client "$cli" status --no-probe | head -1)"
in_client ip addr add 10.0.0.200/24 dev c0 valid_lft 300 preferred_lft 300
check "secondary dynamic address does not stop" "IP: 10.200.0.1" "$(in_client "$cli" status --no-probe | head -1)"
in_client ip addr add 10.9.0.1/24 dev d0 valid_lft 300 preferred_lft 300
check "primary dynamic address is preferred" "IP: 10.9.0.1" "$(in_client "$cli" status --no-probe | head -1)"

[ $failures = 0 ]
