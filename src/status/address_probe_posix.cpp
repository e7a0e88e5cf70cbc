#include "status/address_probe.h"

#include <arpa/inet.h>
#include <linux/filter.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/capability.h>
#include <sys/random.h>
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

// Unpredictable, so that another pinger's replies, or forged ones, do not match.
struct EchoTag {
    uint16_t identifier;
    uint16_t sequence;
};

// Every ICMP packet of the machine reaches a raw socket: a ping flood fills its
// queue within milliseconds and the kernel then drops our reply.  The filter
// keeps only the echo reply from `target` with our identifier and sequence;
// what came before it is discarded.
bool keep_own_replies(int sock, uint32_t target, EchoTag tag)
{
    sock_filter code[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, 12),           // source address
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, ntohl(target), 0, 8),
        BPF_STMT(BPF_LDX | BPF_B | BPF_MSH, 0),           // x = IP header length
        BPF_STMT(BPF_LD | BPF_B | BPF_IND, 0),            // ICMP type
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, 0, 0, 5),     // echo reply
        BPF_STMT(BPF_LD | BPF_H | BPF_IND, 4),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, tag.identifier, 0, 3),
        BPF_STMT(BPF_LD | BPF_H | BPF_IND, 6),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, tag.sequence, 0, 1),
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

// The raw socket takes our own IP header: options that the kernel adds through
// IP_OPTIONS would get its own address recorded in the only slot.
bool prepare_probe_socket(int sock, uint32_t target, EchoTag tag)
{
    int on = 1;
    return setsockopt(sock, IPPROTO_IP, IP_HDRINCL, &on, sizeof on) == 0 && keep_own_replies(sock, target, tag);
}

bool send_echo(int sock, uint32_t target, EchoTag tag)
{
    uint8_t packet[echo_request_size];
    build_echo_request(packet, target, tag.identifier, tag.sequence);
    sockaddr_in to = {};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = target;
    return sendto(sock, packet, sizeof packet, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to)
        == static_cast<ssize_t>(sizeof packet);
}

// The recorded address of the first echo reply that the filter let through before the deadline; 0 for none.
uint32_t await_reply(int sock)
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
        if (size > 0 && read_echo_reply(packet, static_cast<size_t>(size), &address)) {
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

// A raw socket needs CAP_NET_RAW, which `setcap cap_net_raw+ep` grants to the
// program alone; resolving the host and reading replies run without it.
uint32_t probe_external_address(const char* host)
{
    int sock = socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
    drop_capabilities();
    uint32_t target = resolve_host(host);
    EchoTag tag;
    uint32_t result = 0;
    if (sock >= 0 && target != INADDR_NONE && getrandom(&tag, sizeof tag, 0) == sizeof tag &&
        prepare_probe_socket(sock, target, tag) && send_echo(sock, target, tag)) {
        result = await_reply(sock);
    }
    if (sock >= 0) {
        close(sock);
    }
    return result;
}

void drop_capabilities()
{
    cap_t none = cap_init();
    if (none != nullptr) {
        cap_set_proc(none);
        cap_free(none);
    }
}
