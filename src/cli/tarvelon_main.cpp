// tarvelon: the balance and the connection status from a terminal.
#include "cli/cli_output.h"
#include "cli/cli_options.h"

#include "account/balance_query.h"
#include "account/login_dialog.h"
#include "account/settings.h"
#include "common/heap_text.h"
#include "common/texts.h"
#include "status/address_probe.h"
#include "status/status_summary.h"

#include <arpa/inet.h>
#include <clocale>
#include <cstdio>
#include <cstring>

namespace {
int run_status(const CliOptions& options)
{
    uint32_t external = options.no_probe ? 0 : probe_statistics_site();
    char* text = status_text(external);
    if (text == nullptr) {
        print_error(msg_out_of_memory);
        return EXIT_CONNECTION;
    }
    print_line(text);
    free_text(text);
    return EXIT_OK;
}

int run_probe(const CliOptions& options)
{
    uint32_t address = options.host != nullptr ? probe_external_address(options.host)
                                                : probe_statistics_site();
    if (address == 0) {
        print_error(msg_probe_failed);
        return EXIT_CONNECTION;
    }
    char dotted[INET_ADDRSTRLEN];
    inet_ntop(AF_INET, &address, dotted, sizeof dotted);
    print_line(dotted);
    return EXIT_OK;
}

// balance_command has shown its own error text for the failures it reports.
int balance_exit_status(int outcome)
{
    switch (outcome) {
    case QUERY_SHOWN:
        return EXIT_OK;
    case QUERY_BAD_CREDENTIALS:
        return EXIT_BAD_CREDENTIALS;
    case QUERY_FETCH_FAILED:
        return EXIT_CONNECTION;
    case QUERY_TLS_REFUSED:
        return EXIT_TLS;
    case BALANCE_CANCELLED:
        print_error(msg_cancelled);
        return EXIT_CANCELLED;
    case BALANCE_NO_TERMINAL:
        print_error(msg_no_terminal);
        return EXIT_CANCELLED;
    case BALANCE_NO_CONVERTER:
        print_error(msg_no_converter);
        return EXIT_NO_CONVERTER;
    default:
        print_error(msg_out_of_memory);
        return EXIT_CONNECTION;
    }
}

// The balance was shown; whether the pair asked to be remembered was.  The exit
// status stays the balance's.
void report_store(const char* path)
{
    int error = 0;
    int result = settings_store_result(&error);
    if (result == SETTINGS_STORED) {
        return;
    }
    const char* message = result == SETTINGS_UNREADABLE      ? msg_not_stored_unreadable
                          : result == SETTINGS_UNREPRESENTABLE ? msg_not_stored_unrepresentable
                          : result == SETTINGS_NOT_A_FILE      ? msg_not_stored_not_a_file
                                                               : msg_not_stored_write_failed;
    char detail[PATH_MAX + 128];
    snprintf(detail, sizeof detail, "%s (%s)", path, strerror(error));
    print_error_detail(message, detail);
}

int run_balance(const CliOptions& options)
{
    // A directory that cannot be made stops only the storing, which says so.
    if (options.settings_path == options.settings_default) {
        make_private_parent_dirs(options.settings_path);
    }
    set_settings_path(options.settings_path);
    set_login_remember(options.remember);
    int outcome = balance_command(nullptr);
    if (outcome == QUERY_SHOWN && options.remember) {
        report_store(options.settings_path);
    }
    return balance_exit_status(outcome);
}
}  // namespace

int main(int argc, char** argv)
{
    setlocale(LC_ALL, "");
    CliOptions options;
    int status = parse_options(argc, argv, &options);
    if (status != EXIT_OK) {
        print_error(msg_usage_hint);
        return status;
    }
    bool probes = options.command == COMMAND_PROBE || (options.command == COMMAND_STATUS && !options.no_probe);
    if (!probes) {
        drop_capabilities();
    }
    switch (options.command) {
    case COMMAND_HELP:
        print_text(msg_help);
        return EXIT_OK;
    case COMMAND_VERSION: {
        char* title = load_text(TEXT_TITLE);
        print_line(title == nullptr ? "" : title);
        free_text(title);
        return EXIT_OK;
    }
    case COMMAND_STATUS:
        return run_status(options);
    case COMMAND_PROBE:
        return run_probe(options);
    case COMMAND_BALANCE:
        return run_balance(options);
    }
    return EXIT_USAGE;
}
