// Wine runs Unix programs directly but cannot wait for them: their effects are polled.
#include "billing_sim.h"

#include <windows.h>

const char sim_root[] = "Z:";

bool sim_run(const std::string& line, const std::string& awaited, bool present)
{
    if (present) {
        DeleteFileA((sim_root + awaited).c_str());  // an earlier run's
    }
    std::string command = "Z:\\bin\\bash " + line;
    std::wstring wide(command.size() + 1, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, command.c_str(), -1, &wide[0], static_cast<int>(wide.size()));
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, &wide[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        return false;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    for (int i = 0; i < 150; ++i) {
        if ((GetFileAttributesA((sim_root + awaited).c_str()) != INVALID_FILE_ATTRIBUTES) == present) {
            return true;
        }
        Sleep(100);
    }
    return false;
}
