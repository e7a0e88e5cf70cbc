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

namespace {
TEST(StatusSummary, AddressRowsAreTheSystemTable)
{
    DWORD buffer[4096];
    ULONG size = sizeof buffer;
    MIB_IPADDRTABLE* table = reinterpret_cast<MIB_IPADDRTABLE*>(buffer);
    ASSERT_EQ(GetIpAddrTable(table, &size, TRUE), static_cast<DWORD>(NO_ERROR));
    uint32_t count = 0;
    AddressRow* rows = read_address_rows(&count);
    ASSERT_EQ(count, table->dwNumEntries);
    for (uint32_t i = 0; i < count; ++i) {
        EXPECT_EQ(std::make_tuple(rows[i].address, rows[i].if_index, rows[i].flags),
                  std::make_tuple(table->table[i].dwAddr, table->table[i].dwIndex, uint32_t{table->table[i].wType}));
    }
    free_text(rows);
}

// What the echo hooks saw.
int handles_closed = 0;
DWORD echo_timeout = 0;
decltype(&IcmpCloseHandle) system_close;

BOOL WINAPI counting_close(HANDLE handle) { return ++handles_closed, system_close(handle); }

// A router's reply, its route behind the record where only the record's own pointer says.
DWORD WINAPI answering_send(HANDLE, IPAddr destination, LPVOID, WORD, PIP_OPTION_INFORMATION, LPVOID reply, DWORD,
                            DWORD timeout)
{
    echo_timeout = timeout;
    ICMP_ECHO_REPLY* record = static_cast<ICMP_ECHO_REPLY*>(reply);
    uint8_t* behind = reinterpret_cast<uint8_t*>(record + 1);
    const uint8_t route[] = {7, 7, 8, 198, 51, 100, 1};
    memcpy(behind, route, sizeof route);
    record->Address = destination;
    record->Options.OptionsSize = sizeof route;
    record->Options.OptionsData = behind;
    return 1;
}

TEST(AddressProbe, OneEchoGivesTheRecordedAddressAndTheHandleIsClosed)
{
    void* system_send = replace_import("IcmpSendEcho", reinterpret_cast<void*>(answering_send));
    system_close = reinterpret_cast<decltype(system_close)>(
        replace_import("IcmpCloseHandle", reinterpret_cast<void*>(counting_close)));
    ASSERT_NE(system_send, nullptr);
    EXPECT_EQ(probe_external_address("198.51.100.2"), inet_addr("198.51.100.1"));
    replace_import("IcmpSendEcho", system_send);
    replace_import("IcmpCloseHandle", reinterpret_cast<void*>(system_close));
    EXPECT_EQ(echo_timeout, 500u);
    EXPECT_EQ(handles_closed, 1);
}
}  // namespace
