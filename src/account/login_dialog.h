// Asking the user for the contract number and password.
#pragma once

#include "common/app_state.h"

enum LoginChoice {
    LOGIN_CANCELLED = 0,
    LOGIN_ACCEPTED = 1,
    LOGIN_REMEMBER = 2,
    LOGIN_FROM_SETTINGS = 3,  // no dialog: the settings file had a valid pair
    LOGIN_NO_TERMINAL = 4,    // Linux: no terminal to ask on; ends like a cancel
    LOGIN_NO_CONVERTER = 5,   // Linux: no Windows-1251 converter; ends like a cancel
};

// The dialog's own failure code, beside make_pass_hash's: a field was left empty.
const int code_empty_field = 100;

// Shows the login dialog owned by `owner`; fills app_state.credentials on 1 or 2.
// Windows: dialog resource 100; Linux: a prompt on the terminal (/dev/tty).
int show_login_dialog(WindowHandle owner);

#if !defined(_WIN32)
// Linux: the command line's --remember; the prompt then answers LOGIN_REMEMBER,
// as the ticked box would.
void set_login_remember(bool remember);
#endif
