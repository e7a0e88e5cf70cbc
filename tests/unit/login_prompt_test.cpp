// The terminal prompt that stands in for the login dialog on Linux, typed into
// through a pseudo-terminal that is the prompting process's controlling terminal.
#include "account/login_dialog.h"
#include "pass_hash_vectors.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <string>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace {
struct PromptResult {
    int choice;
    Credentials credentials;
};

class LoginPrompt : public ::testing::Test {
protected:
    // Starts the prompt in a child whose controlling terminal is a new pty.
    void start(bool remember)
    {
        ASSERT_EQ(pipe(result_pipe), 0);
        int slave = -1;
        ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
        child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            close(master);
            setsid();
            ioctl(slave, TIOCSCTTY, 0);
            setlocale(LC_ALL, "C.UTF-8");
            set_login_remember(remember);
            PromptResult result;
            result.choice = show_login_dialog(nullptr);
            result.credentials = app_state.credentials;
            ssize_t put = write(result_pipe[1], &result, sizeof result);
            _exit(put == sizeof result ? 0 : 1);
        }
        close(slave);
        close(result_pipe[1]);
    }

    void TearDown() override
    {
        if (child > 0) {
            kill(child, SIGKILL);
            waitpid(child, nullptr, 0);
        }
        close(master);
        close(result_pipe[0]);
    }

    // Reads the terminal until `text` has appeared behind what earlier waits
    // found (5 s at most).
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

    // Types the contract number and, once echo is off, the password.
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

    PromptResult result()
    {
        PromptResult got = {};
        got.choice = -100;
        EXPECT_EQ(read(result_pipe[0], &got, sizeof got), static_cast<ssize_t>(sizeof got));
        return got;
    }

    int master = -1;
    int result_pipe[2] = {-1, -1};
    pid_t child = -1;
    std::string output;
    size_t seen = 0;
};
}  // namespace

TEST_F(LoginPrompt, CyrillicPasswordIsHashedAsItsWindows1251Bytes)
{
    start(false);
    answer("  1234567 ", "пароль");
    PromptResult got = result();
    EXPECT_EQ(got.choice, LOGIN_ACCEPTED);
    EXPECT_STREQ(got.credentials.contract_number, "1234567");
    EXPECT_STREQ(got.credentials.pass_hash, pass_hash_vectors[6].pass_hash);
}

TEST_F(LoginPrompt, RememberGives2AndTheNumberIsCutTo14)
{
    start(true);
    answer("123456789012345678", "password");
    PromptResult got = result();
    EXPECT_EQ(got.choice, LOGIN_REMEMBER);
    EXPECT_STREQ(got.credentials.contract_number, "12345678901234");
    EXPECT_STREQ(got.credentials.pass_hash, pass_hash_vectors[0].pass_hash);
}

TEST_F(LoginPrompt, EmptyAnswersShowText2AndAskAgainThenEndOfInputCancels)
{
    start(false);
    answer("1234567", "");
    ASSERT_TRUE(wait_for("Неверный номер договора и/или пароль!")) << output;
    answer("", "password");
    ASSERT_TRUE(wait_for("Номер договора: ")) << output;
    termios mode;
    ASSERT_EQ(tcgetattr(master, &mode), 0);
    EXPECT_NE(mode.c_lflag & ECHO, 0u) << "echo is back after the password";
    type(std::string(1, static_cast<char>(mode.c_cc[VEOF])));
    PromptResult got = result();
    EXPECT_EQ(got.choice, LOGIN_CANCELLED);
    EXPECT_STREQ(got.credentials.contract_number, "");
    EXPECT_STREQ(got.credentials.pass_hash, "");
}

TEST_F(LoginPrompt, WithoutATerminalNothingIsAsked)
{
    pid_t lone = fork();
    ASSERT_GE(lone, 0);
    if (lone == 0) {
        setsid();  // no controlling terminal any more
        _exit(show_login_dialog(nullptr));
    }
    int status = 0;
    ASSERT_EQ(waitpid(lone, &status, 0), lone);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), LOGIN_NO_TERMINAL);
}
