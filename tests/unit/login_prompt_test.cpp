// The terminal prompt that stands in for the login dialog on Linux, typed into
// through a pseudo-terminal that is the prompting process's controlling terminal.
// PtyTerminal::answer checks that the password is read with echo off.
#include "account/login_dialog.h"
#include "pass_hash_vectors.h"
#include "pty_terminal.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {
struct PromptResult {
    int choice;
    Credentials credentials;
};

void start_prompt(PtyTerminal* terminal, bool remember)
{
    terminal->start([remember] {
        set_login_remember(remember);
        PromptResult result = {show_login_dialog(nullptr), app_state.credentials};
        return std::string(reinterpret_cast<const char*>(&result), sizeof result);
    });
}

PromptResult result_of(PtyTerminal* terminal)
{
    PromptResult got = {-100, {}};
    std::string bytes = terminal->result();
    EXPECT_EQ(sizeof got, bytes.size());
    memcpy(&got, bytes.data(), std::min(bytes.size(), sizeof got));
    return got;
}

TEST(LoginPrompt, TrimsCutsTo14AndHashesTheWindows1251BytesOfThePassword)
{
    const struct {
        bool remember;
        const char* number;
        const char* password;
        int choice;
        const char* valid_number;
        const char* pass_hash;
    } cases[] = {
        {false, "  1234567 ", "пароль", LOGIN_ACCEPTED, "1234567", pass_hash_vectors[5].pass_hash},
        {true, "123456789012345678", "password", LOGIN_REMEMBER, "12345678901234", pass_hash_vectors[0].pass_hash},
    };
    for (const auto& c : cases) {
        PtyTerminal terminal;
        start_prompt(&terminal, c.remember);
        terminal.answer(c.number, c.password);
        PromptResult got = result_of(&terminal);
        EXPECT_EQ(c.choice, got.choice);
        EXPECT_STREQ(c.valid_number, got.credentials.contract_number);
        EXPECT_STREQ(c.pass_hash, got.credentials.pass_hash);
    }
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
    ASSERT_EQ(0, tcgetattr(terminal.master, &mode));
    EXPECT_NE(0u, mode.c_lflag & ECHO) << "echo is back after the password";
    terminal.type(std::string(1, static_cast<char>(mode.c_cc[VEOF])));
    PromptResult got = result_of(&terminal);
    EXPECT_EQ(LOGIN_CANCELLED, got.choice);
    EXPECT_STREQ("", got.credentials.contract_number);
    EXPECT_STREQ("", got.credentials.pass_hash);
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
    ASSERT_EQ(lone, waitpid(lone, &status, 0));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == LOGIN_NO_TERMINAL);
}
}  // namespace
