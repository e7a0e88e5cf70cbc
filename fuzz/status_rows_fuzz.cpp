// Arbitrary table rows through the row choice and the status text: the text
// always fits the 64 characters of the tooltip, the counters read back as the
// numbers they came from, and the choice is one of the rows.
#include "common/heap_text.h"
#include "status/status_summary.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {
const InterfaceRow* fake_interfaces;
uint32_t fake_interface_count;
uint32_t octets_calls;

void fake_octets(uint32_t index, uint32_t* sent, uint32_t* received)
{
    ++octets_calls;
    find_octets(fake_interfaces, fake_interface_count, index, sent, received);
}

uint32_t read_u32(const uint8_t* bytes)
{
    uint32_t value;
    memcpy(&value, bytes, 4);
    return value;
}

// format_grouped's text without its spaces is the decimal number; groups of three.
void check_grouped(uint32_t value)
{
    char* text = format_grouped(value);
    if (text == nullptr) {
        return;
    }
    std::string digits;
    size_t length = strlen(text);
    for (size_t i = 0; i < length; ++i) {
        bool space_place = (length - i) % 4 == 0;
        if (space_place != (text[i] == ' ')) {
            __builtin_trap();
        }
        if (!space_place) {
            digits += text[i];
        }
    }
    if (length > 16 || digits != std::to_string(value)) {
        __builtin_trap();
    }
    free_text(text);
}

}  // namespace

// Input: a byte with the number of interface rows (low 4 bits), those rows,
// the external address, then address rows up to the end.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 5) {
        return 0;
    }
    uint32_t interface_count = data[0] & 0x0F;
    size_t interface_bytes = interface_count * sizeof(InterfaceRow);
    if (size < 1 + interface_bytes + 4) {
        return 0;
    }
    // Exact-size heap copies so that ASan sees any read past a table.
    InterfaceRow* interfaces = static_cast<InterfaceRow*>(malloc(interface_bytes + 1));
    memcpy(interfaces, data + 1, interface_bytes);
    uint32_t external = read_u32(data + 1 + interface_bytes);
    const uint8_t* rest = data + 1 + interface_bytes + 4;
    uint32_t address_count = static_cast<uint32_t>((size - (rest - data)) / sizeof(AddressRow));
    AddressRow* addresses = static_cast<AddressRow*>(malloc(address_count * sizeof(AddressRow) + 1));
    memcpy(addresses, rest, address_count * sizeof(AddressRow));

    fake_interfaces = interfaces;
    fake_interface_count = interface_count;
    octets_calls = 0;
    uint32_t address = 0;
    uint32_t sent = 0;
    uint32_t received = 0;
    choose_address_row(addresses, address_count, fake_octets, &address, &sent, &received);
    bool listed = address == 0;
    for (uint32_t i = 0; i < address_count; ++i) {
        listed = listed || addresses[i].address == address;
    }
    if (!listed || octets_calls > address_count || (address == 0 && (sent != 0 || received != 0))) {
        __builtin_trap();
    }

    char* text = compose_status_text(address, sent, received, external);
    if (text != nullptr) {
        char dotted[16];
        char sent_text[17];
        char received_text[17];
        if (strlen(text) > 63 || sscanf(text, "IP: %15[0-9.]\nSend: %16[0-9 ]\nRecv: %16[0-9 ]",
                                        dotted, sent_text, received_text) != 3) {
            __builtin_trap();
        }
        free_text(text);
    }
    check_grouped(sent);
    check_grouped(received);
    check_grouped(external);
    free(addresses);
    free(interfaces);
    return 0;
}
