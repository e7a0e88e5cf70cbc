// The probe's use of WS2_32 and ICMP.DLL, watched through this program's own
// import slots: the code under test calls the real entry points through them.
#include "status/address_probe.h"

#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>
#include <icmpapi.h>

#include <gtest/gtest.h>

#include <cstring>
#include <tuple>
#include <vector>

// The slots' link names: stdcall decoration (argument bytes) on the 32-bit ABI.
#if defined(_WIN64)
#define IMPORT_SLOT(name, bytes) __asm__("__imp_" #name)
#else
#define IMPORT_SLOT(name, bytes) __asm__("__imp__" #name "@" #bytes)
#endif
extern decltype(&gethostbyname) __imp_gethostbyname IMPORT_SLOT(gethostbyname, 4);
extern decltype(&WSAStartup) __imp_WSAStartup IMPORT_SLOT(WSAStartup, 8);
extern decltype(&WSACleanup) __imp_WSACleanup IMPORT_SLOT(WSACleanup, 0);
extern decltype(&IcmpCreateFile) __imp_IcmpCreateFile IMPORT_SLOT(IcmpCreateFile, 0);
extern decltype(&IcmpSendEcho) __imp_IcmpSendEcho IMPORT_SLOT(IcmpSendEcho, 32);
extern decltype(&IcmpCloseHandle) __imp_IcmpCloseHandle IMPORT_SLOT(IcmpCloseHandle, 4);

namespace {
template <typename Function>
Function swap_import(Function* slot, Function replacement)
{
    DWORD protection;
    VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &protection);
    Function previous = *slot;
    *slot = replacement;
    VirtualProtect(slot, sizeof *slot, protection, &protection);
    return previous;
}

// What the hooks saw, and how the fake lookup and echo answer.
struct Calls {
    int lookups, startups, cleanups, opened, closed, echoes;
    WORD version;
    bool entry_without_address;
    bool answer_echo;  // the fake echo writes a router's reply; otherwise the real one runs
    IPAddr destination;
    WORD request_size;
    IP_OPTION_INFORMATION options;
    uint8_t options_data[8];
    DWORD reply_size, timeout;
};
Calls calls;

decltype(&WSAStartup) real_startup;
decltype(&WSACleanup) real_cleanup;
decltype(&IcmpCreateFile) real_create;
decltype(&IcmpSendEcho) real_send;
decltype(&IcmpCloseHandle) real_close;
decltype(&gethostbyname) real_lookup;

hostent* WSAAPI fake_lookup(const char*)
{
    static char address[4] = {static_cast<char>(192), 0, 2, 7};
    static char* with_address[] = {address, nullptr};
    static char* without_address[] = {nullptr};
    static hostent entry;
    ++calls.lookups;
    entry.h_addrtype = AF_INET;
    entry.h_length = 4;
    entry.h_addr_list = calls.entry_without_address ? without_address : with_address;
    return &entry;
}

hostent* WSAAPI no_such_host(const char*) { return ++calls.lookups, nullptr; }
int WSAAPI counting_startup(WORD version, LPWSADATA data)
{
    ++calls.startups;
    calls.version = version;
    return real_startup(version, data);
}
int WSAAPI counting_cleanup() { return ++calls.cleanups, real_cleanup(); }
HANDLE WINAPI counting_create() { return ++calls.opened, real_create(); }
BOOL WINAPI counting_close(HANDLE handle) { return ++calls.closed, real_close(handle); }

DWORD WINAPI recording_send(HANDLE handle, IPAddr destination, LPVOID data, WORD size,
                            PIP_OPTION_INFORMATION options, LPVOID reply, DWORD reply_size, DWORD timeout)
{
    ++calls.echoes;
    calls.destination = destination;
    calls.request_size = size;
    calls.options = *options;
    memcpy(calls.options_data, options->OptionsData, sizeof calls.options_data);
    calls.reply_size = reply_size;
    calls.timeout = timeout;
    if (!calls.answer_echo) {
        return real_send(handle, destination, data, size, options, reply, reply_size, timeout);
    }
    ICMP_ECHO_REPLY* record = static_cast<ICMP_ECHO_REPLY*>(reply);
    uint8_t* behind = reinterpret_cast<uint8_t*>(record + 1);
    const uint8_t route[] = {7, 7, 8, 198, 51, 100, 1};
    memcpy(behind, route, sizeof route);
    record->Address = destination;
    record->Options.OptionsSize = sizeof route;
    record->Options.OptionsData = behind;
    return 1;
}

