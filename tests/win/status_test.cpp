// The tooltip's Windows sources against the system's own tables and through this program's import slots.
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
// One of the system's tables, read with its own size query: `Table` holds rows of `Row`.
template <typename Row, typename Table>
std::vector<Row> system_table(DWORD(WINAPI* read)(Table*, ULONG*, BOOL))
{
    ULONG size = 0;
    read(nullptr, &size, TRUE);
    std::vector<char> buffer(size);
    Table* table = reinterpret_cast<Table*>(buffer.data());
    EXPECT_EQ(read(table, &size, TRUE), static_cast<DWORD>(NO_ERROR));
    return std::vector<Row>(table->table, table->table + table->dwNumEntries);
}
char found_address[4] = {static_cast<char>(192), 0, 2, 7};
char* one_address[] = {found_address, nullptr};
char* no_address[] = {nullptr};

// What the hooks saw, and how the fake lookup and echo answer.
struct Calls {
    int lookups, opened, closed, echoes;
    char** addresses;  // of the looked-up host; null: no such host
    bool answer_echo;  // the fake echo writes a router's reply; otherwise the real one runs
    IPAddr destination;
    DWORD timeout;
};
Calls calls;

hostent* WSAAPI fake_lookup(const char*)
{
    static hostent entry;
    ++calls.lookups;
    entry.h_addrtype = AF_INET;
    entry.h_length = 4;
    entry.h_addr_list = calls.addresses;
    return calls.addresses != nullptr ? &entry : nullptr;
}

decltype(&IcmpCreateFile) real_create;
decltype(&IcmpSendEcho) real_send;
decltype(&IcmpCloseHandle) real_close;
HANDLE WINAPI counting_create() { return ++calls.opened, real_create(); }
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

// The hooked imports by their undecorated names, and where the system's entries wait.
void* real_lookup;
const struct Hook {
    const char* name;
    void* replacement;
    void** real;
} hooks[] = {
    {"gethostbyname", reinterpret_cast<void*>(fake_lookup), &real_lookup},
    {"IcmpCreateFile", reinterpret_cast<void*>(counting_create), reinterpret_cast<void**>(&real_create)},
    {"IcmpSendEcho", reinterpret_cast<void*>(recording_send), reinterpret_cast<void**>(&real_send)},
    {"IcmpCloseHandle", reinterpret_cast<void*>(counting_close), reinterpret_cast<void**>(&real_close)},
};

struct AddressProbe : ::testing::Test {
    void SetUp() override
    {
        calls = Calls();
        calls.addresses = one_address;
        for (const Hook& hook : hooks) {
            ASSERT_NE(*hook.real = replace_import(hook.name, hook.replacement), nullptr) << hook.name;
        }
    }
    void TearDown() override
    {
        for (const Hook& hook : hooks) {
            replace_import(hook.name, *hook.real);  // null: no such import, nothing changes
        }
    }
};
}  // namespace

// The counters are read around the call: they may only grow meanwhile.
TEST(StatusSummary, RowsAreTheSystemTables)
{
    std::vector<MIB_IPADDRROW> addresses = system_table<MIB_IPADDRROW>(GetIpAddrTable);
    std::vector<MIB_IFROW> before = system_table<MIB_IFROW>(GetIfTable);
    uint32_t address_count = 0;
    uint32_t interface_count = 0;
    AddressRow* rows = read_address_rows(&address_count);
    InterfaceRow* interfaces = read_interface_rows(&interface_count);
    std::vector<MIB_IFROW> after = system_table<MIB_IFROW>(GetIfTable);
    ASSERT_EQ(address_count, addresses.size());
    for (uint32_t i = 0; i < address_count; ++i) {
        EXPECT_EQ(std::make_tuple(rows[i].address, rows[i].if_index, rows[i].flags),
                  std::make_tuple(addresses[i].dwAddr, addresses[i].dwIndex, uint32_t{addresses[i].wType}));
    }
    ASSERT_EQ(interface_count, before.size());
    for (uint32_t i = 0; i < interface_count; ++i) {
        const InterfaceRow& row = interfaces[i];
        EXPECT_EQ(row.if_index, before[i].dwIndex);
        EXPECT_TRUE(before[i].dwOutOctets <= row.out_octets && row.out_octets <= after[i].dwOutOctets) << i;
        EXPECT_TRUE(before[i].dwInOctets <= row.in_octets && row.in_octets <= after[i].dwInOctets) << i;
    }
    free_text(rows);
    free_text(interfaces);
}

TEST_F(AddressProbe, DottedHostsNeedNoLookupAllOnesAndNamesDo)
{
    EXPECT_EQ(resolve_host("198.51.100.2"), inet_addr("198.51.100.2"));
    EXPECT_EQ(calls.lookups, 0);
    EXPECT_EQ(resolve_host("255.255.255.255"), inet_addr("192.0.2.7"));
    EXPECT_EQ(resolve_host("stat.example.net"), inet_addr("192.0.2.7"));
    calls.addresses = no_address;
    EXPECT_EQ(resolve_host("stat.example.net"), INADDR_NONE);
    EXPECT_EQ(resolve_host(""), INADDR_NONE);
    EXPECT_EQ(resolve_host(nullptr), INADDR_NONE);
    EXPECT_EQ(calls.lookups, 3);
}

// Wine's own echo over loopback answers but brings no IP options back.
TEST_F(AddressProbe, OneEchoPerResolvedHostGivesTheRecordedAddressOrZeroAndTheHandleIsClosed)
{
    calls.addresses = nullptr;
    EXPECT_EQ(probe_external_address("no-such-host.example.net"), 0u);
    EXPECT_EQ(calls.opened + calls.echoes, 0);
    calls.answer_echo = true;
    EXPECT_EQ(probe_external_address("198.51.100.2"), inet_addr("198.51.100.1"));
    EXPECT_EQ(calls.destination, inet_addr("198.51.100.2"));
    EXPECT_EQ(calls.timeout, 500u);
    calls.answer_echo = false;
    EXPECT_EQ(probe_external_address("127.0.0.1"), 0u);
    EXPECT_EQ(calls.echoes, 2);
    EXPECT_EQ(calls.opened, 2);
    EXPECT_EQ(calls.closed, 2);
}
