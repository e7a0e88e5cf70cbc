#include "status/address_probe.h"

#include <arpa/inet.h>
#include <linux/icmp.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <ctime>

namespace {
// Other ICMP traffic of the machine reaches a raw socket too; this many
// foreign packets are read at most before the probe gives up.
const int max_packets = 4096;

uint32_t first_host_address(const char* host)
{
    addrinfo hints = {};
    hints.ai_family = AF_INET;
    addrinfo* found = nullptr;
    if (getaddrinfo(host, nullptr, &hints, &found) != 0 || found == nullptr) {
        return INADDR_NONE;
    }
    uint32_t address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
    freeaddrinfo(found);
    return address;
}

long long now_ms()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000LL + now.tv_nsec / 1000000;
}

// A raw ICMP socket that takes our own IP header (options that the kernel adds
// through IP_OPTIONS would get its own address recorded in the only slot) and
// passes up echo replies only.  -1 without the privilege for it (CAP_NET_RAW,
// which `setcap cap_net_raw+ep` grants to the program alone).
int open_probe_socket()
{
    int sock = socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (sock < 0) {
        return -1;
    }
    int on = 1;
    icmp_filter filter;
    filter.data = ~(1u << ICMP_ECHOREPLY);
    if (setsockopt(sock, IPPROTO_IP, IP_HDRINCL, &on, sizeof on) != 0
        || setsockopt(sock, SOL_RAW, ICMP_FILTER, &filter, sizeof filter) != 0) {
        close(sock);
        return -1;
    }
    return sock;
}

bool send_echo(int sock, uint32_t target, uint16_t identifier)
{
    uint8_t packet[echo_request_size];
    build_echo_request(packet, target, identifier);
    sockaddr_in to = {};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = target;
    return sendto(sock, packet, sizeof packet, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to)
        == static_cast<ssize_t>(sizeof packet);
}

// The recorded address of the first echo reply to `identifier` before the deadline; 0 for none.
uint32_t await_reply(int sock, uint16_t identifier)
{
    const long long deadline = now_ms() + probe_timeout_ms;
    uint8_t packet[1500];
    for (int i = 0; i < max_packets; ++i) {
        long long left = deadline - now_ms();
        pollfd ready = {sock, POLLIN, 0};
        if (left <= 0 || poll(&ready, 1, static_cast<int>(left)) <= 0) {
            return 0;
        }
        ssize_t size = recv(sock, packet, sizeof packet, MSG_DONTWAIT);
        uint32_t address = 0;
        if (size > 0 && read_echo_reply(packet, static_cast<size_t>(size), identifier, &address)) {
            return address;
        }
    }
    return 0;
}
}  // namespace

uint32_t resolve_host(const char* host)
{
    if (host == nullptr || host[0] == '\0') {
        return INADDR_NONE;
    }
    uint32_t address = inet_addr(host);
    return address != INADDR_NONE ? address : first_host_address(host);
}

uint32_t probe_external_address(const char* host)
{
    uint32_t target = resolve_host(host);
    if (target == INADDR_NONE) {
        return 0;
    }
    int sock = open_probe_socket();
    if (sock < 0) {
        return 0;
    }
    uint16_t identifier = static_cast<uint16_t>(getpid());
    uint32_t result = send_echo(sock, target, identifier) ? await_reply(sock, identifier) : 0;
    close(sock);
    return result;
}
