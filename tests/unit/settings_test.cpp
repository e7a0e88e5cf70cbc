// The settings file on Linux: what write_settings leaves in it, and the
// Balance command without a terminal.
#include "account/settings.h"
#include "billing_sim.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {
class SettingsFile : public TempDirTest {
protected:
    void SetUp() override
    {
        TempDirTest::SetUp();
        set_settings_path(path.c_str());
    }
    void TearDown() override
    {
        set_settings_path(nullptr);
        TempDirTest::TearDown();
    }
    std::string bytes()
    {
        std::ifstream in(path, std::ios::binary);
        std::stringstream content;
        content << in.rdbuf();
        return content.str();
    }
};

void write_pair(const char* number, const char* hash)
{
    memset(&app_state.credentials, 0, sizeof app_state.credentials);
    strcpy(app_state.credentials.contract_number, number);
    strcpy(app_state.credentials.pass_hash, hash);
    write_settings();
}

TEST_F(SettingsFile, WriteKeepsTheRestOfTheFileAndWritesOnlyValidPairs)
{
    std::ofstream(path, std::ios::binary) << "; mine\n[Window]\nx=1\n[General]\nusername=1\nextra=yes\n";
    write_pair(" 7654321 ", "abc%3D");
    const std::string written = "; mine\n[Window]\nx=1\n[General]\nusername=7654321\nextra=yes\npasshash=abc%3D\n";
    EXPECT_EQ(written, bytes());
    write_pair("7654321", "abc=");
    write_pair("76a4321", "abc%3D");
    EXPECT_EQ(written, bytes());
}

TEST_F(SettingsFile, BalanceCommandWithoutATerminalAsksNothingAndWipes)
{
    std::ofstream(path, std::ios::binary) << "[General]\nusername=12a4567\npasshash=abc%3D\n";
    const std::string before = bytes();
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        setsid();  // no controlling terminal
        int result = balance_command(nullptr);
        _exit(result == BALANCE_NO_TERMINAL && credentials_wiped() ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(before, bytes());
}
}  // namespace
