// A child process whose controlling terminal is a new pseudo-terminal, typed
// into and read from here, as a person at a terminal would.
#pragma once

#include <gtest/gtest.h>

#include <clocale>
#include <csignal>
#include <functional>
#include <poll.h>
#include <pty.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

struct PtyTerminal {
    int master = -1;
    int result_fd = -1;
    pid_t child = -1;
    std::string output;
    size_t seen = 0;
    std::string locale = "ru_RU.UTF-8";
    // The prompt's labels as the child's locale shows them.
    std::string number_label = "Номер договора: ";
    std::string password_label = "Пароль: ";

    // Runs `body` in the child (under `locale`); what it returns comes back through result().
    void start(const std::function<std::string()>& body)
    {
        int result_pipe[2];
        int slave = -1;
        ASSERT_EQ(pipe(result_pipe), 0);
        ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
        child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            close(master);
            setsid();
            ioctl(slave, TIOCSCTTY, 0);
            signal(SIGHUP, SIG_IGN);  // hanging up the terminal ends input, not the child
            setlocale(LC_ALL, locale.c_str());
            std::string result = body();
            _exit(write(result_pipe[1], result.data(), result.size()) == static_cast<ssize_t>(result.size()) ? 0 : 1);
        }
        close(slave);
        close(result_pipe[1]);
        result_fd = result_pipe[0];
    }

    ~PtyTerminal()
    {
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        close(master);
        close(result_fd);
    }

    // Reads `fd` for up to `tenths` tenths of a second, or until `done`.
    static void read_from(int fd, std::string* into, int tenths, const std::function<bool()>& done)
    {
        for (int i = 0; i < tenths && !done(); ++i) {
            pollfd ready = {fd, POLLIN, 0};
            char chunk[512];
            ssize_t got = poll(&ready, 1, 100) > 0 ? read(fd, chunk, sizeof chunk) : 0;
            if (got > 0) {
                into->append(chunk, static_cast<size_t>(got));
            } else if (ready.revents & POLLHUP) {
                return;
            }
        }
    }

    // Reads the terminal until `text` appears behind what earlier waits found (5 s at most).
    bool wait_for(const std::string& text)
    {
        read_from(master, &output, 50, [&] { return output.find(text, seen) != std::string::npos; });
        size_t found = output.find(text, seen);
        seen = found == std::string::npos ? seen : found + text.size();
        return found != std::string::npos;
    }

    void type(const std::string& text)
    {
        ASSERT_EQ(write(master, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    }

    // Types the contract number and, once echo is off, the password, which must
    // not come back on the screen.
    void answer(const std::string& number, const std::string& password)
    {
        ASSERT_TRUE(wait_for(number_label)) << output;
        type(number + "\n");
        ASSERT_TRUE(wait_for(password_label)) << output;
        termios mode = {};
        for (int i = 0; i < 50 && tcgetattr(master, &mode) == 0 && (mode.c_lflag & ECHO) != 0; ++i) {
            usleep(100 * 1000);
        }
        ASSERT_EQ(mode.c_lflag & ECHO, 0u) << "the password must not be echoed";
        size_t before = output.size();
        type(password + "\n");
        wait_for("\n");
        EXPECT_TRUE(password.empty() || output.find(password, before) == std::string::npos) << output;
    }

    // What the child's body returned (empty if it died first or took over 30 s).
    std::string result()
    {
        std::string bytes;
        read_from(result_fd, &bytes, 300, [] { return false; });
        return bytes;
    }
};
