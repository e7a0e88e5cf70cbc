// The Linux settings reader and writer against the Windows profile API: the
// same file bytes must give the same values, whichever side wrote them.
#include "account/ini_file.h"
#include "common/heap_text.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <iterator>
#include <string>

namespace {
struct Query {
    const char* section;
    const char* key;
    DWORD size;
};

const Query queries[] = {
    {"General", "username", 15}, {"General", "passhash", 85}, {"general", "USERNAME", 15},
    {"Other", "username", 15},   {"General", "missing", 15},  {"Missing", "username", 15},
};

const char* const files[] = {
    "[General]\r\nusername=1234567\r\npasshash=abc%3D\r\n",
    "[General]\nusername=1234567\npasshash=abc%3D",
    "  [GENERAL]  \r\n  UserName  =  1234567 \t\r\n\tPASSHASH= abc%3D\r\n",
    "; settings\r\n[Other]\r\nusername=999\r\n\r\n[General]\r\nusername=1234567890123456\r\n",
    "[General]\r\npasshash=hhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhh\r\n"
    "username=12345678901234\r\n",
    "[General]\r\nusername=\"1234567\"\r\npasshash='abc'\r\n",
    "[General]\r\nusername=\"12345678901234\"\r\npasshash=\"1234567890123456789012345678901234567890123456789012345678901234567890123456789012345\"\r\n",
    "[General]\r\nusername=1 2 3\r\nusername=2\r\n[General]\r\npasshash=later\r\n",
    "[General]\r\nusername\r\npasshash=\r\n",
    "[Gen]\r\nusername=1\r\n[General2]\r\nusername=2\r\n",
    "username=0\r\n[General]\r\n;username=1\r\n",
    "[General]\r\nusername = a=b\r\n",
    "\xEF\xBB\xBF[General]\r\nusername=1234567\r\n",
    "",
};

// A fresh file each time: Wine keeps recently read profiles cached.
std::string new_file(const std::string& bytes)
{
    char directory[MAX_PATH] = "";
    char path[MAX_PATH] = "";
    GetTempPathA(MAX_PATH, directory);
    GetTempFileNameA(directory, "ini", 0, path);
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

void expect_same_values(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    for (const Query& query : queries) {
        char ours[256] = {};
        char theirs[256] = {};
        ini_get(bytes.c_str(), query.section, query.key, ours, query.size);
        GetPrivateProfileStringA(query.section, query.key, "", theirs, query.size, path.c_str());
        EXPECT_STREQ(theirs, ours) << "[" << query.section << "] " << query.key << " in:\n" << bytes;
    }
}

TEST(IniProfile, BothSidesReadWhatEitherWrote)
{
    for (const char* file : files) {
        expect_same_values(new_file(file));

        std::string theirs = new_file(file);
        WritePrivateProfileStringA("General", "username", "7654321", theirs.c_str());
        WritePrivateProfileStringA("General", "passhash", "i%2BPJQ7Fgn%2F%3D", theirs.c_str());
        expect_same_values(theirs);

        char* with_username = ini_set(file, "General", "username", "7654321");
        char* with_both = ini_set(with_username, "General", "passhash", "i%2BPJQ7Fgn%2F%3D");
        std::string ours = new_file(with_both);
        char value[85] = {};
        GetPrivateProfileStringA("General", "passhash", "", value, sizeof value, ours.c_str());
        EXPECT_STREQ("i%2BPJQ7Fgn%2F%3D", value) << with_both;
        expect_same_values(ours);
        free_text(with_username);
        free_text(with_both);
    }
}
}  // namespace
