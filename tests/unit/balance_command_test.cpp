// The Balance command on Linux against the billing simulator on 127.0.0.1:443
// (test namespace only): settings file, terminal prompt, what the user reads.
#include "account/settings.h"
#include "account/login_dialog.h"
#include "pass_hash_vectors.h"
#include "pty_terminal.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {
const std::string password_hash = pass_hash_vectors[0].pass_hash;  // "password"

std::string env_or(const char* name, const char* fallback)
{
    const char* value = getenv(name);
    return value != nullptr ? value : fallback;
}

std::string file_bytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return "(none)";
    }
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

bool credentials_all_zero()
{
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(&app_state.credentials);
    for (size_t i = 0; i < sizeof app_state.credentials; ++i) {
        if (bytes[i] != 0) {
            return false;
        }
    }
    return true;
}

class LinuxBalanceCommand : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (env_or("TARVELON_TEST_NETNS", "") != "1") {
            GTEST_SKIP() << "needs the test network namespace (TARVELON_TEST_NETNS=1)";
        }
        char pattern[] = "/tmp/balance_command_test.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        directory = pattern;
        settings = directory + "/Tarvelon.ini";
    }
    void TearDown() override
    {
        if (!run_dir.empty()) {
            std::string stop = env_or("TARVELON_SOURCE_DIR", ".") + "/tools/billing_sim/sim.sh stop " + run_dir;
            EXPECT_EQ(system(stop.c_str()), 0);
        }
        if (!directory.empty()) {
            EXPECT_EQ(system(("rm -rf '" + directory + "'").c_str()), 0);
        }
    }

    // The simulator knows one account: 1234567 with the pass-hash of "password".
    void start_sim()
    {
        run_dir = env_or("TARVELON_BUILD_DIR", ".") + "/sim/lbc_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::string start = env_or("TARVELON_SOURCE_DIR", ".") + "/tools/billing_sim/sim.sh start " + run_dir +
            " --address 127.0.0.1 --http-port 0 --account 1234567:" + password_hash;
        ASSERT_EQ(system(start.c_str()), 0) << "billing simulator did not start";
    }

    // Runs the command in a child on a terminal of its own; its stdout and
    // stderr go to files.  The child answers "RESULT wiped|kept".
    void start_command(PtyTerminal* terminal, bool remember)
    {
        std::string path = settings;
        std::string out = directory + "/stdout";
        std::string err = directory + "/stderr";
        terminal->start([path, out, err, remember] {
            freopen(out.c_str(), "w", stdout);
            freopen(err.c_str(), "w", stderr);
            set_settings_path(path.c_str());
            set_login_remember(remember);
            int result = balance_command(nullptr);
            fflush(stdout);
            fflush(stderr);
            return std::to_string(result) + (credentials_all_zero() ? " wiped" : " kept");
        });
    }

    std::string printed() { return file_bytes(directory + "/stdout"); }
    std::string errors() { return file_bytes(directory + "/stderr"); }

    std::string directory;
    std::string settings;
    std::string run_dir;
};
}  // namespace

TEST_F(LinuxBalanceCommand, StoredPairGoesStraightToTheQueryAndWritesNothing)
{
    start_sim();
    std::ofstream(settings) << "[General]\nusername=1234567\npasshash=" << password_hash << "\n";
    const std::string before = file_bytes(settings);
    PtyTerminal terminal;
    start_command(&terminal, false);
    EXPECT_EQ(terminal.result(), "0 wiped");
    EXPECT_EQ(printed(), "Баланс (рублей): 1234.56\nДней абонентской платы (примерно): 31\n");
    EXPECT_EQ(terminal.output.find("Номер"), std::string::npos);
    EXPECT_EQ(file_bytes(settings), before);
}

TEST_F(LinuxBalanceCommand, PromptWithRememberWritesAPrivateFileThatTheNextRunUses)
{
    start_sim();
    {
        PtyTerminal terminal;
        start_command(&terminal, true);
        terminal.answer("1234567", "password");
        EXPECT_EQ(terminal.result(), "0 wiped");
    }
    EXPECT_EQ(file_bytes(settings), "[General]\r\nusername=1234567\r\npasshash=" + password_hash + "\r\n");
    struct stat status;
    ASSERT_EQ(stat(settings.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);

    PtyTerminal again;
    start_command(&again, false);
    EXPECT_EQ(again.result(), "0 wiped");
    EXPECT_FALSE(again.wait_for("Номер"));
}

TEST_F(LinuxBalanceCommand, WrongPasswordSaysText2AndWritesNothing)
{
    start_sim();
    PtyTerminal terminal;
    start_command(&terminal, true);
    terminal.answer("1234567", "wrong");
    EXPECT_EQ(terminal.result(), "1 wiped");
    EXPECT_EQ(errors(), "Неверный номер договора и/или пароль!\n");
    EXPECT_EQ(file_bytes(settings), "(none)");
}

// Text 4 names a Windows browser option; on Linux a refused secure connection
// is reported with text 3.
TEST_F(LinuxBalanceCommand, RefusedSecureConnectionSaysText3)
{
    std::ofstream(settings) << "[General]\nusername=1234567\npasshash=" << password_hash << "\n";
    PtyTerminal terminal;
    start_command(&terminal, false);
    EXPECT_EQ(terminal.result(), "3 wiped");
    EXPECT_EQ(errors(), "Ошибка соединения с сервером!\n");
    EXPECT_EQ(printed(), "");
}
