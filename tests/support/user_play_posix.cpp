// The call runs in a child on a fresh pseudo-terminal; what it prints is the box.
#include "user_play.h"

#include "account/login_dialog.h"
#include "billing_sim.h"
#include "common/heap_text.h"
#include "common/texts.h"
#include "memory_probe_posix.h"

#include <algorithm>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace {
void type(int master, const std::string& text)
{
    EXPECT_EQ(write(master, text.data(), text.size()), static_cast<ssize_t>(text.size()));
}

// Runs `call` well below this frame, so that the probes after it do not write over what it left.
__attribute__((noinline)) int call_deeper(int (*call)(WindowHandle))
{
    volatile char pad[64 * 1024];
    pad[0] = 0;
    int result = call(nullptr);
    pad[sizeof pad - 1] = 0;
    return result;
}
}  // namespace

// Played.wiped also needs the typed password gone from the stack, and no freed block holding it or
// one of freed_secrets.  The child sends the result and Played.wiped through a pipe.
Played play(int (*call)(WindowHandle), const LoginAnswer* answer)
{
    FILE* printed = tmpfile();
    int report[2] = {-100, 0};  // the result and wiped, as the child sends them
    int channel[2];
    EXPECT_EQ(pipe(channel), 0);
    int master = -1;
    pid_t child = forkpty(&master, nullptr, nullptr, nullptr);
    if (child == 0) {
        dup2(fileno(printed), 1);
        dup2(fileno(printed), 2);
        setlocale(LC_ALL, "ru_RU.UTF-8");
        set_login_remember(answer != nullptr && answer->remember);
        std::string typed = answer != nullptr && answer->password != nullptr ? answer->password : "(none)";
        typed += '\0';
        freed_secrets.push_back(typed);
        freed_holding_secret = 0;
        report[0] = call_deeper(call);
        report[1] = credentials_wiped() && !stack_holds(typed) && freed_holding_secret == 0;
        fflush(nullptr);
        _exit(write(channel[1], report, sizeof report) == sizeof report ? 0 : 1);
    }
    close(channel[1]);
    if (answer == nullptr || answer->number == nullptr) {
        type(master, "\x04");  // end of input: a prompt is cancelled
    } else {
        type(master, answer->number + std::string("\n"));
        // The password prompt flushes what was typed ahead: wait for it.
        termios mode = {};
        for (int i = 0; i < 50 && tcgetattr(master, &mode) == 0 && (mode.c_lflag & ECHO) != 0; ++i) {
            usleep(100 * 1000);
        }
        type(master, answer->password + std::string("\n"));
    }
    pollfd sent = {channel[0], POLLIN, 0};
    poll(&sent, 1, 30 * 1000);  // a call that hangs is killed after 30 s
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    EXPECT_EQ(read(channel[0], report, sizeof report), static_cast<ssize_t>(sizeof report)) << "the call died";
    close(channel[0]);
    close(master);
    std::string box(64 * 1024, '\0');
    box.resize(std::max<ssize_t>(0, pread(fileno(printed), &box[0], box.size(), 0)));
    fclose(printed);
    return {report[0], box.substr(0, box.find_last_not_of('\n') + 1), report[1] == 1};  // without its line feed
}

std::string catalogue_utf8(unsigned id)
{
    setlocale(LC_ALL, "ru_RU.UTF-8");
    char* text = load_text(id);
    std::string copy = text != nullptr ? text : "";
    free_text(text);
    setlocale(LC_ALL, "C");
    return copy;
}
