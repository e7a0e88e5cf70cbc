// The terminal prompt that stands in for the login dialog on Linux, typed into
// through a pseudo-terminal that is the prompting process's controlling terminal.
// PtyTerminal::answer checks that the password is read with echo off.
#include "account/login_dialog.h"
#include "account/settings.h"
#include "pass_hash_vectors.h"
#include "pty_terminal.h"

#include <gtest/gtest.h>

#include <cstring>
#include <dlfcn.h>
#include <iconv.h>
#include <string>

// Set in a child: no charset converter can be opened, as on a system without
// glibc's gconv modules.
bool converters_gone = false;

extern "C" iconv_t iconv_open(const char* to, const char* from)
{
    typedef iconv_t (*Open)(const char*, const char*);
    static Open real = reinterpret_cast<Open>(dlsym(RTLD_NEXT, "iconv_open"));
    return converters_gone ? reinterpret_cast<iconv_t>(-1) : real(to, from);
}

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

// Without a locale (cron, containers, ssh) the typed bytes are read as UTF-8.
// A password with no exact Windows-1251 form, or longer than the buffer, would
// hash unlike the Windows edition's: refused with a word and asked again.
TEST(LoginPrompt, PasswordsWithoutTheirWindows1251FormAreAskedAgain)
{
    for (const char* locale : {"C", "C.UTF-8"}) {
        SCOPED_TRACE(locale);
        PtyTerminal terminal;
        terminal.locale = locale;
        terminal.number_label = "Contract number: ";
        terminal.password_label = "Password: ";
        start_prompt(&terminal, false);
        terminal.answer("1234567", "caf\u00e9");
        EXPECT_TRUE(terminal.wait_for("Windows-1251 cannot represent")) << terminal.output;
        terminal.answer("1234567", std::string(1024, 'a'));
        EXPECT_TRUE(terminal.wait_for("longer than 1023 bytes")) << terminal.output;
        terminal.answer("1234567", "пароль");
        PromptResult got = result_of(&terminal);
        EXPECT_EQ(LOGIN_ACCEPTED, got.choice);
        EXPECT_STREQ(pass_hash_vectors[5].pass_hash, got.credentials.pass_hash);
    }
}

// Asking again would not help: said once, and the command ends.
TEST(LoginPrompt, WithoutAWindows1251ConverterTheCommandEndsAtOnce)
{
    PtyTerminal terminal;
    terminal.start([] {
        set_settings_path("/nonexistent/Tarvelon.ini");
        converters_gone = true;
        int result = balance_command(nullptr);
        return std::string(result == BALANCE_NO_CONVERTER ? "stopped" : "went on");
    });
    terminal.answer("1234567", "password");
    EXPECT_EQ("stopped", terminal.result());
    terminal.wait_for("\n");
    EXPECT_EQ(terminal.output.find("Номер договора"), terminal.output.rfind("Номер договора")) << "asked once";
    EXPECT_EQ(std::string::npos, terminal.output.find("Ошибка")) << terminal.output;
}
}  // namespace
