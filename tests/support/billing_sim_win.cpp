// Wine runs Unix programs directly but cannot wait for them: their effects are polled.
#include "billing_sim.h"

#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

namespace {
std::string run_dir;  // as the simulator sees it; "Z:" + run_dir for us

bool run_unix(const std::string& arguments)
{
    const char* source = getenv("TARVELON_SOURCE_DIR");
    std::string line = "Z:\\bin\\bash " + std::string(source != nullptr ? source : ".") +
        "/tools/billing_sim/sim.sh " + arguments;
    std::wstring wide(line.size() + 1, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, line.c_str(), -1, &wide[0], static_cast<int>(wide.size()));
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, &wide[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        return false;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

bool wait_for(const std::string& file, bool present)
{
    for (int i = 0; i < 150; ++i) {
        if ((GetFileAttributesA(("Z:" + run_dir + file).c_str()) != INVALID_FILE_ATTRIBUTES) == present) {
            return true;
        }
        Sleep(100);
    }
    return false;
}
}  // namespace

bool sim_start(const std::string& options)
{
    const char* build = getenv("TARVELON_BUILD_DIR");
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    run_dir = std::string(build != nullptr ? build : ".") + "/sim/" + test->test_suite_name() + "." + test->name();
    DeleteFileA(("Z:" + run_dir + "/ready").c_str());
    return run_unix("start " + run_dir + " " + options) && wait_for("/ready", true);
}

void sim_stop()
{
    if (!run_dir.empty() && run_unix("stop " + run_dir)) {
        wait_for("/pid", false);
    }
    run_dir.clear();
}

std::string sim_log()
{
    std::ifstream file("Z:" + run_dir + "/requests.log", std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}
