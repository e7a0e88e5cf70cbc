// The status summary against the system's own IPHLPAPI tables.
#include "common/heap_text.h"
#include "status/status_summary.h"

#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {
std::vector<MIB_IPADDRROW> system_addresses()
{
    ULONG size = 0;
    EXPECT_EQ(GetIpAddrTable(nullptr, &size, TRUE), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    std::vector<char> buffer(size);
    EXPECT_EQ(GetIpAddrTable(reinterpret_cast<MIB_IPADDRTABLE*>(buffer.data()), &size, TRUE),
              static_cast<DWORD>(NO_ERROR));
    const MIB_IPADDRTABLE* table = reinterpret_cast<const MIB_IPADDRTABLE*>(buffer.data());
    return std::vector<MIB_IPADDRROW>(table->table, table->table + table->dwNumEntries);
}

std::vector<MIB_IFROW> system_interfaces()
{
    ULONG size = 0;
    GetIfTable(nullptr, &size, FALSE);
    std::vector<char> buffer(size);
    EXPECT_EQ(GetIfTable(reinterpret_cast<MIB_IFTABLE*>(buffer.data()), &size, FALSE),
              static_cast<DWORD>(NO_ERROR));
    const MIB_IFTABLE* table = reinterpret_cast<const MIB_IFTABLE*>(buffer.data());
    return std::vector<MIB_IFROW>(table->table, table->table + table->dwNumEntries);
}

const MIB_IFROW* interface_row(const std::vector<MIB_IFROW>& rows, DWORD index)
{
    for (const MIB_IFROW& row : rows) {
        if (row.dwIndex == index) {
            return &row;
        }
    }
    return nullptr;
}

// "Send: 1 234" -> 1234
unsigned long long count_after(const std::string& text, const std::string& label)
{
    size_t at = text.find(label);
    std::string digits;
    for (size_t i = at + label.size(); i < text.size() && text[i] != '\n'; ++i) {
        if (text[i] != ' ') {
            digits += text[i];
        }
    }
    return std::stoull(digits);
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
    uint32_t count = 0;
    AddressRow* rows = read_address_rows(&count);
    uint32_t address = 0;
    uint32_t sent = 0;
    uint32_t received = 0;
    choose_address_row(rows, count, iface_octets, &address, &sent, &received);
    free_text(rows);
    char* text = status_text(0);
    std::vector<MIB_IFROW> after = system_interfaces();
    ASSERT_NE(text, nullptr);
    std::string status = text;
    free_text(text);

    in_addr shown;
    shown.s_addr = address;
    EXPECT_EQ(status.substr(0, status.find('\n')), std::string("IP: ") + inet_ntoa(shown));

    DWORD index = 0;
    for (const MIB_IPADDRROW& row : system_addresses()) {
        if (row.dwAddr == address) {
            index = row.dwIndex;
        }
    }
    const MIB_IFROW* first = interface_row(before, index);
    const MIB_IFROW* last = interface_row(after, index);
    if (address == 0 || first == nullptr || last == nullptr) {
        EXPECT_EQ(count_after(status, "Send: "), 0u);
        EXPECT_EQ(count_after(status, "Recv: "), 0u);
        return;
    }
    EXPECT_GE(count_after(status, "Send: "), first->dwOutOctets);
    EXPECT_LE(count_after(status, "Send: "), last->dwOutOctets);
    EXPECT_GE(count_after(status, "Recv: "), first->dwInOctets);
    EXPECT_LE(count_after(status, "Recv: "), last->dwInOctets);
}
