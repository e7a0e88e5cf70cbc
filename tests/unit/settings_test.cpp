// The settings file on Linux: what read_settings takes from it, what
// write_settings leaves in it, and the Balance command without a terminal.
#include "account/settings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
class SettingsFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/settings_test.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        directory = pattern;
        path = directory + "/Tarvelon.ini";
        set_settings_path(path.c_str());
    }
    void TearDown() override
    {
        set_settings_path(nullptr);
        ASSERT_EQ(system(("rm -rf '" + directory + "'").c_str()), 0);
    }

    void put(const std::string& bytes)
    {
        std::ofstream(path, std::ios::binary) << bytes;
    }

    std::string bytes()
    {
        std::ifstream in(path, std::ios::binary);
        std::stringstream content;
        content << in.rdbuf();
        return content.str();
    }

    void read_into_credentials(const std::string& file)
    {
        put(file);
        memset(&app_state.credentials, 'x', sizeof app_state.credentials);
        read_settings();
    }

    void store(const char* number, const char* hash)
    {
        memset(&app_state.credentials, 0, sizeof app_state.credentials);
        strcpy(app_state.credentials.contract_number, number);
        strcpy(app_state.credentials.pass_hash, hash);
    }

    std::string directory;
    std::string path;
};

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
}  // namespace

TEST_F(SettingsFile, ReadTakesAValidPairCutToTheFieldSizes)
{
    read_into_credentials("[general]\r\nUSERNAME = 1234567890123456\r\npasshash=abc%3D\r\n");
    EXPECT_STREQ(app_state.credentials.contract_number, "12345678901234");
    EXPECT_STREQ(app_state.credentials.pass_hash, "abc%3D");

    read_into_credentials("[General]\nusername=12a4567\npasshash=abc%3D\n");
    EXPECT_STREQ(app_state.credentials.contract_number, "");
    EXPECT_STREQ(app_state.credentials.pass_hash, "");

    read_into_credentials("[General]\nusername=1234567\npasshash=abc=\n");
    EXPECT_STREQ(app_state.credentials.contract_number, "");

    unlink(path.c_str());
    memset(&app_state.credentials, 'x', sizeof app_state.credentials);
    read_settings();
    EXPECT_STREQ(app_state.credentials.contract_number, "");
    EXPECT_STREQ(app_state.credentials.pass_hash, "");
}

TEST_F(SettingsFile, WriteCreatesAPrivateFileWithBothKeys)
{
    store(" 1234567 ", "i%2BPJ%3D");
    write_settings();
    EXPECT_EQ(bytes(), "[General]\r\nusername=1234567\r\npasshash=i%2BPJ%3D\r\n");
    struct stat status;
    ASSERT_EQ(stat(path.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);
}

TEST_F(SettingsFile, WriteKeepsTheRestOfTheFileAndWritesOnlyValidPairs)
{
    put("; mine\n[Window]\nx=1\n[General]\nusername=1\nextra=yes\n");
    store("7654321", "abc%3D");
    write_settings();
    EXPECT_EQ(bytes(), "; mine\n[Window]\nx=1\n[General]\nusername=7654321\nextra=yes\npasshash=abc%3D\n");

    const std::string before = bytes();
    store("7654321", "abc=");
    write_settings();
    store("76a4321", "abc%3D");
    write_settings();
    EXPECT_EQ(bytes(), before);
}

TEST_F(SettingsFile, BalanceCommandWithoutATerminalAsksNothingAndWipes)
{
    put("[General]\nusername=12a4567\npasshash=abc%3D\n");
    const std::string before = bytes();
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        setsid();  // no controlling terminal
        int result = balance_command(nullptr);
        _exit(result == BALANCE_NO_TERMINAL && credentials_all_zero() ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(bytes(), before);
}
