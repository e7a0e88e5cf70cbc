// Windows side of the web fetch.
#pragma once

#include "account/web_fetch.h"

// length_or_status after a failed send of an http (secure false) or https
// request with WinINet error code `error`.
uint32_t send_failure_status(bool secure, unsigned long error);
