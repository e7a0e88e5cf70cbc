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

    // Runs `body` in the child (UTF-8 locale); what it returns comes back through result().
    void start(const std::function<std::string()>& body)
    {
        int result_pipe[2];
        ASSERT_EQ(pipe(result_pipe), 0);
        int slave = -1;
        ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
        child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            close(master);
            close(result_pipe[0]);
            setsid();
            ioctl(slave, TIOCSCTTY, 0);
            setlocale(LC_ALL, "C.UTF-8");
            std::string result = body();
            ssize_t put = write(result_pipe[1], result.data(), result.size());
            _exit(put == static_cast<ssize_t>(result.size()) ? 0 : 1);
        }
        close(slave);
        close(result_pipe[1]);
        result_fd = result_pipe[0];
    }

    ~PtyTerminal()
    {
        if (child > 0) {
            kill(child, SIGKILL);
            waitpid(child, nullptr, 0);
        }
        close(master);
        close(result_fd);
    }

    // Reads the terminal until `text` appears behind what earlier waits found (5 s at most).
    bool wait_for(const std::string& text)
    {
        for (int i = 0; i < 50 && output.find(text, seen) == std::string::npos; ++i) {
            pollfd ready = {master, POLLIN, 0};
            if (poll(&ready, 1, 100) > 0) {
                char chunk[256];
                ssize_t got = read(master, chunk, sizeof chunk);
                if (got > 0) {
                    output.append(chunk, static_cast<size_t>(got));
                }
            }
        }
        size_t found = output.find(text, seen);
        if (found == std::string::npos) {
            return false;
        }
        seen = found + text.size();
        return true;
    }

    bool echo_is_off()
    {
        for (int i = 0; i < 50; ++i) {
            termios mode;
            if (tcgetattr(master, &mode) == 0 && (mode.c_lflag & ECHO) == 0) {
                return true;
            }
            usleep(100 * 1000);
        }
        return false;
    }

    void type(const std::string& text)
    {
        ASSERT_EQ(write(master, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    }

    // Types the contract number and, once echo is off, the password, which must
    // not come back on the screen.
    void answer(const std::string& number, const std::string& password)
    {
        ASSERT_TRUE(wait_for("Номер договора: ")) << output;
        type(number + "\n");
        ASSERT_TRUE(wait_for("Пароль: ")) << output;
        ASSERT_TRUE(echo_is_off()) << "the password must not be echoed";
        size_t before = output.size();
        type(password + "\n");
        wait_for("\n");
        if (!password.empty()) {
            ASSERT_EQ(output.find(password, before), std::string::npos) << output;
        }
    }

    // What the child's body returned (empty if it died first).
    std::string result()
    {
        std::string bytes;
        char chunk[512];
        for (ssize_t got; (got = read(result_fd, chunk, sizeof chunk)) > 0;) {
            bytes.append(chunk, static_cast<size_t>(got));
        }
        return bytes;
    }
};