class AddressProbe : public ::testing::Test {
protected:
    void SetUp() override
    {
        calls = Calls();
        real_lookup = swap_import(&__imp_gethostbyname, fake_lookup);
        real_startup = swap_import(&__imp_WSAStartup, counting_startup);
        real_cleanup = swap_import(&__imp_WSACleanup, counting_cleanup);
        real_create = swap_import(&__imp_IcmpCreateFile, counting_create);
        real_send = swap_import(&__imp_IcmpSendEcho, recording_send);
        real_close = swap_import(&__imp_IcmpCloseHandle, counting_close);
    }
    void TearDown() override
    {
        swap_import(&__imp_gethostbyname, real_lookup);
        swap_import(&__imp_WSAStartup, real_startup);
        swap_import(&__imp_WSACleanup, real_cleanup);
        swap_import(&__imp_IcmpCreateFile, real_create);
        swap_import(&__imp_IcmpSendEcho, real_send);
        swap_import(&__imp_IcmpCloseHandle, real_close);
    }
};
}  // namespace

TEST_F(AddressProbe, DottedHostsNeedNoLookupAllOnesAndNamesDo)
{
    EXPECT_EQ(resolve_host("198.51.100.2"), inet_addr("198.51.100.2"));
    EXPECT_EQ(calls.lookups, 0);
    EXPECT_EQ(calls.version, 0x0101);
    EXPECT_EQ(resolve_host("255.255.255.255"), inet_addr("192.0.2.7"));
    EXPECT_EQ(resolve_host("stat.example.net"), inet_addr("192.0.2.7"));
    EXPECT_EQ(calls.lookups, 2);
    calls.entry_without_address = true;
    EXPECT_EQ(resolve_host("stat.example.net"), INADDR_NONE);
    EXPECT_EQ(resolve_host(""), INADDR_NONE);
    EXPECT_EQ(resolve_host(nullptr), INADDR_NONE);
    EXPECT_EQ(calls.lookups, 3);
    EXPECT_EQ(calls.startups, 4);
    EXPECT_EQ(calls.cleanups, 4);
}

TEST_F(AddressProbe, UnresolvableHostOpensNoIcmpHandle)
{
    swap_import(&__imp_gethostbyname, no_such_host);
    EXPECT_EQ(probe_external_address("no-such-host.example.net"), 0u);
    EXPECT_EQ(calls.lookups, 1);
    EXPECT_EQ(calls.opened + calls.echoes, 0);
    EXPECT_EQ(calls.cleanups, 1);
}

TEST_F(AddressProbe, OneEchoWithRecordRouteAndTheRecordedAddress)
{
    calls.answer_echo = true;
    EXPECT_EQ(probe_external_address("198.51.100.2"), inet_addr("198.51.100.1"));
    EXPECT_EQ(calls.echoes, 1);
    EXPECT_EQ(calls.destination, inet_addr("198.51.100.2"));
    EXPECT_EQ(calls.request_size, 0);
    EXPECT_EQ(calls.options.Ttl, 128);
    EXPECT_EQ(calls.options.OptionsSize, 8);
    EXPECT_EQ(std::vector<uint8_t>(calls.options_data, calls.options_data + 8),
              (std::vector<uint8_t>{7, 7, 4, 0, 0, 0, 0, 0}));
    EXPECT_GE(calls.reply_size, sizeof(ICMP_ECHO_REPLY) + 8 + 8);
    EXPECT_EQ(calls.timeout, 500u);
    EXPECT_EQ(calls.opened, 1);
    EXPECT_EQ(calls.closed, 1);
}

TEST_F(AddressProbe, ReplyWithoutOptionsGivesZeroAndTheHandleIsClosed)
{
    // Wine's own echo over loopback answers but brings no IP options back.
    EXPECT_EQ(probe_external_address("127.0.0.1"), 0u);
    EXPECT_EQ(std::make_tuple(calls.echoes, calls.opened, calls.closed), std::make_tuple(1, 1, 1));
}
