// Starts and stops tools/billing_sim from a Windows test running under Wine,
// which runs Unix programs directly.  Only inside the test network namespace
// (TARVELON_TEST_NETNS=1), where 127.0.0.x ports 80 and 443 are ours.
//   SimRun sim = sim_start("web_fetch_plain", "--address 127.0.0.21 --fault no-length");
//   ... sim_log(sim) holds one JSON line per request ...
//   sim_stop(sim);
#pragma once

#include <windows.h>

#include <cstdlib>
#include <string>

struct SimRun {
    std::string unix_dir;  // the run directory as the simulator sees it
    std::string dos_dir;   // the same through Wine's Z: drive
    bool ready;
};

inline bool sim_namespace()
{
    const char* netns = getenv("TARVELON_TEST_NETNS");
    return netns != nullptr && std::string(netns) == "1";
}

inline bool sim_file_exists(const std::string& dos_path)
{
    return GetFileAttributesA(dos_path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Runs a Unix command line; Wine cannot wait for a Unix process, so callers
// poll for its effect.
// `command_line` is UTF-8, quoted the Windows way (double quotes).
inline bool sim_run_unix(const std::string& command_line)
{
    int length = MultiByteToWideChar(CP_UTF8, 0, command_line.c_str(), -1, nullptr, 0);
    std::wstring line(length > 0 ? length : 1, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, command_line.c_str(), -1, &line[0], length);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        return false;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

inline bool sim_wait_for(const std::string& dos_path, bool present, int tenths)
{
    for (int i = 0; i < tenths; ++i) {
        if (sim_file_exists(dos_path) == present) {
            return true;
        }
        Sleep(100);
    }
    return false;
}

// `name` names the run directory under the build tree; `options` go to
// billing_sim.py as they stand (see the top of that file): UTF-8, values with
// blanks in double quotes.
inline SimRun sim_start(const char* name, const std::string& options)
{
    SimRun run;
    const char* source = getenv("TARVELON_SOURCE_DIR");
    const char* build = getenv("TARVELON_BUILD_DIR");
    run.ready = false;
    if (source == nullptr || build == nullptr) {
        return run;
    }
    run.unix_dir = std::string(build) + "/sim/" + name;
    run.dos_dir = "Z:" + run.unix_dir;
    DeleteFileA((run.dos_dir + "/ready").c_str());
    std::string command = "Z:\\bin\\bash " + std::string(source) + "/tools/billing_sim/sim.sh start " + run.unix_dir +
        " " + options;
    run.ready = sim_run_unix(command) && sim_wait_for(run.dos_dir + "/ready", true, 150);
    return run;
}

inline void sim_stop(const SimRun& run)
{
    const char* source = getenv("TARVELON_SOURCE_DIR");
    if (source == nullptr || run.unix_dir.empty()) {
        return;
    }
    std::string command = "Z:\\bin\\bash " + std::string(source) + "/tools/billing_sim/sim.sh stop " + run.unix_dir;
    if (sim_run_unix(command)) {
        sim_wait_for(run.dos_dir + "/pid", false, 100);
    }
}

// The request log so far (JSON lines, UTF-8).
inline std::string sim_log(const SimRun& run)
{
    std::string text;
    HANDLE file = CreateFileA((run.dos_dir + "/requests.log").c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return text;
    }
    char chunk[4096];
    DWORD count = 0;
    for (int i = 0; i < 4096 && ReadFile(file, chunk, sizeof chunk, &count, nullptr) && count > 0; ++i) {
        text.append(chunk, count);
    }
    CloseHandle(file);
    return text;
}
