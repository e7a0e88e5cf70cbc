#include "status/address_probe.h"

#include <arpa/inet.h>
#include <linux/filter.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <ctime>

namespace {
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

// Every ICMP packet of the machine reaches a raw socket: a ping flood fills its
// queue within milliseconds and the kernel then drops our reply.  The filter
// keeps only echo replies to `identifier`; what came before it is discarded.
bool keep_own_replies(int sock, uint16_t identifier)
{
    sock_filter code[] = {
        BPF_STMT(BPF_LDX | BPF_B | BPF_MSH, 0),           // x = IP header length
        BPF_STMT(BPF_LD | BPF_B | BPF_IND, 0),            // ICMP type
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, 0, 0, 3),     // echo reply
        BPF_STMT(BPF_LD | BPF_H | BPF_IND, 4),            // identifier
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, identifier, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, 0xFFFF),
        BPF_STMT(BPF_RET | BPF_K, 0),
    };
    sock_fprog program = {sizeof code / sizeof code[0], code};
    if (setsockopt(sock, SOL_SOCKET, SO_ATTACH_FILTER, &program, sizeof program) != 0) {
        return false;
    }
    uint8_t packet[1500];
    while (recv(sock, packet, sizeof packet, MSG_DONTWAIT) >= 0) {
    }
    return true;
}

// A raw ICMP socket that takes our own IP header (options that the kernel adds
// through IP_OPTIONS would get its own address recorded in the only slot) and
// passes up our echo replies only.  -1 without the privilege for it
// (CAP_NET_RAW, which `setcap cap_net_raw+ep` grants to the program alone).
int open_probe_socket(uint16_t identifier)
{
    int sock = socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (sock < 0) {
        return -1;
    }
    int on = 1;
    if (setsockopt(sock, IPPROTO_IP, IP_HDRINCL, &on, sizeof on) != 0 || !keep_own_replies(sock, identifier)) {
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
    for (;;) {
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
    uint16_t identifier = static_cast<uint16_t>(getpid());
    int sock = open_probe_socket(identifier);
    if (sock < 0) {
        return 0;
    }
    uint32_t result = send_echo(sock, target, identifier) ? await_reply(sock, identifier) : 0;
    close(sock);
    return result;
}
