#include "account/ini_file.h"
#include "common/heap_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {
// The rest of the reading rules are checked against the Windows profile API.
TEST(IniGet, QuotesAndTheBufferSize)
{
    const std::string text = "[General]\r\nq='x'\r\nodd=\"abc'\r\nlong=\"1234\"\r\n";
    const struct {
        const char* key;
        size_t size;
        const char* value;
    } cases[] = {
        {"q", 85, "x"}, {"odd", 85, "\"abc'"}, {"long", 5, "123"}, {"long", 6, "1234"}, {"long", 4, "123"},
    };
    for (const auto& c : cases) {
        char out[256];
        ini_get(text.c_str(), "General", c.key, out, c.size);
        EXPECT_STREQ(c.value, out) << c.key << " " << c.size;
    }
}

TEST(IniSet, ChangesOneLineAndKeepsEveryOther)
{
    const char* const cases[][3] = {
        {"; c\r\n[Other]\r\nusername=9\r\n\r\n[general]\r\nx = 1\r\nUSERNAME = 5\r\ny\r\n\r\n[Z]\r\n", "username",
         "; c\r\n[Other]\r\nusername=9\r\n\r\n[general]\r\nx = 1\r\nusername=1\r\ny\r\n\r\n[Z]\r\n"},
        {"[General]\r\nusername=1\r\n\r\n[Z]\r\nk=v\r\n", "passhash",
         "[General]\r\nusername=1\r\npasshash=1\r\n\r\n[Z]\r\nk=v\r\n"},
        {"[General]\nusername=1", "passhash", "[General]\nusername=1\npasshash=1\n"},
        {"", "username", "[General]\r\nusername=1\r\n"},
        {"[Z]\nk=v", "username", "[Z]\nk=v\n[General]\nusername=1\n"},
        {"\xEF\xBB\xBF[General]\r\nusername=2\r\n", "username", "\xEF\xBB\xBF[General]\r\nusername=1\r\n"},
    };
    for (const auto& c : cases) {
        char* result = ini_set(c[0], "General", c[1], "1");
        EXPECT_STREQ(c[2], result) << c[0];
        free_text(result);
    }
}

class IniFileOnDisk : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/tarvelon_test.XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(pattern));
        directory = pattern;
        path = directory + "/Tarvelon.ini";
    }
    void TearDown() override { std::filesystem::remove_all(directory); }
    std::vector<std::string> entries()
    {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(directory)) {
            names.push_back(entry.path().filename());
        }
        std::sort(names.begin(), names.end());
        return names;
    }
    std::string loaded()
    {
        char* text = ini_load(path.c_str());
        std::string copy = text != nullptr ? text : "(null)";
        free_text(text);
        return copy;
    }
    std::string directory;
    std::string path;
};

// A writer killed in the middle of the write (here by the file-size limit, with
// SIGXFSZ) leaves the old file whole; the next write succeeds, private whatever
// the old file's mode, and leaves no temporary file.
TEST_F(IniFileOnDisk, ACrashDuringTheWriteLeavesTheOldFile)
{
    EXPECT_EQ("", loaded());
    const std::string old_bytes = "[General]\r\nusername=1234567\r\npasshash=abc%3D\r\n";
    ASSERT_EQ(0, ini_replace(path.c_str(), old_bytes.data(), old_bytes.size()));
    chmod(path.c_str(), 0644);
    const std::string new_bytes = "[General]\r\nusername=7654321\r\n" + std::string(64 * 1024, ';') + "\r\n";
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        rlimit limit = {4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
        _exit(ini_replace(path.c_str(), new_bytes.data(), new_bytes.size()) == 0 ? 0 : 3);
    }
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ) << "the writer was meant to die mid-write";
    EXPECT_EQ(old_bytes, loaded());
    EXPECT_EQ(std::vector<std::string>{"Tarvelon.ini"}, entries()) << "no copy of the new text is left";
    ASSERT_EQ(0, ini_replace(path.c_str(), new_bytes.data(), new_bytes.size()));
    EXPECT_EQ(new_bytes, loaded());
    struct stat file;
    ASSERT_EQ(0, stat(path.c_str(), &file));
    EXPECT_EQ(0600u, file.st_mode & 07777);
    EXPECT_EQ(std::vector<std::string>{"Tarvelon.ini"}, entries());
    EXPECT_EQ(1, ini_replace((directory + "/missing/Tarvelon.ini").c_str(), "x", 1));
    EXPECT_EQ(nullptr, ini_load(directory.c_str()));  // not a regular file
    EXPECT_NE(EILSEQ, errno);
}

// NUL bytes (UTF-16, which the profile API reads) would cut the text short: the
// file is refused, so that nothing replaces it.
TEST_F(IniFileOnDisk, FilesWithNulBytesAreRefused)
{
    for (const std::string& bytes : {std::string("[General]\r\nusername=1\r\n\0[Other]\r\n", 32),
                                     std::string("\xFF\xFE[\0G\0]\0", 8)}) {
        std::ofstream(path, std::ios::binary) << bytes;
        EXPECT_EQ(nullptr, ini_load(path.c_str()));
        EXPECT_EQ(EILSEQ, errno);
    }
}

// The link stays; the file it leads to (through a chain, to a file yet to be
// made) is written.
TEST_F(IniFileOnDisk, WritesThroughSymbolicLinksToTheirFile)
{
    mkdir((directory + "/sub").c_str(), 0700);
    ASSERT_EQ(0, symlink("sub/link", path.c_str()));
    ASSERT_EQ(0, symlink("../real.ini", (directory + "/sub/link").c_str()));
    for (const char* text : {"a", "b"}) {
        ASSERT_EQ(0, ini_replace(path.c_str(), text, 1));
        struct stat status;
        ASSERT_EQ(0, lstat(path.c_str(), &status));
        EXPECT_TRUE(S_ISLNK(status.st_mode));
        EXPECT_EQ(text, loaded());
    }
}

// Temporary files that a killed writer left (with a pass-hash in them) go with
// the next write, once no live writer can own them; nobody else's files go.
TEST_F(IniFileOnDisk, StaleTemporaryFilesOfOursAreRemoved)
{
    const struct {
        const char* name;
        mode_t mode;
        int age;
        bool stays;
    } files[] = {
        {"Tarvelon.ini.new-Ab12Cd", 0600, 120, false},
        {"Tarvelon.ini.new-Ef34Gh", 0600, 0, true},
        {"Tarvelon.ini.new-Ij56Kl", 0644, 120, true},
        {"Tarvelon.ini.backup", 0600, 120, true},
    };
    std::vector<std::string> left = {"Tarvelon.ini"};
    for (const auto& f : files) {
        const std::string file = directory + "/" + f.name;
        std::ofstream(file) << "passhash=abc%3D";
        chmod(file.c_str(), f.mode);
        timespec times[2] = {{time(nullptr) - f.age, 0}, {time(nullptr) - f.age, 0}};
        utimensat(AT_FDCWD, file.c_str(), times, 0);
        if (f.stays) {
            left.push_back(f.name);
        }
    }
    ASSERT_EQ(0, ini_replace(path.c_str(), "x", 1));
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, entries());
}
}  // namespace
