#include "account/ini_file.h"
#include "common/heap_text.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
std::string get(const std::string& text, const char* section, const char* key, size_t size = 85)
{
    char out[256];
    memset(out, 'x', sizeof out);
    ini_get(text.c_str(), section, key, out, size);
    return out;
}

std::string set(const std::string& text, const char* section, const char* key, const char* value)
{
    char* result = ini_set(text.c_str(), section, key, value);
    EXPECT_NE(result, nullptr);
    std::string copy = result != nullptr ? result : "";
    free_text(result);
    return copy;
}

std::string file_bytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void put_file(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

mode_t mode_of(const std::string& path)
{
    struct stat status;
    return stat(path.c_str(), &status) == 0 ? status.st_mode & 07777 : 0;
}

int entries_in(const std::string& directory)
{
    DIR* dir = opendir(directory.c_str());
    int count = 0;
    while (dirent* entry = readdir(dir)) {
        count += entry->d_name[0] != '.';
    }
    closedir(dir);
    return count;
}

class IniFileOnDisk : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/ini_file_test.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        directory = pattern;
        path = directory + "/Tarvelon.ini";
    }
    void TearDown() override
    {
        std::string command = "rm -rf '" + directory + "'";
        ASSERT_EQ(system(command.c_str()), 0);
    }
    std::string directory;
    std::string path;
};
}  // namespace

TEST(IniGet, NamesWithoutCaseValuesWithoutSurroundingBlanks)
{
    const std::string text = "[other]\r\nusername=999\r\n[GENERAL]\r\n  UserName =  1234567 \t\r\npasshash=a%3D\r\n";
    EXPECT_EQ(get(text, "General", "username"), "1234567");
    EXPECT_EQ(get(text, "general", "PASSHASH"), "a%3D");
    EXPECT_EQ(get(text, "other", "username"), "999");
    EXPECT_EQ(get(text, "General", "missing"), "");
    EXPECT_EQ(get(text, "Missing", "username"), "");
    EXPECT_EQ(get("", "General", "username"), "");
    EXPECT_EQ(get("[General]\nusername\n", "General", "username"), "");
    EXPECT_EQ(get("[General]\nusername=1 2\n", "General", "username"), "1 2");
    EXPECT_EQ(get("[General]\nusername=a=b", "General", "username"), "a=b");
    EXPECT_EQ(get("\xEF\xBB\xBF[General]\nusername=1\n", "General", "username"), "1");
}

TEST(IniGet, CutsToTheBufferAndDropsEnclosingQuotes)
{
    const std::string text = "[General]\nusername=1234567890123456\npasshash=\"abc\"\nq='x'\nodd=\"abc'\n";
    EXPECT_EQ(get(text, "General", "username", 15), "12345678901234");
    EXPECT_EQ(get(text, "General", "passhash"), "abc");
    EXPECT_EQ(get(text, "General", "q"), "x");
    EXPECT_EQ(get(text, "General", "odd"), "\"abc'");
}

TEST(IniGet, FirstSectionOfTheNameAndFirstKeyWin)
{
    const std::string text = "[General]\nusername=1\nusername=2\n[General]\nusername=3\npasshash=h\n";
    EXPECT_EQ(get(text, "General", "username"), "1");
    EXPECT_EQ(get(text, "General", "passhash"), "");
}

TEST(IniSet, ReplacesTheValueAndKeepsEveryOtherLine)
{
    const std::string text = "; comment\r\n[Other]\r\nusername=9\r\n\r\n[general]\r\nx = 1\r\nUSERNAME = 5\r\ny\r\n\r\n[Z]\r\n";
    EXPECT_EQ(set(text, "General", "username", "1234567"),
              "; comment\r\n[Other]\r\nusername=9\r\n\r\n[general]\r\nx = 1\r\nusername=1234567\r\ny\r\n\r\n[Z]\r\n");
}

