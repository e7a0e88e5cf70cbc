// What tarvelon says, and how it reaches the terminal.
#pragma once

// Messages of the command line, in English; translated when printed.
extern const char* const msg_help;
extern const char* const msg_usage_hint;
extern const char* const msg_no_command;
extern const char* const msg_unknown_command;
extern const char* const msg_unknown_option;
extern const char* const msg_extra_argument;
extern const char* const msg_option_not_for_command;
extern const char* const msg_settings_needs_file;
extern const char* const msg_no_settings_home;
extern const char* const msg_not_stored_unreadable;
extern const char* const msg_not_stored_unrepresentable;
extern const char* const msg_not_stored_write_failed;
extern const char* const msg_not_stored_not_a_file;
extern const char* const msg_probe_failed;
extern const char* const msg_out_of_memory;
extern const char* const msg_no_terminal;
extern const char* const msg_cancelled;
extern const char* const msg_no_converter;

// A message to stdout, translated, with no line break added (the help).
void print_text(const char* message);

// "tarvelon: message[: detail]" to stderr; the detail is printed as given.
void print_error_detail(const char* message, const char* detail);
void print_error(const char* message);

// A text already in the terminal's charset (catalogue texts, the status text),
// followed by a line break, to stdout.
void print_line(const char* text);
