#include "status/address_probe.h"

#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>
#include <icmpapi.h>

#include <cstring>

namespace {
// Room for the record, the reply's options and an ICMP error message: 52 bytes
// for the 32-bit record, more for the larger 64-bit one.
const size_t reply_area_size = sizeof(ICMP_ECHO_REPLY) + reply_area_size_32 - echo_reply_record_size_32;

#if !defined(_WIN64)
static_assert(sizeof(ICMP_ECHO_REPLY) == echo_reply_record_size_32, "the 28-byte ICMP_ECHO_REPLY");
static_assert(reply_area_size == reply_area_size_32, "the 52-byte reply area");
#endif

uint32_t first_host_address(const char* host)
{
    const hostent* entry = gethostbyname(host);
    if (entry == nullptr || entry->h_length != 4 || entry->h_addr_list == nullptr
        || entry->h_addr_list[0] == nullptr) {
        return INADDR_NONE;
    }
    uint32_t address;
    memcpy(&address, entry->h_addr_list[0], 4);
    return address;
}

// The slot is read through the record's own options pointer; on the 32-bit
// program that is reply bytes 31 to 34.
uint32_t recorded_address(const uint8_t* area)
{
    ICMP_ECHO_REPLY reply;
    memcpy(&reply, area, sizeof reply);
    uintptr_t options = reinterpret_cast<uintptr_t>(reply.Options.OptionsData);
    uintptr_t start = reinterpret_cast<uintptr_t>(area);
    if (options < start) {
        return 0;
    }
    return slot_in_reply_area(area, reply_area_size, options - start);
}
}  // namespace

uint32_t resolve_host(const char* host)
{
    if (host == nullptr || host[0] == '\0') {
        return INADDR_NONE;
    }
    WSADATA data;
    if (WSAStartup(MAKEWORD(1, 1), &data) != 0) {
        return INADDR_NONE;
    }
    // 255.255.255.255 reads as INADDR_NONE too, so it goes to the name lookup.
    uint32_t address = inet_addr(host);
    if (address == INADDR_NONE) {
        address = first_host_address(host);
    }
    WSACleanup();
    return address;
}

uint32_t probe_external_address(const char* host)
{
    uint32_t target = resolve_host(host);
    if (target == INADDR_NONE) {
        return 0;
    }
    HANDLE icmp = IcmpCreateFile();
    if (icmp == INVALID_HANDLE_VALUE) {
        return 0;
    }
    uint8_t options[record_route_size];
    fill_record_route(options);
    IP_OPTION_INFORMATION request = {};
    request.Ttl = probe_ttl;
    request.OptionsSize = record_route_size;
    request.OptionsData = options;
    alignas(ICMP_ECHO_REPLY) uint8_t area[reply_area_size] = {};
    uint32_t result = 0;
    if (IcmpSendEcho(icmp, target, nullptr, 0, &request, area, sizeof area, probe_timeout_ms) != 0) {
        result = recorded_address(area);
    }
    IcmpCloseHandle(icmp);
    return result;
}
