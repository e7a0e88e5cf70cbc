#include "status/status_summary.h"

#include "common/heap_text.h"

#include <cstring>

namespace {
const size_t grouped_size = 17;
const size_t status_size = 65;
const uint32_t both_flags = ADDRESS_PRIMARY | ADDRESS_DYNAMIC;

// The dotted form's numbers, first one first, whatever the host's byte order.
void address_octets(uint32_t address, uint8_t octets[4])
{
    memcpy(octets, &address, 4);
}

bool is_skipped(uint32_t address)
{
    uint8_t o[4];
    address_octets(address, o);
    return address == 0 || (o[0] == 127 && o[1] == 0 && o[2] == 0 && o[3] == 1);
}
}  // namespace

void find_octets(const InterfaceRow* rows, uint32_t count, uint32_t index,
                 uint32_t* sent, uint32_t* received)
{
    *sent = 0;
    *received = 0;
    for (uint32_t i = 0; rows != nullptr && i < count; ++i) {
        if (rows[i].if_index == index) {
            *sent = rows[i].out_octets;
            *received = rows[i].in_octets;
            return;
        }
    }
}

void choose_address_row(const AddressRow* rows, uint32_t count, OctetsSource octets,
                        uint32_t* address, uint32_t* sent, uint32_t* received)
{
    *address = 0;
    *sent = 0;
    *received = 0;
    for (uint32_t i = 0; rows != nullptr && i < count; ++i) {
        if (is_skipped(rows[i].address)) {
            continue;
        }
        *address = rows[i].address;
        octets(rows[i].if_index, sent, received);
        if ((rows[i].flags & both_flags) == both_flags) {
            return;
        }
    }
}

void iface_octets(uint32_t index, uint32_t* sent, uint32_t* received)
{
    uint32_t count = 0;
    InterfaceRow* rows = read_interface_rows(&count);
    find_octets(rows, count, index, sent, received);
    free_text(rows);
}

void pick_local_address(uint32_t* address, uint32_t* sent, uint32_t* received)
{
    uint32_t count = 0;
    AddressRow* rows = read_address_rows(&count);
    choose_address_row(rows, count, iface_octets, address, sent, received);
    free_text(rows);
}

char* format_grouped(uint32_t value)
{
    char* text = alloc_text(grouped_size);
    if (text == nullptr) {
        return nullptr;
    }
    size_t at = grouped_size - 1;  // the terminating zero stays at byte 16
    int digits_in_group = 0;
    do {
        if (digits_in_group == 3) {
            text[--at] = ' ';
            digits_in_group = 0;
        }
        text[--at] = static_cast<char>('0' + value % 10);
        value /= 10;
        ++digits_in_group;
    } while (value != 0);
    memmove(text, text + at, grouped_size - at);
    return text;
}

bool is_private_address(uint32_t address)
{
    uint8_t o[4];
    address_octets(address, o);
    return o[0] == 10 || (o[0] == 192 && o[1] == 168) || (o[0] == 172 && o[1] >= 16 && o[1] <= 31);
}

char* compose_status_text(uint32_t local_address, uint32_t sent, uint32_t received,
                          uint32_t external_address)
{
    uint32_t shown = external_address != 0 && is_private_address(local_address)
        ? external_address : local_address;
    char* text = alloc_text(status_size);
    char* received_text = format_grouped(received);
    char* sent_text = format_grouped(sent);
    if (text != nullptr && received_text != nullptr && sent_text != nullptr) {
        char dotted[16] = {};
        dotted_address(shown, dotted);
        format_text(text, status_size, "IP: %s\nSend: %s\nRecv: %s", dotted, sent_text, received_text);
    } else {
        free_text(text);
        text = nullptr;
    }
    free_text(sent_text);
    free_text(received_text);
    return text;
}

char* status_text(uint32_t external_address)
{
    uint32_t address = 0;
    uint32_t sent = 0;
    uint32_t received = 0;
    pick_local_address(&address, &sent, &received);
    return compose_status_text(address, sent, received, external_address);
}
