// A user in front of a call that may ask for the credentials and show message boxes.
#pragma once

#include "common/app_state.h"

#include <cstring>
#include <string>

// Types `number` and `password` and ticks remember; with a null number, cancels.
struct LoginAnswer {
    const char* number;
    const char* password;
    bool remember;
};

struct Played {
    int result;
    std::string box;  // the text of the message box the call showed (OKed), or ""
    bool wiped;       // every byte of app_state.credentials is zero afterwards (Linux: more, see play)
};

// Runs `call` with `answer` as the user's; without an answer any request for
// the credentials is refused.  On Windows the box must carry the owner's title.
Played play(int (*call)(WindowHandle), const LoginAnswer* answer);

// Catalogue text `id` in UTF-8.
std::string catalogue_utf8(unsigned id);

// Played.wiped, for the two sides of play.
inline bool credentials_wiped()
{
    const Credentials zero = {};
    return memcmp(&app_state.credentials, &zero, sizeof zero) == 0;
}
