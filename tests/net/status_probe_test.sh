#!/bin/bash
# The Linux status summary and the Record Route probe end to end, in namespaces this script makes and removes:
#   client 10.0.0.2 --- 10.0.0.1 router 198.51.100.1 --- 198.51.100.2 server
set -u
[ "${TARVELON_TEST_NETNS:-}" = 1 ] && [ "$(id -u)" = 0 ] ||
    { echo "skipped: needs root inside tests/run-suite.sh's namespace (TARVELON_TEST_NETNS=1)"; exit 77; }
. "$TARVELON_SOURCE_DIR/tests/support/checks.sh"
for command in setcap setpriv strace; do
    command -v $command >/dev/null || { echo "skipped: $command is not installed"; exit 77; }
done
cli=${TARVELON_BUILD_DIR:?}/tarvelon

client=tv-client-$$
router=tv-router-$$
server=tv-server-$$
granted=$(mktemp -d)
trap 'for ns in $client $router $server; do ip netns del $ns 2>/dev/null; done; rm -rf "$granted"' EXIT

set -e
for ns in $client $router $server; do ip netns add $ns; done
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
shown_address() { in_client "$@" | head -1; }

# The statistics site's host names the server in a private /etc/hosts.
sed -n 's|^TARVELON_STATS_URL:STRING=https://|198.51.100.2 |p' "$TARVELON_BUILD_DIR/CMakeCache.txt" >"$granted/hosts"
check "tarvelon status shows the external address" "IP: 198.51.100.1" \
    "$(shown_address unshare --mount sh -c 'mount --bind "$0" /etc/hosts && exec "$1" status' "$granted/hosts" "$cli")"

# The one privilege that the README tells users to grant is enough for the probe, and every command gives
# it up before it reads what the network sends: each is held by strace at a call past that point, which
# strace notes, with the process id, before it holds the process there.
nobody="setpriv --reuid=65534 --regid=65534 --clear-groups --inh-caps=-all"
chmod 755 "$granted"
cp "$cli" "$granted/tarvelon"
setcap cap_net_raw+ep "$granted/tarvelon"
while IFS='|' read -r call command answer; do
    timeout 40 ip netns exec $client env ASAN_OPTIONS=detect_leaks=0 strace -f -qq -o "$granted/$call" \
        -e trace=$call -e inject=$call:delay_exit=3000000 $nobody "$granted/tarvelon" $command >"$granted/held" 2>&1 &
    for _ in $(seq 300); do grep -q DELAYED "$granted/$call" 2>/dev/null && break; sleep 0.1; done
    check "capabilities of the held $command (permitted, effective)" "0000000000000000 0000000000000000" \
        "$(awk '/^Cap(Prm|Eff)/ { print $2 }' "/proc/$(cut -d' ' -f1 "$granted/$call")/status" | xargs)"
    wait
    check "the held $command's answer" "$answer" "$(head -1 "$granted/held")"
done <<HELD
sendto|probe 198.51.100.2|198.51.100.1
write|status --no-probe|IP: 10.0.0.2
HELD

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
    check "forged replies not taken ($run)" 198.51.100.1 "$(in_client "$cli" probe 198.51.100.2 2>/dev/null)"
done
wait $forging
check "identifiers, sequences of two probes differ" "2 2" \
    "$(cut -d' ' -f1 "$granted/tags" | sort -u | wc -l) $(cut -d' ' -f2 "$granted/tags" | sort -u | wc -l)"

# The server now ignores echoes: a probe without an answer, or without the raw-socket privilege, fails.
for who in "" "$nobody"; do
    out=$(in_client $who "$cli" probe 198.51.100.2 2>/dev/null)
    check "probe without an answer${who:+ or privilege}: exit status 2, no output" "2 []" "$? [$out]"
done

# The counts shown are c0's: each lies between the kernel's before and after.
c0=/sys/class/net/c0/statistics
set -- $(in_client cat $c0/tx_bytes $c0/rx_bytes) \
    $(in_client "$cli" status --no-probe | sed -n 's/^\(Send\|Recv\): //p' | tr -d ' ') \
    $(in_client cat $c0/tx_bytes $c0/rx_bytes)
check "sent, received counts are c0's (before, shown, after: $*)" "yes yes" \
    "$([ $1 -le $3 ] && [ $3 -le $5 ] && echo yes) $([ $2 -le $4 ] && [ $4 -le $6 ] && echo yes)"

# Row choice over the kernel's flags: permanent addresses are primary and not dynamic.
in_client ip link add d0 type veth peer name d1
in_client ip addr add 10.200.0.1/24 dev d0
check "last of the permanent addresses" "IP: 10.200.0.1" "$(shown_address "$cli" status --no-probe)"
in_client ip addr add 10.9.0.1/24 dev d0 valid_lft 300 preferred_lft 300
check "primary dynamic address is preferred" "IP: 10.9.0.1" "$(shown_address "$cli" status --no-probe)"

[ $failures = 0 ]
