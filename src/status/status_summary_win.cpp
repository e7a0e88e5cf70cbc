#include "status/status_summary.h"

#include "common/heap_text.h"

#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>

#include <cstddef>

namespace {
// Rows that the filled buffer really holds, whatever its row count claims.
uint32_t rows_within(DWORD claimed, ULONG buffer_size, size_t header_size, size_t row_size)
{
    size_t room = buffer_size > header_size ? (buffer_size - header_size) / row_size : 0;
    return claimed < room ? claimed : static_cast<uint32_t>(room);
}

AddressRow* copy_address_rows(const MIB_IPADDRTABLE* table, ULONG size, uint32_t* count)
{
    uint32_t n = rows_within(table->dwNumEntries, size, offsetof(MIB_IPADDRTABLE, table),
                             sizeof(MIB_IPADDRROW));
    AddressRow* rows = n == 0 ? nullptr : reinterpret_cast<AddressRow*>(alloc_text(n * sizeof(AddressRow)));
    if (rows == nullptr) {
        return nullptr;
    }
    for (uint32_t i = 0; i < n; ++i) {
        rows[i].address = table->table[i].dwAddr;
        rows[i].if_index = table->table[i].dwIndex;
        rows[i].flags = table->table[i].wType;
    }
    *count = n;
    return rows;
}

InterfaceRow* copy_interface_rows(const MIB_IFTABLE* table, ULONG size, uint32_t* count)
{
    uint32_t n = rows_within(table->dwNumEntries, size, offsetof(MIB_IFTABLE, table),
                             sizeof(MIB_IFROW));
    InterfaceRow* rows = n == 0 ? nullptr : reinterpret_cast<InterfaceRow*>(alloc_text(n * sizeof(InterfaceRow)));
    if (rows == nullptr) {
        return nullptr;
    }
    for (uint32_t i = 0; i < n; ++i) {
        rows[i].if_index = table->table[i].dwIndex;
        rows[i].out_octets = table->table[i].dwOutOctets;
        rows[i].in_octets = table->table[i].dwInOctets;
    }
    *count = n;
    return rows;
}
}  // namespace

AddressRow* read_address_rows(uint32_t* count)
{
    *count = 0;
    ULONG size = 0;
    if (GetIpAddrTable(nullptr, &size, TRUE) != ERROR_INSUFFICIENT_BUFFER || size == 0) {
        return nullptr;
    }
    const ULONG allocated = size;
    MIB_IPADDRTABLE* table = reinterpret_cast<MIB_IPADDRTABLE*>(alloc_text(allocated));
    if (table == nullptr) {
        return nullptr;
    }
    AddressRow* rows = nullptr;
    if (GetIpAddrTable(table, &size, TRUE) == NO_ERROR) {
        rows = copy_address_rows(table, allocated, count);
    }
    free_text(table);
    return rows;
}

InterfaceRow* read_interface_rows(uint32_t* count)
{
    *count = 0;
    ULONG size = 0;
    GetIfTable(nullptr, &size, FALSE);
    if (size == 0) {
        return nullptr;
    }
    const ULONG allocated = size;
    MIB_IFTABLE* table = reinterpret_cast<MIB_IFTABLE*>(alloc_text(allocated));
    if (table == nullptr) {
        return nullptr;
    }
    // The answer is not looked at: a fill that writes nothing leaves a table of
    // 0 rows in the zero-filled buffer.
    GetIfTable(table, &size, FALSE);
    InterfaceRow* rows = copy_interface_rows(table, allocated, count);
    free_text(table);
    return rows;
}

void dotted_address(uint32_t address, char* text)
{
    in_addr value;
    value.s_addr = address;
    copy_text(text, inet_ntoa(value), 16);
}
