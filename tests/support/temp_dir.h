// Linux tests: a scratch directory of their own, with the settings file's path in it.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

class TempDirTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/tarvelon_test.XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(pattern));
        directory = pattern;
        path = directory + "/Tarvelon.ini";
    }
    void TearDown() override { ASSERT_EQ(0, system(("rm -rf '" + directory + "'").c_str())); }
    std::string directory;
    std::string path;
};
