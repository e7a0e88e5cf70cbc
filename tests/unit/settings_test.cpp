// The settings file on Linux: what write_settings does with a file it cannot
// keep whole, and with links.
#include "account/settings.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
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

// What the text cannot hold (a NUL byte; UTF-16, which the profile API reads)
// or cannot read is left as it is; nor is anything stored where no file can be.
TEST_F(SettingsFile, WhatCannotBeKeptWholeIsLeftAndTheFailureKnown)
{
    const struct {
        std::string bytes;  // empty: `path` is a directory
        const char* at;     // the settings path under `directory`
        int result;
    } cases[] = {
        {std::string("[General]\r\nusername=1\r\n\0[Other]\r\nk=v\r\n", 38), "/Tarvelon.ini", SETTINGS_UNREPRESENTABLE},
        {std::string("\xFF\xFE[\0G\0]\0\r\0\n\0", 12), "/Tarvelon.ini", SETTINGS_UNREPRESENTABLE},
        {"", "/Tarvelon.ini", SETTINGS_UNREADABLE},
        {"x", "/missing/Tarvelon.ini", SETTINGS_WRITE_FAILED},
    };
    for (const auto& c : cases) {
        remove(path.c_str());
        if (c.bytes.empty()) {
            mkdir(path.c_str(), 0700);
        } else {
            std::ofstream(path, std::ios::binary) << c.bytes;
        }
        const std::string at = directory + c.at;
        set_settings_path(at.c_str());
        write_pair("7654321", "abc%3D");
        int error = 0;
        EXPECT_EQ(c.result, settings_store_result(&error)) << c.at;
        EXPECT_EQ(c.bytes, bytes());
        rmdir(path.c_str());
    }
    set_settings_path(path.c_str());
    write_pair("7654321", "abc%3D");
    int error = 0;
    EXPECT_EQ(SETTINGS_STORED, settings_store_result(&error));
}

// The link stays; the file it leads to (through a chain, to a file yet to be
// made) is written.
TEST_F(SettingsFile, WritesThroughSymbolicLinksToTheirFile)
{
    mkdir((directory + "/sub").c_str(), 0700);
    ASSERT_EQ(0, symlink("sub/link", path.c_str()));
    ASSERT_EQ(0, symlink("../real.ini", (directory + "/sub/link").c_str()));
    for (const char* number : {"7654321", "1234567"}) {
        write_pair(number, "abc%3D");
        struct stat status;
        ASSERT_EQ(0, lstat(path.c_str(), &status));
        EXPECT_TRUE(S_ISLNK(status.st_mode));
        EXPECT_EQ(std::string("[General]\r\nusername=") + number + "\r\npasshash=abc%3D\r\n", bytes());
    }
}

}  // namespace
