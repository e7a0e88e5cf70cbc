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
// one of freed_secrets.
Played play(int (*call)(WindowHandle), const LoginAnswer* answer)
{
    FILE* printed = tmpfile();
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
        int result = call_deeper(call);
        bool wiped = credentials_wiped() && !stack_holds(typed) && freed_holding_secret == 0;
        fflush(stdout);
        fflush(stderr);
        dprintf(1, "\n%d %d", result, wiped ? 1 : 0);
        _exit(0);
    }
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
    for (int i = 0; i < 300 && waitpid(child, nullptr, WNOHANG) == 0; ++i) {  // 30 s at most
        usleep(100 * 1000);
    }
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    close(master);
    std::string box(64 * 1024, '\0');
    box.resize(std::max<ssize_t>(0, pread(fileno(printed), &box[0], box.size(), 0)));
    fclose(printed);
    Played played = {-100, "", false};
    size_t trailer = box.rfind('\n');
    int wiped = 0;
    if (trailer != std::string::npos && sscanf(box.c_str() + trailer, "\n%d %d", &played.result, &wiped) == 2) {
        played.wiped = wiped == 1;
        box.resize(trailer);
        played.box = !box.empty() && box.back() == '\n' ? box.substr(0, box.size() - 1) : box;
    }
    return played;
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
