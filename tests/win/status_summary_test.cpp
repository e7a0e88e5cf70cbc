// The status summary's readers against the system's own IPHLPAPI tables (what
// it makes of the rows is checked on Linux, from the same portable code).
#include "common/heap_text.h"
#include "status/status_summary.h"

#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>

#include <gtest/gtest.h>

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
                  std::make_tuple(addresses[i].dwAddr, addresses[i].dwIndex, static_cast<uint32_t>(addresses[i].wType)));
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
