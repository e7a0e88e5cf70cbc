// The tooltip's status text: shown address and interface counters.
#pragma once

#include <cstdint>

// Sent and received octets of interface `index`; both 0 when it is not found.
void iface_octets(uint32_t index, uint32_t* sent, uint32_t* received);

// The address to show and its interface's counters; all 0 when none is chosen.
void pick_local_address(uint32_t* address, uint32_t* sent, uint32_t* received);

// `value` in groups of three digits, in a fresh 17-byte heap text; or null.
char* format_grouped(uint32_t value);

// "IP: %s\nSend: %s\nRecv: %s" in a fresh 65-byte heap text; or null.
// A known external address (network byte order, 0 = none) replaces a private one.
char* status_text(uint32_t external_address);
