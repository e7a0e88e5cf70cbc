// Learning the external address with one ICMP echo carrying Record Route.
#pragma once

#include <cstdint>

// Dotted address or host name to an IPv4 address (network byte order);
// all ones on failure.
uint32_t resolve_host(const char* host);

// The first address recorded in the reply to one echo sent to `host`; 0 for none.
uint32_t probe_external_address(const char* host);
