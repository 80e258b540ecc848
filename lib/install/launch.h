// Running child programs without a window, with a time-out, and the logged load and free of
// libraries.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

enum LaunchResult : int {
   LaunchFailed = 0,       // nothing ran
   LaunchFinished = 1,     // the child ended within the time-out
   LaunchStillRunning = 2, // the time-out passed; no exit code
};

// The quoted program path may be at most this many characters (UTF-16 units): the command
// line's room for a path.
constexpr size_t kLaunchMaxQuotedPath = 261;

bool Util_Launch(std::string path, std::string arguments, bool wait, bool hideWindow, uint32_t* exitCodeOut);
LaunchResult Util_LaunchEx(std::string path, std::string arguments, DWORD timeoutMs, bool hideWindow,
                           uint32_t* exitCodeOut, PROCESS_INFORMATION* processInfoOut);
HMODULE Util_LoadLibrary(const char* name, bool alteredSearchPath);
bool Util_FreeLibrary(HMODULE module);
