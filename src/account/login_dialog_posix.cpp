#include "account/login_dialog.h"

#include "account/credentials.h"
#include "account/pass_hash.h"
#include "common/charset_posix.h"
#include "common/heap_text.h"
#include "common/heap_text_posix.h"
#include "common/texts.h"
#include "common/texts_posix.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <strings.h>
#include <termios.h>
#include <unistd.h>

namespace {
const int max_attempts = 3;
const size_t line_size = 256;       // longer contract-number lines are cut
const size_t password_size = typed_password_max + 1;  // longer passwords are refused
const int code_cancelled = -1;
const int code_no_terminal = -2;

// The dialog's labels.
const char contract_prompt[] = N_("Contract number: ");
const char password_prompt[] = N_("Password: ");

bool remember_requested = false;

// The terminal's mode while echo is off, for the signal handler to restore.
int echo_off_fd = -1;
termios echo_on_mode;
const int restored_signals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
struct sigaction previous_actions[sizeof restored_signals / sizeof restored_signals[0]];

void restore_and_reraise(int signal_number)
{
    tcsetattr(echo_off_fd, TCSAFLUSH, &echo_on_mode);
    ::signal(signal_number, SIG_DFL);
    raise(signal_number);  // delivered once this handler returns
}

void set_signal_actions(const struct sigaction* action)
{
    for (size_t i = 0; i < sizeof restored_signals / sizeof restored_signals[0]; ++i) {
        if (action != nullptr) {
            sigaction(restored_signals[i], action, &previous_actions[i]);
        } else {
            sigaction(restored_signals[i], &previous_actions[i], nullptr);
        }
    }
}

// Echo off, with the signals that end the program restoring it first.
bool echo_off(int fd)
{
    if (tcgetattr(fd, &echo_on_mode) != 0) {
        return false;
    }
    termios mode = echo_on_mode;
    mode.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHOE | ECHOK | ECHONL);
    echo_off_fd = fd;
    struct sigaction action = {};
    action.sa_handler = restore_and_reraise;
    sigemptyset(&action.sa_mask);
    set_signal_actions(&action);
    if (tcsetattr(fd, TCSAFLUSH, &mode) != 0) {
        set_signal_actions(nullptr);
        return false;
    }
    return true;
}

void echo_on(int fd)
{
    tcsetattr(fd, TCSAFLUSH, &echo_on_mode);
    set_signal_actions(nullptr);
    echo_off_fd = -1;
}
void write_text(int fd, const char* text)
{
    size_t length = strlen(text);
    while (length > 0) {
        ssize_t put = write(fd, text, length);
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            return;
        }
        text += put;
        length -= static_cast<size_t>(put);
    }
}

// Reads one line without its line break into `out` (the excess is dropped).
// 1 a line; 2 a line cut to fit; 0 end of input before anything was typed;
// -1 read error.
int read_line(int fd, char* out, size_t size)
{
    size_t length = 0;
    bool got_any = false;
    bool cut = false;
    for (;;) {
        char c;
        ssize_t got = read(fd, &c, 1);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            out[length] = '\0';
            return -1;
        }
        if (got == 0 || c == '\n') {
            out[length] = '\0';
            return got_any || got == 1 ? (cut ? 2 : 1) : 0;
        }
        got_any = true;
        if (length + 1 < size) {
            out[length++] = c;
        } else {
            cut = true;
        }
    }
}

// Without a locale (cron, containers, ssh) the charset is plain ASCII, yet the
// terminal most likely sends UTF-8; ASCII itself is UTF-8 too.
const char* typed_charset()
{
    const char* charset = locale_charset();
    return strcmp(charset, "ANSI_X3.4-1968") == 0 || strcasecmp(charset, "US-ASCII") == 0 ? "UTF-8" : charset;
}

int read_password_and_hash(int fd, bool have_number, char* out)
{
    char password[password_size];
    write_text(fd, translate(password_prompt));
    if (!echo_off(fd)) {
        return code_no_terminal;  // a password is never read with echo on
    }
    int got = read_line(fd, password, sizeof password);
    echo_on(fd);
    write_text(fd, "\n");  // the line break typed was not echoed
    int code = got == 2 ? TYPED_TOO_LONG : code_cancelled;
    if (got == 1) {
        code = have_number && password[0] != '\0'
            ? hash_typed_password(password, typed_charset(), out)
            : code_empty_field;
    }
    secure_wipe(password, sizeof password);
    return code;
}

// One round of questions.  HASH_DONE when the Credentials hold a contract
// number and a pass-hash; otherwise they are empty and the code says why.
int ask_once(int fd)
{
    Credentials& credentials = app_state.credentials;
    credentials.contract_number[0] = '\0';
    credentials.pass_hash[0] = '\0';
    char line[line_size];
    write_text(fd, translate(contract_prompt));
    if (read_line(fd, line, sizeof line) <= 0) {
        write_text(fd, "\n");
        return code_cancelled;
    }
    copy_text(credentials.contract_number, line, sizeof credentials.contract_number);
    trim_spaces(credentials.contract_number);
    int code = read_password_and_hash(fd, credentials.contract_number[0] != '\0', credentials.pass_hash);
    if (code == HASH_DONE && credentials.pass_hash[0] != '\0') {
        return HASH_DONE;
    }
    credentials.contract_number[0] = '\0';
    credentials.pass_hash[0] = '\0';
    return code == HASH_DONE ? code_empty_field : code;
}

void report_failure(int fd, int code)
{
    if (code == TYPED_NOT_1251 || code == TYPED_TOO_LONG) {
        write_text(fd, translate(typed_password_refusal(code)));
        write_text(fd, "\n");
        return;
    }
    char* text = load_text(code == code_empty_field ? TEXT_BAD_CREDENTIALS : TEXT_HASH_ERROR);
    if (text == nullptr) {
        return;
    }
    if (code == code_empty_field) {
        write_text(fd, text);
    } else {
        char scratch[1024];
        snprintf(scratch, sizeof scratch, text, static_cast<unsigned long>(code));
        write_text(fd, scratch);
    }
    write_text(fd, "\n");
    free_text(text);
}
}  // namespace

void set_login_remember(bool remember)
{
    remember_requested = remember;
}

int show_login_dialog(WindowHandle)
{
    int fd = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return LOGIN_NO_TERMINAL;
    }
    int choice = LOGIN_CANCELLED;
    for (int attempt = 0; attempt < max_attempts; ++attempt) {
        int code = ask_once(fd);
        if (code == HASH_DONE) {
            choice = remember_requested ? LOGIN_REMEMBER : LOGIN_ACCEPTED;
            break;
        }
        if (code == code_cancelled || code == code_no_terminal || code == TYPED_NO_CONVERTER) {
            choice = code == code_cancelled ? LOGIN_CANCELLED
                : code == code_no_terminal  ? LOGIN_NO_TERMINAL
                                            : LOGIN_NO_CONVERTER;
            break;
        }
        report_failure(fd, code);
    }
    close(fd);
    return choice;
}
