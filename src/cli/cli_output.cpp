#include "cli/cli_output.h"

#include "common/texts_posix.h"

#include <cstdio>

const char* const msg_help = N_(
    "Usage: tarvelon [OPTIONS] COMMAND\n"
    "\n"
    "The account balance and the state of the connection to the provider's network.\n"
    "\n"
    "Commands:\n"
    "  status          IPv4 address and the number of bytes sent and received;\n"
    "                  behind a home router, the connection's external address too\n"
    "  balance         the account balance and how many days of the subscription fee it covers\n"
    "  probe [HOST]    the external address a router records in an ICMP echo request\n"
    "                  (by default the statistics site's host)\n"
    "\n"
    "Options:\n"
    "  --settings FILE  settings file (default $XDG_CONFIG_HOME/tarvelon/Tarvelon.ini,\n"
    "                   else ~/.config/tarvelon/Tarvelon.ini)\n"
    "  --remember       balance: remember the contract number and password after a successful query\n"
    "  --no-probe       status: do not look up the external address\n"
    "  -h, --help       show this help\n"
    "      --version    show the version\n"
    "\n"
    "The password is not stored: the settings file keeps only its hash (mode 0600).\n"
    "To start afresh, delete the settings file.\n"
    "\n"
    "The external address is learned through a raw ICMP socket. An ordinary user needs\n"
    "the permission: sudo setcap cap_net_raw+ep \"$(command -v tarvelon)\"\n"
    "\n"
    "Exit status:\n"
    "  0   success\n"
    "  1   wrong contract number and/or password\n"
    "  2   cannot connect to the server; probe: no external address learned\n"
    "  3   the secure connection could not be opened\n"
    "  4   input cancelled, or no terminal to ask on\n"
    "  5   the password cannot be converted to Windows-1251 on this system\n"
    "  64  wrong usage\n");

const char* const msg_usage_hint = N_("help: tarvelon --help");
const char* const msg_no_command = N_("no command given (status, balance or probe)");
const char* const msg_unknown_command = N_("unknown command (status, balance or probe expected)");
const char* const msg_unknown_option = N_("unknown option");
const char* const msg_extra_argument = N_("extra argument");
const char* const msg_option_not_for_command = N_("option does not fit this command");
const char* const msg_settings_needs_file = N_("--settings needs the path of a settings file");
const char* const msg_no_settings_home =
    N_("no settings directory: set HOME or XDG_CONFIG_HOME, or give --settings FILE");
const char* const msg_not_stored_unreadable =
    N_("the contract number and password were not remembered: the settings file cannot be read, "
       "and replacing it would lose what it holds");
const char* const msg_not_stored_unrepresentable =
    N_("the contract number and password were not remembered: the settings file holds NUL bytes "
       "(UTF-16 text, perhaps), which this program cannot keep; it is left as it is");
const char* const msg_not_stored_not_a_file =
    N_("the contract number and password were not remembered: the settings path names a directory, "
       "a FIFO or a device, not a file; choose another with --settings FILE");
const char* const msg_not_stored_write_failed =
    N_("the contract number and password were not remembered: the settings file cannot be written; "
       "choose another with --settings FILE");
const char* const msg_probe_failed =
    N_("no external address learned: no reply with a recorded route, or no permission for raw sockets "
       "(sudo setcap cap_net_raw+ep \"$(command -v tarvelon)\")");
const char* const msg_out_of_memory = N_("out of memory");
const char* const msg_cancelled = N_("input cancelled; the balance was not queried");
const char* const msg_no_converter =
    N_("the password cannot be converted to Windows-1251, which its hash is made of: this system has no "
       "converter for that charset (glibc's gconv modules are missing); nothing was asked of the server");
const char* const msg_no_terminal =
    N_("no terminal to ask for the contract number and password on: run "
       "\"tarvelon balance --remember\" in a terminal once, and later runs take them from the settings file");

void print_text(const char* message)
{
    fputs(translate(message), stdout);
    fflush(stdout);
}

void print_error_detail(const char* message, const char* detail)
{
    fputs("tarvelon: ", stderr);
    fputs(translate(message), stderr);
    if (detail != nullptr) {
        fprintf(stderr, ": %s", detail);
    }
    fputc('\n', stderr);
}

void print_error(const char* message)
{
    print_error_detail(message, nullptr);
}

void print_line(const char* text)
{
    printf("%s\n", text);
    fflush(stdout);
}
