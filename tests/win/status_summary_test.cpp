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
#include <vector>

namespace {
std::vector<MIB_IPADDRROW> system_addresses()
{
    ULONG size = 0;
    EXPECT_EQ(GetIpAddrTable(nullptr, &size, TRUE), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    std::vector<char> buffer(size);
    MIB_IPADDRTABLE* table = reinterpret_cast<MIB_IPADDRTABLE*>(buffer.data());
    EXPECT_EQ(GetIpAddrTable(table, &size, TRUE), static_cast<DWORD>(NO_ERROR));
    return std::vector<MIB_IPADDRROW>(table->table, table->table + table->dwNumEntries);
}

std::vector<MIB_IFROW> system_interfaces()
{
    ULONG size = 0;
    GetIfTable(nullptr, &size, FALSE);
    std::vector<char> buffer(size);
    MIB_IFTABLE* table = reinterpret_cast<MIB_IFTABLE*>(buffer.data());
    EXPECT_EQ(GetIfTable(table, &size, FALSE), static_cast<DWORD>(NO_ERROR));
    return std::vector<MIB_IFROW>(table->table, table->table + table->dwNumEntries);
}

MIB_IFROW interface_row(const std::vector<MIB_IFROW>& rows, DWORD index)
{
    auto row = std::find_if(rows.begin(), rows.end(), [&](const MIB_IFROW& r) { return r.dwIndex == index; });
    return row != rows.end() ? *row : MIB_IFROW();
}
}  // namespace

TEST(StatusSummary, AddressRowsAreTheSystemTable)
{
    std::vector<MIB_IPADDRROW> expected = system_addresses();
    uint32_t count = 0;
    AddressRow* rows = read_address_rows(&count);
    ASSERT_EQ(count, expected.size());
    for (uint32_t i = 0; i < count; ++i) {
        EXPECT_EQ(rows[i].address, expected[i].dwAddr);
        EXPECT_EQ(rows[i].if_index, expected[i].dwIndex);
        EXPECT_EQ(rows[i].flags, expected[i].wType);
    }
    free_text(rows);
}

TEST(StatusSummary, TextAgreesWithTheSystemTables)
{
    // The tables are read around the call: counters may only grow meanwhile.
    std::vector<MIB_IFROW> before = system_interfaces();
    char* text = status_text(0);
    std::vector<MIB_IFROW> after = system_interfaces();
    ASSERT_NE(text, nullptr);
    std::string status = text;
    free_text(text);
    status.erase(std::remove(status.begin(), status.end(), ' '), status.end());
    char shown[16] = "";
    unsigned long sent = 0, received = 0;
    ASSERT_EQ(sscanf(status.c_str(), "IP:%15[0-9.]\nSend:%lu\nRecv:%lu", shown, &sent, &received), 3) << status;
    if (std::string(shown) == "0.0.0.0") {
        EXPECT_EQ(sent + received, 0u);
        return;
    }
    std::vector<MIB_IPADDRROW> addresses = system_addresses();
    auto row = std::find_if(addresses.begin(), addresses.end(),
                            [&](const MIB_IPADDRROW& r) { return r.dwAddr == inet_addr(shown); });
    ASSERT_NE(row, addresses.end()) << shown;
    EXPECT_GE(sent, interface_row(before, row->dwIndex).dwOutOctets);
    EXPECT_LE(sent, interface_row(after, row->dwIndex).dwOutOctets);
    EXPECT_GE(received, interface_row(before, row->dwIndex).dwInOctets);
    EXPECT_LE(received, interface_row(after, row->dwIndex).dwInOctets);
}
