#include "status/address_probe.h"

#include "common/heap_text.h"
#include "common/texts.h"

#include <cstring>

namespace {
const uint8_t option_end = 0;
const uint8_t option_nop = 1;
const uint8_t option_record_route = 7;
const uint8_t record_route_length = 7;
const uint8_t first_slot_pointer = 4;
const size_t slot_offset = 3;  // behind type, length and pointer

const size_t ip_header_size = 20;
const uint8_t protocol_icmp = 1;
const uint8_t icmp_echo_reply = 0;
const uint8_t icmp_echo_request = 8;

uint32_t read_address(const uint8_t* bytes)
{
    uint32_t address;
    memcpy(&address, bytes, 4);
    return address;
}

void put_u16(uint8_t* bytes, uint16_t value)
{
    bytes[0] = static_cast<uint8_t>(value >> 8);
    bytes[1] = static_cast<uint8_t>(value);
}

uint16_t get_u16(const uint8_t* bytes)
{
    return static_cast<uint16_t>(bytes[0] << 8 | bytes[1]);
}

// RFC 1071 over an even number of bytes.
uint16_t internet_checksum(const uint8_t* bytes, size_t size)
{
    uint32_t sum = 0;
    for (size_t i = 0; i + 1 < size; i += 2) {
        sum += get_u16(bytes + i);
    }
    while (sum >> 16) {
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    return static_cast<uint16_t>(~sum);
}
}  // namespace

void fill_record_route(uint8_t* options)
{
    memset(options, 0, record_route_size);
    options[0] = option_record_route;
    options[1] = record_route_length;
    options[2] = first_slot_pointer;
}

uint32_t first_recorded_address(const uint8_t* options, size_t size)
{
    size_t at = 0;
    while (at < size && options[at] != option_end) {
        if (options[at] == option_nop) {
            ++at;
            continue;
        }
        if (at + 1 >= size) {
            return 0;
        }
        size_t length = options[at + 1];
        if (length < 2 || length > size - at) {
            return 0;
        }
        if (options[at] == option_record_route) {
            return length >= slot_offset + 4 ? read_address(options + at + slot_offset) : 0;
        }
        at += length;
    }
    return 0;
}

uint32_t slot_in_reply_area(const uint8_t* area, size_t area_size, size_t options_offset)
{
    if (options_offset > area_size || area_size - options_offset < slot_offset + 4) {
        return 0;
    }
    return read_address(area + options_offset + slot_offset);
}

void build_echo_request(uint8_t* packet, uint32_t target, uint16_t identifier, uint16_t sequence)
{
    memset(packet, 0, echo_request_size);
    const size_t header_size = ip_header_size + record_route_size;
    packet[0] = static_cast<uint8_t>(0x40 | header_size / 4);  // version 4, header length in words
    put_u16(packet + 2, static_cast<uint16_t>(echo_request_size));
    packet[8] = static_cast<uint8_t>(probe_ttl);
    packet[9] = protocol_icmp;
    memcpy(packet + 16, &target, 4);
    fill_record_route(packet + ip_header_size);
    uint8_t* echo = packet + header_size;
    echo[0] = icmp_echo_request;
    put_u16(echo + 4, identifier);
    put_u16(echo + 6, sequence);
    put_u16(echo + 2, internet_checksum(echo, 8));
}

int read_echo_reply(const uint8_t* packet, size_t size, uint32_t* address)
{
    *address = 0;
    if (size < ip_header_size || packet[0] >> 4 != 4 || packet[9] != protocol_icmp) {
        return 0;
    }
    size_t header_size = static_cast<size_t>(packet[0] & 0x0F) * 4;
    if (header_size < ip_header_size || size < header_size + 8) {
        return 0;
    }
    const uint8_t* echo = packet + header_size;
    if (echo[0] != icmp_echo_reply || echo[1] != 0) {
        return 0;
    }
    *address = first_recorded_address(packet + ip_header_size, header_size - ip_header_size);
    return 1;
}

uint32_t probe_statistics_site()
{
    const size_t scheme_length = 8;  // "https://"
    char* url = load_text(TEXT_STATS_URL);
    uint32_t address = 0;
    if (url != nullptr && strlen(url) > scheme_length) {
        address = probe_external_address(url + scheme_length);
    }
    free_text(url);
    return address;
}
