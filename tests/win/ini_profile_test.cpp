// The Linux settings reader and writer against the Windows profile API: the
// same file bytes must give the same values, whichever side wrote them.
#include "account/ini_file.h"
#include "common/heap_text.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

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
    "[General]\r\npasshash=hhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhhh\r\nusername=12345678901234\r\n",
    "[General]\r\nusername=\"1234567\"\r\npasshash='abc'\r\n",
    "[General]\r\nusername=1 2 3\r\nusername=2\r\n[General]\r\npasshash=later\r\n",
    "[General]\r\nusername\r\npasshash=\r\n",
    "[Gen]\r\nusername=1\r\n[General2]\r\nusername=2\r\n",
    "username=0\r\n[General]\r\n;username=1\r\n",
    "[General]\r\nusername = a=b\r\n",
    "\xEF\xBB\xBF[General]\r\nusername=1234567\r\n",
    "",
};

class ProfileFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        directory = std::string(temp) + "ini_profile_test." + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(directory.c_str(), nullptr);
    }

    // A fresh file name each time: Wine keeps recently read profiles cached.
    std::string new_path()
    {
        return directory + "\\" + std::to_string(++count) + ".ini";
    }

    static void put(const std::string& path, const std::string& bytes)
    {
        HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        CloseHandle(file);
    }

    static std::string bytes_of(const std::string& path)
    {
        std::string bytes;
        HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            return bytes;
        }
        char chunk[4096];
        DWORD count = 0;
        while (ReadFile(file, chunk, sizeof chunk, &count, nullptr) && count > 0) {
            bytes.append(chunk, count);
        }
        CloseHandle(file);
        return bytes;
    }

    static std::string profile_value(const std::string& path, const Query& query)
    {
        char out[256] = {};
        GetPrivateProfileStringA(query.section, query.key, "", out, query.size, path.c_str());
        return out;
    }

    static std::string our_value(const std::string& bytes, const Query& query)
    {
        char out[256] = {};
        ini_get(bytes.c_str(), query.section, query.key, out, query.size);
        return out;
    }

    // Every query gives the same value from the profile API and from ini_get.
    void expect_same_values(const std::string& path)
    {
        std::string bytes = bytes_of(path);
        for (const Query& query : queries) {
            EXPECT_EQ(our_value(bytes, query), profile_value(path, query))
                << "[" << query.section << "] " << query.key << " in:\n" << bytes;
        }
    }

    std::string directory;
    int count = 0;
};
}  // namespace

TEST_F(ProfileFiles, SameBytesGiveSameValues)
{
    for (const char* file : files) {
        std::string path = new_path();
        put(path, file);
        expect_same_values(path);
    }
}

TEST_F(ProfileFiles, FilesWrittenByTheProfileApiReadTheSame)
{
    for (const char* file : files) {
        std::string path = new_path();
        put(path, file);
        WritePrivateProfileStringA("General", "username", "7654321", path.c_str());
        WritePrivateProfileStringA("General", "passhash", "i%2BPJQ7Fgn%2F%3D", path.c_str());
        std::string bytes = bytes_of(path);
        EXPECT_EQ(our_value(bytes, queries[0]), "7654321") << bytes;
        EXPECT_EQ(our_value(bytes, queries[1]), "i%2BPJQ7Fgn%2F%3D") << bytes;
        expect_same_values(path);
    }
}

TEST_F(ProfileFiles, FilesWrittenByUsReadTheSameThroughTheProfileApi)
{
    for (const char* file : files) {
        char* with_username = ini_set(file, "General", "username", "7654321");
        char* with_both = ini_set(with_username, "General", "passhash", "i%2BPJQ7Fgn%2F%3D");
        std::string path = new_path();
        put(path, with_both);
        EXPECT_EQ(profile_value(path, queries[0]), "7654321") << with_both;
        EXPECT_EQ(profile_value(path, queries[1]), "i%2BPJQ7Fgn%2F%3D") << with_both;
        expect_same_values(path);

        // The entries the write did not touch read as before.
        std::string before = new_path();
        put(before, file);
        for (const Query& query : {queries[3], queries[4], queries[5]}) {
            EXPECT_EQ(profile_value(path, query), profile_value(before, query)) << query.key;
        }
        free_text(with_username);
        free_text(with_both);
    }
}
