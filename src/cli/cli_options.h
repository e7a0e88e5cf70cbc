// The command line of tarvelon.
#pragma once

#include <climits>
#include <cstddef>

enum CliCommand { COMMAND_HELP, COMMAND_VERSION, COMMAND_STATUS, COMMAND_BALANCE, COMMAND_PROBE };

// Exit statuses, as documented in the help text.
enum CliExit {
    EXIT_OK = 0,
    EXIT_BAD_CREDENTIALS = 1,
    EXIT_CONNECTION = 2,
    EXIT_TLS = 3,
    EXIT_CANCELLED = 4,  // cancelled, or no terminal to ask on
    EXIT_NO_CONVERTER = 5,  // no Windows-1251 converter for the password
    EXIT_USAGE = 64,
};

struct CliOptions {
    CliCommand command;
    const char* host;           // probe: the host given, or null for the statistics site
    const char* settings_path;  // --settings, or settings_default
    bool remember;
    bool no_probe;
    char settings_default[PATH_MAX];
};

// Fills `options` from the command line; EXIT_OK, or EXIT_USAGE after saying what is wrong.
int parse_options(int argc, char** argv, CliOptions* options);
