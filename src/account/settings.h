// The settings file and the Balance command.
#pragma once

#include "common/app_state.h"

#include <cstddef>

// Where the credentials are kept: section and keys of the settings file.
const char settings_section[] = "General";
const char username_key[] = "username";
const char passhash_key[] = "passhash";

// balance_command's results besides query_balance's QueryResult.
enum BalanceEnd {
    BALANCE_CANCELLED = -1,    // the dialog was cancelled; no query was made
    BALANCE_NO_TERMINAL = -2,  // Linux: no terminal to ask for the credentials on
    BALANCE_NO_CONVERTER = -3, // Linux: the password cannot be converted to Windows-1251 here
};

// Fills app_state.credentials from the settings file and validates them.
void read_settings();

// Validates app_state.credentials and, if both fields are non-empty, stores them.
void write_settings();

// One Balance request from start to end; every box is owned by `owner`.  Returns
// a QueryResult (bad credentials, connection and TLS failures reported in an
// error box; QUERY_NO_MEMORY silent) or a BalanceEnd.  The Windows program ignores it; the Linux command
// makes its exit status of it.
int balance_command(WindowHandle owner);

// Platform side.  Reads `key` of the settings section into `out`, at most
// `size` - 1 characters; empty when missing.
void read_setting(const char* key, char* out, size_t size);

// Platform side.  Stores the pair, username first.
void write_setting_pair(const char* username, const char* passhash);

// Platform side.  The catalogue text shown when the secure connection was
// refused: on Windows the advice to enable TLS in the browser options, which
// Linux does not have.
unsigned tls_failure_text();

#if !defined(_WIN32)
// Linux: how the last write_settings ended, with the errno of a failure.
enum SettingsStore {
    SETTINGS_STORED,
    SETTINGS_UNREADABLE,        // replacing the file would lose what it holds
    SETTINGS_UNREPRESENTABLE,   // NUL bytes (UTF-16?): left as it is
    SETTINGS_WRITE_FAILED,
    SETTINGS_NOT_A_FILE,        // a directory, a FIFO or a device: left alone
};
int settings_store_result(int* error);

// Linux: the settings file to use from now on (default "Tarvelon.ini" in the
// current directory).  The text must outlive every later call.
void set_settings_path(const char* path);

// Linux: the settings file both Linux programs use unless told otherwise:
// $XDG_CONFIG_HOME/tarvelon/Tarvelon.ini, else ~/.config/tarvelon/Tarvelon.ini.
// False when neither names a home or the path does not fit.
bool default_settings_path(char* out, size_t size);

// Linux: creates the missing directories above `path`, private to the user (0700).
void make_private_parent_dirs(const char* path);
#endif
