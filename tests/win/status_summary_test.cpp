// The status summary against the system's own IPHLPAPI tables.
#include "common/heap_text.h"
#include "status/status_summary.h"

#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
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

MIB_IFROW interface_row(const std::vector<MIB_IFROW>& rows, DWORD index)
{
    auto row = std::find_if(rows.begin(), rows.end(), [&](const MIB_IFROW& r) { return r.dwIndex == index; });
    return row != rows.end() ? *row : MIB_IFROW();
}
}  // namespace

TEST(StatusSummary, AddressRowsAreTheSystemTable)
{
    std::vector<MIB_IPADDRROW> expected = system_table<MIB_IPADDRROW>(GetIpAddrTable);
    uint32_t count = 0;
    AddressRow* rows = read_address_rows(&count);
    ASSERT_EQ(count, expected.size());
    for (uint32_t i = 0; i < count; ++i) {
        EXPECT_EQ(std::make_tuple(rows[i].address, rows[i].if_index, rows[i].flags),
                  std::make_tuple(expected[i].dwAddr, expected[i].dwIndex, static_cast<uint32_t>(expected[i].wType)));
    }
    free_text(rows);
}

TEST(StatusSummary, TextAgreesWithTheSystemTables)
{
    // The tables are read around the call: counters may only grow meanwhile.
    std::vector<MIB_IFROW> before = system_table<MIB_IFROW>(GetIfTable);
    char* text = status_text(0);
    std::vector<MIB_IFROW> after = system_table<MIB_IFROW>(GetIfTable);
    ASSERT_NE(text, nullptr);
    std::string status = text;
    free_text(text);
    status.erase(std::remove(status.begin(), status.end(), ' '), status.end());
    char shown[16] = "";
    unsigned long sent = 0, received = 0;
    ASSERT_EQ(sscanf(status.c_str(), "IP:%15[0-9.]\nSend:%lu\nRecv:%lu", shown, &sent, &received), 3) << status;
    std::vector<MIB_IPADDRROW> addresses = system_table<MIB_IPADDRROW>(GetIpAddrTable);
    auto row = std::find_if(addresses.begin(), addresses.end(),
                            [&](const MIB_IPADDRROW& r) { return r.dwAddr == inet_addr(shown); });
    if (row == addresses.end()) {
        EXPECT_EQ(std::string(shown) + " " + std::to_string(sent + received), "0.0.0.0 0");
        return;
    }
    MIB_IFROW low = interface_row(before, row->dwIndex), high = interface_row(after, row->dwIndex);
    EXPECT_TRUE(low.dwOutOctets <= sent && sent <= high.dwOutOctets) << sent;
    EXPECT_TRUE(low.dwInOctets <= received && received <= high.dwInOctets) << received;
}
