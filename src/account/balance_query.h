// The conversation with the billing API.
#pragma once

#include "common/app_state.h"

#include <cstddef>

// query_balance's results.  A failed login gives QUERY_FETCH_FAILED + its fetch
// status, so FETCH_TLS_FAILED ends as QUERY_TLS_REFUSED.
enum QueryResult {
    QUERY_SHOWN = 0,
    QUERY_BAD_CREDENTIALS = 1,  // bad or missing credentials, or no token
    QUERY_FETCH_FAILED = 2,     // the connection failed
    QUERY_TLS_REFUSED = 3,      // the secure connection was refused
    QUERY_NO_MEMORY = 4,        // a reply outgrew memory; no words for the user
};

// Logs in with app_state.credentials, fetches the dynamic information and shows
// the balance in an information box owned by `owner`; a QueryResult.
int query_balance(WindowHandle owner);

// The working buffer: the URLs, then the rendered message.
const size_t balance_work_size = 2064;

// query_balance after the credentials were found valid, over the caller's
// working buffer of balance_work_size bytes, which is all zeros on return.
int query_balance_in(WindowHandle owner, char* work);

// The text of the first element <name> (name compared without case) up to the
// next "<", in a fresh heap text; null when absent.
char* tag_value(const char* name, const char* text);

// Writes `template_text` into `out` with each #name$ replaced by tag_value(name,
// source).  `out` needs 2064 bytes.
void expand_template(char* out, const char* template_text, const char* source);

// Converts `text` in place from UTF-8 to the ANSI code page (Linux: the locale's
// charset), never growing it.
void utf8_to_ansi(char* text);
