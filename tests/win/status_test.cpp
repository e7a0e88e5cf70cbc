// The tooltip's Windows sources against the system's own table and through this program's import slots.
#include "common/heap_text.h"
#include "memory_probe_win.h"
#include "status/address_probe.h"
#include "status/status_summary.h"

#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>
#include <icmpapi.h>

#include <gtest/gtest.h>

#include <cstring>
#include <tuple>
#include <vector>

namespace {
TEST(StatusSummary, AddressRowsAreTheSystemTable)
{
    ULONG size = 0;
    GetIpAddrTable(nullptr, &size, TRUE);
    std::vector<char> buffer(size);
    MIB_IPADDRTABLE* table = reinterpret_cast<MIB_IPADDRTABLE*>(buffer.data());
    ASSERT_EQ(GetIpAddrTable(table, &size, TRUE), static_cast<DWORD>(NO_ERROR));
    uint32_t count = 0;
    AddressRow* rows = read_address_rows(&count);
    ASSERT_EQ(count, table->dwNumEntries);
    for (uint32_t i = 0; i < count; ++i) {
        const MIB_IPADDRROW& system = table->table[i];
        EXPECT_EQ(std::make_tuple(rows[i].address, rows[i].if_index, rows[i].flags),
                  std::make_tuple(system.dwAddr, system.dwIndex, uint32_t{system.wType}));
    }
    free_text(rows);
}

// What the echo hooks saw; the fake echo writes a router's reply, or the real one runs.
struct Calls {
    int echoes, closed;
    bool answer_echo;
    IPAddr destination;
    DWORD timeout;
};
Calls calls;
decltype(&IcmpSendEcho) real_send;
decltype(&IcmpCloseHandle) real_close;

BOOL WINAPI counting_close(HANDLE handle) { return ++calls.closed, real_close(handle); }

DWORD WINAPI recording_send(HANDLE handle, IPAddr destination, LPVOID data, WORD size,
                            PIP_OPTION_INFORMATION options, LPVOID reply, DWORD reply_size, DWORD timeout)
{
    ++calls.echoes;
    calls.destination = destination;
    calls.timeout = timeout;
    if (!calls.answer_echo) {
        return real_send(handle, destination, data, size, options, reply, reply_size, timeout);
    }
    // The route lies behind the record, where only the record's own pointer says.
    ICMP_ECHO_REPLY* record = static_cast<ICMP_ECHO_REPLY*>(reply);
    uint8_t* behind = reinterpret_cast<uint8_t*>(record + 1);
    const uint8_t route[] = {7, 7, 8, 198, 51, 100, 1};
    memcpy(behind, route, sizeof route);
    record->Address = destination;
    record->Options.OptionsSize = sizeof route;
    record->Options.OptionsData = behind;
    return 1;
}

// Wine's own echo over loopback answers but brings no IP options back.
TEST(AddressProbe, OneEchoPerProbeGivesTheRecordedAddressOrZeroAndTheHandleIsClosed)
{
    real_send = reinterpret_cast<decltype(real_send)>(
        replace_import("IcmpSendEcho", reinterpret_cast<void*>(recording_send)));
    real_close = reinterpret_cast<decltype(real_close)>(
        replace_import("IcmpCloseHandle", reinterpret_cast<void*>(counting_close)));
    ASSERT_NE(real_send, nullptr);
    ASSERT_NE(real_close, nullptr);
    calls.answer_echo = true;
    EXPECT_EQ(probe_external_address("198.51.100.2"), inet_addr("198.51.100.1"));
    EXPECT_EQ(calls.destination, inet_addr("198.51.100.2"));
    EXPECT_EQ(calls.timeout, 500u);
    calls.answer_echo = false;
    EXPECT_EQ(probe_external_address("127.0.0.1"), 0u);
    replace_import("IcmpSendEcho", reinterpret_cast<void*>(real_send));
    replace_import("IcmpCloseHandle", reinterpret_cast<void*>(real_close));
    EXPECT_EQ(calls.echoes, 2);
    EXPECT_EQ(calls.closed, 2);
}
}  // namespace
