#include "account/ini_file.h"
#include "common/heap_text.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
std::string get(const std::string& text, const char* section, const char* key, size_t size = 85)
{
    char out[256];
    ini_get(text.c_str(), section, key, out, size);
    return out;
}

std::string set(const std::string& text, const char* section, const char* key, const char* value)
{
    char* result = ini_set(text.c_str(), section, key, value);
    std::string copy = result != nullptr ? result : "(null)";
    free_text(result);
    return copy;
}

TEST(IniGet, ProfileStringRules)
{
    const std::string text = "\xEF\xBB\xBF[other]\r\nusername=999\r\n[GENERAL]\r\n  UserName =  1234567 \t\r\n"
                             "username=2\r\npasshash=\"abc\"\r\nq='x'\r\nodd=\"abc'\r\nnone\r\nbare=a=b 1\r\nlong=\"1234\"\r\n"
                             "[General]\r\nlater=1\r\n";
    const struct {
        const char* section;
        const char* key;
        size_t size;
        const char* value;
    } cases[] = {
        {"General", "username", 85, "1234567"}, {"general", "USERNAME", 5, "1234"}, {"other", "username", 85, "999"},
        {"General", "passhash", 85, "abc"},     {"General", "q", 85, "x"},          {"General", "odd", 85, "\"abc'"},
        {"General", "bare", 85, "a=b 1"},       {"General", "none", 85, ""},        {"General", "later", 85, ""},
        {"Missing", "username", 85, ""},        {"General", "long", 5, "123"},       {"General", "long", 6, "1234"},
        {"General", "long", 4, "123"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.value, get(text, c.section, c.key, c.size)) << c.section << " " << c.key;
    }
    EXPECT_EQ("", get("", "General", "username"));
}

TEST(IniSet, ChangesOneLineAndKeepsEveryOther)
{
    const char* const cases[][3] = {
        {"; c\r\n[Other]\r\nusername=9\r\n\r\n[general]\r\nx = 1\r\nUSERNAME = 5\r\ny\r\n\r\n[Z]\r\n", "username",
         "; c\r\n[Other]\r\nusername=9\r\n\r\n[general]\r\nx = 1\r\nusername=1\r\ny\r\n\r\n[Z]\r\n"},
        {"[General]\r\nusername=1\r\n\r\n[Z]\r\nk=v\r\n", "passhash",
         "[General]\r\nusername=1\r\npasshash=1\r\n\r\n[Z]\r\nk=v\r\n"},
        {"[General]\nusername=1", "passhash", "[General]\nusername=1\npasshash=1\n"},
        {"[General]", "passhash", "[General]\r\npasshash=1\r\n"},
        {"", "username", "[General]\r\nusername=1\r\n"},
        {"[Z]\nk=v\n", "username", "[Z]\nk=v\n[General]\nusername=1\n"},
        {"[Z]\r\nk=v", "username", "[Z]\r\nk=v\r\n[General]\r\nusername=1\r\n"},
        {"\xEF\xBB\xBF[General]\r\nusername=2\r\n", "username", "\xEF\xBB\xBF[General]\r\nusername=1\r\n"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c[2], set(c[0], "General", c[1], "1")) << c[0];
    }
}

class IniFileOnDisk : public TempDirTest {
protected:
    std::string loaded()
    {
        char* text = ini_load(path.c_str());
        std::string copy = text != nullptr ? text : "(null)";
        free_text(text);
        return copy;
    }
};

TEST_F(IniFileOnDisk, ReplaceLeavesAPrivateFileAndNoTemporaryOne)
{
    EXPECT_EQ("", loaded());
    mode_t old_mask = umask(0);
    ASSERT_EQ(0, ini_replace(path.c_str(), "[General]\r\n", 11));
    umask(old_mask);
    chmod(path.c_str(), 0644);
    ASSERT_EQ(0, ini_replace(path.c_str(), "x", 1));
    struct stat status;
    ASSERT_EQ(0, stat(path.c_str(), &status));
    EXPECT_EQ(0600u, status.st_mode & 07777);
    EXPECT_EQ("x", loaded());
    DIR* dir = opendir(directory.c_str());
    int entries = 0;
    while (dirent* entry = readdir(dir)) {
        entries += entry->d_name[0] != '.';
    }
    closedir(dir);
    EXPECT_EQ(1, entries);
    EXPECT_EQ(1, ini_replace((directory + "/missing/Tarvelon.ini").c_str(), "x", 1));
    path = directory;
    EXPECT_EQ("(null)", loaded());  // not a regular file
}

// A writer killed in the middle of the write (here by the file-size limit, with
// SIGXFSZ) leaves the old file whole; the next write succeeds.
TEST_F(IniFileOnDisk, ACrashDuringTheWriteLeavesTheOldFile)
{
    const std::string old_bytes = "[General]\r\nusername=1234567\r\npasshash=abc%3D\r\n";
    ASSERT_EQ(0, ini_replace(path.c_str(), old_bytes.data(), old_bytes.size()));
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
    ASSERT_EQ(0, ini_replace(path.c_str(), new_bytes.data(), new_bytes.size()));
    EXPECT_EQ(new_bytes, loaded());
}
}  // namespace