TEST(IniSet, AddsAMissingKeyBehindTheSectionsLastEntry)
{
    EXPECT_EQ(set("[General]\r\nusername=1\r\n\r\n[Z]\r\nk=v\r\n", "General", "passhash", "h"),
              "[General]\r\nusername=1\r\npasshash=h\r\n\r\n[Z]\r\nk=v\r\n");
    EXPECT_EQ(set("[General]\nusername=1", "General", "passhash", "h"), "[General]\nusername=1\npasshash=h\n");
    EXPECT_EQ(set("[General]", "General", "passhash", "h"), "[General]\r\npasshash=h\r\n");
}

TEST(IniSet, CreatesAMissingSectionAtTheEnd)
{
    EXPECT_EQ(set("", "General", "username", "1"), "[General]\r\nusername=1\r\n");
    EXPECT_EQ(set("[Z]\nk=v\n", "General", "username", "1"), "[Z]\nk=v\n[General]\nusername=1\n");
    EXPECT_EQ(set("[Z]\r\nk=v", "General", "username", "1"), "[Z]\r\nk=v\r\n[General]\r\nusername=1\r\n");
}

TEST(IniSet, KeepsAByteOrderMark)
{
    EXPECT_EQ(set("\xEF\xBB\xBF[General]\r\nusername=1\r\n", "General", "username", "2"),
              "\xEF\xBB\xBF[General]\r\nusername=2\r\n");
}

TEST(IniSet, WhatIsWrittenIsReadBack)
{
    std::string text = set(set("[general]\n", "General", "username", "12345678901234"), "General", "passhash", "a%2Bb%3D");
    EXPECT_EQ(get(text, "General", "username"), "12345678901234");
    EXPECT_EQ(get(text, "General", "passhash"), "a%2Bb%3D");
    text = set(text, "General", "username", "7");
    EXPECT_EQ(get(text, "General", "username"), "7");
    EXPECT_EQ(get(text, "General", "passhash"), "a%2Bb%3D");
}

TEST_F(IniFileOnDisk, LoadsAMissingFileAsEmptyText)
{
    char* text = ini_load(path.c_str());
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "");
    free_text(text);
    EXPECT_EQ(ini_load(directory.c_str()), nullptr);  // not a regular file
}

TEST_F(IniFileOnDisk, ReplaceCreatesTheFileWithMode0600)
{
    mode_t old_mask = umask(0);
    ASSERT_EQ(ini_replace(path.c_str(), "[General]\r\n", 11), 0);
    umask(old_mask);
    EXPECT_EQ(mode_of(path), 0600u);
    EXPECT_EQ(file_bytes(path), "[General]\r\n");

    chmod(path.c_str(), 0644);
    ASSERT_EQ(ini_replace(path.c_str(), "x", 1), 0);
    EXPECT_EQ(mode_of(path), 0600u);
    EXPECT_EQ(file_bytes(path), "x");
    EXPECT_EQ(entries_in(directory), 1) << "no temporary file is left behind";

    char* text = ini_load(path.c_str());
    EXPECT_STREQ(text, "x");
    free_text(text);
    EXPECT_EQ(ini_replace((directory + "/missing/Tarvelon.ini").c_str(), "x", 1), 1);
}

// A writer killed in the middle of the write (here by the file-size limit, with
// SIGXFSZ) leaves the old file whole; the next write succeeds.
TEST_F(IniFileOnDisk, ACrashDuringTheWriteLeavesTheOldFile)
{
    const std::string old_bytes = "[General]\r\nusername=1234567\r\npasshash=abc%3D\r\n";
    put_file(path, old_bytes);
    const std::string new_bytes = "[General]\r\nusername=7654321\r\n" + std::string(64 * 1024, ';') + "\r\n";
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        rlimit limit = {4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
        _exit(ini_replace(path.c_str(), new_bytes.data(), new_bytes.size()) == 0 ? 0 : 3);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the writer was meant to die mid-write";
    EXPECT_EQ(WTERMSIG(status), SIGXFSZ);
    EXPECT_EQ(file_bytes(path), old_bytes);

    ASSERT_EQ(ini_replace(path.c_str(), new_bytes.data(), new_bytes.size()), 0);
    EXPECT_EQ(file_bytes(path), new_bytes);
}
