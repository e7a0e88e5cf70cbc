// Field rules of the Credentials in app_state.
#pragma once

// Removes leading and trailing spaces (0x20 only) in place; null is ignored.
void trim_spaces(char* text);

// Trims, then empties the text if any character is outside the allowed set:
// digits, and with `url_safe` also ASCII letters and "%-._~".
void sanitize_field(char* text, bool url_safe);

// Sanitizes both fields; if either ends empty, both do.
void validate_credentials();

// Zeros every byte of both fields.
void wipe_credentials();
