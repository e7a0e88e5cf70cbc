// Arbitrary received packets through the Record Route reply parser, and
// arbitrary reply areas through the slot reader: no read outside the packet,
// and the address found is the one the options area holds.
#include "status/address_probe.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // An exact-size copy so that ASan sees any byte read past the end.
    uint8_t* packet = static_cast<uint8_t*>(malloc(size == 0 ? 1 : size));
    memcpy(packet, data, size);

    uint32_t address = 0xFFFFFFFF;
    int matched = read_echo_reply(packet, size, &address);
    if (matched != 0 && matched != 1) {
        __builtin_trap();
    }
    if (matched == 0 && address != 0) {
        __builtin_trap();
    }
    if (matched == 1) {
        size_t options_size = static_cast<size_t>(packet[0] & 0x0F) * 4 - 20;
        if (address != first_recorded_address(packet + 20, options_size)) {
            __builtin_trap();
        }
    }

    first_recorded_address(packet, size);
    for (size_t offset : {size_t{0}, size_t{28}, size / 2, size, size + 1}) {
        slot_in_reply_area(packet, size, offset);
    }
    free(packet);
    return 0;
}
