// The tooltip's status text: shown address and interface counters.
#pragma once

#include <cstdint>

// Flags of an address row, with the values of MIB_IPADDRROW.wType.
enum AddressFlags : uint32_t {
    ADDRESS_PRIMARY = 0x0001,  // MIB_IPADDR_PRIMARY; Linux: not IFA_F_SECONDARY
    ADDRESS_DYNAMIC = 0x0004,  // MIB_IPADDR_DYNAMIC; Linux: not IFA_F_PERMANENT
};

// The fields of one address table row that the choice uses.
struct AddressRow {
    uint32_t address;  // network byte order
    uint32_t if_index;
    uint32_t flags;    // AddressFlags
};

// The fields of one interface table row that the counters use.
struct InterfaceRow {
    uint32_t if_index;
    uint32_t out_octets;
    uint32_t in_octets;
};

// Sent and received octets of interface `index`; both 0 when it is not found.
void iface_octets(uint32_t index, uint32_t* sent, uint32_t* received);

// The address to show and its interface's counters; all 0 when none is chosen.
void pick_local_address(uint32_t* address, uint32_t* sent, uint32_t* received);

// `value` in groups of three digits, in a fresh 17-byte heap text; or null.
char* format_grouped(uint32_t value);

// "IP: %s\nSend: %s\nRecv: %s" in a fresh 65-byte heap text; or null.
// A known external address (network byte order, 0 = none) replaces a private one.
char* status_text(uint32_t external_address);

// The pieces of the above, over tables and values handed in.

// Where the choice gets the counters of an interface: iface_octets, or a test's fake.
typedef void (*OctetsSource)(uint32_t index, uint32_t* sent, uint32_t* received);

// The row choice over `rows` in table order: skips 0 and 127.0.0.1, asks `octets`
// once for every other row it visits, and stops at the first row that is both
// primary and dynamic.  All outputs 0 when no row is taken.
void choose_address_row(const AddressRow* rows, uint32_t count, OctetsSource octets,
                        uint32_t* address, uint32_t* sent, uint32_t* received);

// The counters of the first row with `index`; both 0 when no row has it.
void find_octets(const InterfaceRow* rows, uint32_t count, uint32_t index,
                 uint32_t* sent, uint32_t* received);

// 10.0.0.0/8, 172.16.0.0/12 or 192.168.0.0/16.
bool is_private_address(uint32_t address);

// The status text of a chosen row, with the external address put in place of a
// private local one; a fresh 65-byte heap text, or null.
char* compose_status_text(uint32_t local_address, uint32_t sent, uint32_t received,
                          uint32_t external_address);

// Platform side: the system's tables, each in a fresh heap buffer (free_text).

// The address rows in ascending address order; null when the table cannot be
// had or holds no row.
AddressRow* read_address_rows(uint32_t* count);

// The interface rows in the system's order; null when the table cannot be had
// or holds no row.
InterfaceRow* read_interface_rows(uint32_t* count);

// The dotted text of `address` (inet_ntoa's form) into `text`, 16 bytes.
void dotted_address(uint32_t address, char* text);
