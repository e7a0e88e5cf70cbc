// Learning the external address with one ICMP echo carrying Record Route.
#pragma once

#include <cstddef>
#include <cstdint>

// Dotted address or host name to an IPv4 address (network byte order);
// all ones on failure.
uint32_t resolve_host(const char* host);

// The first address recorded in the reply to one echo sent to `host`; 0 for none.
uint32_t probe_external_address(const char* host);

// The probe of the statistics site (catalogue text 10 from its ninth character
// on, past "https://"), as the program makes it once at start; 0 when the text
// is missing or names no host.
uint32_t probe_statistics_site();

// The pieces of the probe that do not touch the network.

const int probe_ttl = 128;
const int probe_timeout_ms = 500;

// Record Route (type 7, length 7, pointer 4) with one empty slot, then End of
// Option List: the request's whole options area.
const size_t record_route_size = 8;
void fill_record_route(uint8_t* options);

// The first recorded address of the Record Route option among an IP header's
// option bytes (the 4 bytes behind its type, length and pointer); 0 when there is none.
uint32_t first_recorded_address(const uint8_t* options, size_t size);

// The reply area of IcmpSendEcho as the 32-bit program has it: the 28-byte
// ICMP_ECHO_REPLY, then the reply's options, in 52 bytes.
const size_t echo_reply_record_size_32 = 28;
const size_t reply_area_size_32 = 52;

// The 4 bytes behind type, length and pointer of the options that start at
// `options_offset` in a reply area; 0 when they do not lie inside the area.
uint32_t slot_in_reply_area(const uint8_t* area, size_t area_size, size_t options_offset);

// Linux: the raw IPv4 packet of the request, header with the options area and
// the ICMP echo without payload.  The kernel fills in source, total length,
// identification and header checksum.
const size_t echo_request_size = 20 + record_route_size + 8;
void build_echo_request(uint8_t* packet, uint32_t target, uint16_t identifier, uint16_t sequence);

// Linux: 1 when `packet` (a received IPv4 packet) is an echo reply, with the
// recorded address, or 0, in *address; 0 for any other packet.  Whose reply it
// is, the socket's filter has judged.
int read_echo_reply(const uint8_t* packet, size_t size, uint32_t* address);

#if !defined(_WIN32)
// Linux: every capability given up for good.  The file's cap_net_raw is for the
// probe's raw socket alone: commands that send no probe give it up at start,
// the probe once its socket is open.
void drop_capabilities();
#endif
