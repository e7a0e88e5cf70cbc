#include "cli/cli_options.h"

#include "cli/cli_output.h"

#include "account/settings.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
bool is_option(const char* arg, const char* name)
{
    return strcmp(arg, name) == 0;
}

bool parse_command(const char* word, CliCommand* command)
{
    const struct {
        const char* word;
        CliCommand command;
    } commands[] = {{"status", COMMAND_STATUS}, {"balance", COMMAND_BALANCE}, {"probe", COMMAND_PROBE}};
    for (const auto& entry : commands) {
        if (strcmp(word, entry.word) == 0) {
            *command = entry.command;
            return true;
        }
    }
    return false;
}

int usage_error(const char* message, const char* detail)
{
    print_error_detail(message, detail);
    return EXIT_USAGE;
}

// Options that only one command takes.
int check_command_options(const CliOptions* options)
{
    if (options->remember && options->command != COMMAND_BALANCE) {
        return usage_error(msg_option_not_for_command, "--remember");
    }
    if (options->no_probe && options->command != COMMAND_STATUS) {
        return usage_error(msg_option_not_for_command, "--no-probe");
    }
    return EXIT_OK;
}
}  // namespace

int parse_options(int argc, char** argv, CliOptions* options)
{
    memset(options, 0, sizeof *options);
    bool have_command = false;
    bool options_ended = false;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (!options_ended && arg[0] == '-' && arg[1] != '\0') {
            if (is_option(arg, "--")) {
                options_ended = true;
            } else if (is_option(arg, "-h") || is_option(arg, "--help")) {
                options->command = COMMAND_HELP;
                return EXIT_OK;
            } else if (is_option(arg, "--version")) {
                options->command = COMMAND_VERSION;
                return EXIT_OK;
            } else if (is_option(arg, "--remember")) {
                options->remember = true;
            } else if (is_option(arg, "--no-probe")) {
                options->no_probe = true;
            } else if (is_option(arg, "--settings")) {
                if (i + 1 >= argc || argv[i + 1][0] == '\0') {
                    return usage_error(msg_settings_needs_file, nullptr);
                }
                options->settings_path = argv[++i];
            } else if (strncmp(arg, "--settings=", 11) == 0 && arg[11] != '\0') {
                options->settings_path = arg + 11;
            } else {
                return usage_error(msg_unknown_option, arg);
            }
        } else if (!have_command) {
            if (!parse_command(arg, &options->command)) {
                return usage_error(msg_unknown_command, arg);
            }
            have_command = true;
        } else if (options->command == COMMAND_PROBE && options->host == nullptr) {
            options->host = arg;
        } else {
            return usage_error(msg_extra_argument, arg);
        }
    }
    if (!have_command) {
        return usage_error(msg_no_command, nullptr);
    }
    if (options->settings_path == nullptr) {
        if (default_settings_path(options->settings_default, sizeof options->settings_default)) {
            options->settings_path = options->settings_default;
        } else if (options->command == COMMAND_BALANCE) {
            return usage_error(msg_no_settings_home, nullptr);
        }
    }
    return check_command_options(options);
}
