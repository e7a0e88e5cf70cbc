// The numbered text catalogue.
#pragma once

enum TextId : unsigned {
    TEXT_TITLE = 1,
    TEXT_BAD_CREDENTIALS = 2,
    TEXT_CONNECTION_ERROR = 3,
    TEXT_TLS_DISABLED = 4,
    TEXT_HASH_ERROR = 5,
    TEXT_BALANCE_TEMPLATE = 6,
    TEXT_API_URL = 7,
    TEXT_LOGIN_QUERY = 8,
    TEXT_DYNAMIC_INFO_QUERY = 9,
    TEXT_STATS_URL = 10,
    TEXT_HOME_URL = 11,
};

// A fresh buffer holding text `id` in the ANSI code page (Windows) or the locale's
// charset (Linux); an empty text for a number without text in an existing block of
// 16; null when the block is missing or memory runs out.  The caller frees it.
char* load_text(unsigned id);
