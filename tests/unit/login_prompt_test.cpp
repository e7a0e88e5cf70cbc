// The terminal prompt that stands in for the login dialog on Linux, typed into
// through a pseudo-terminal that is the prompting process's controlling terminal.
#include "account/login_dialog.h"
#include "pass_hash_vectors.h"
#include "pty_terminal.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace {
struct PromptResult {
    int choice;
    Credentials credentials;
};

void start_prompt(PtyTerminal* terminal, bool remember)
{
    terminal->start([remember] {
        set_login_remember(remember);
        PromptResult result;
        result.choice = show_login_dialog(nullptr);
        result.credentials = app_state.credentials;
        return std::string(reinterpret_cast<const char*>(&result), sizeof result);
    });
}

PromptResult result_of(PtyTerminal* terminal)
{
    PromptResult got = {};
    got.choice = -100;
    std::string bytes = terminal->result();
    EXPECT_EQ(bytes.size(), sizeof got);
    if (bytes.size() == sizeof got) {
        memcpy(&got, bytes.data(), sizeof got);
    }
    return got;
}
}  // namespace

TEST(LoginPrompt, CyrillicPasswordIsHashedAsItsWindows1251Bytes)
{
    PtyTerminal terminal;
    start_prompt(&terminal, false);
    terminal.answer("  1234567 ", "пароль");
    PromptResult got = result_of(&terminal);
    EXPECT_EQ(got.choice, LOGIN_ACCEPTED);
    EXPECT_STREQ(got.credentials.contract_number, "1234567");
    EXPECT_STREQ(got.credentials.pass_hash, pass_hash_vectors[6].pass_hash);
}

TEST(LoginPrompt, RememberGives2AndTheNumberIsCutTo14)
{
    PtyTerminal terminal;
    start_prompt(&terminal, true);
    terminal.answer("123456789012345678", "password");
    PromptResult got = result_of(&terminal);
    EXPECT_EQ(got.choice, LOGIN_REMEMBER);
    EXPECT_STREQ(got.credentials.contract_number, "12345678901234");
    EXPECT_STREQ(got.credentials.pass_hash, pass_hash_vectors[0].pass_hash);
}

TEST(LoginPrompt, EmptyAnswersShowText2AndAskAgainThenEndOfInputCancels)
{
    PtyTerminal terminal;
    start_prompt(&terminal, false);
    terminal.answer("1234567", "");
    ASSERT_TRUE(terminal.wait_for("Неверный номер договора и/или пароль!")) << terminal.output;
    terminal.answer("", "password");
    ASSERT_TRUE(terminal.wait_for("Номер договора: ")) << terminal.output;
    termios mode;
    ASSERT_EQ(tcgetattr(terminal.master, &mode), 0);
    EXPECT_NE(mode.c_lflag & ECHO, 0u) << "echo is back after the password";
    terminal.type(std::string(1, static_cast<char>(mode.c_cc[VEOF])));
    PromptResult got = result_of(&terminal);
    EXPECT_EQ(got.choice, LOGIN_CANCELLED);
    EXPECT_STREQ(got.credentials.contract_number, "");
    EXPECT_STREQ(got.credentials.pass_hash, "");
}

TEST(LoginPrompt, WithoutATerminalNothingIsAsked)
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
