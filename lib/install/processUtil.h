// Processes of the installed tools: finding them by image name and asking the tools' per-user
// process to quit before the files it holds are replaced.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

inline constexpr char kToolsProcessName[] = "txtoolsd.exe";

// True when a running process's image file name (after the last back-slash of its full path)
// equals `imageName`, ignoring case.
bool Util_IsProcessRunning(const char* imageName);

// Appends the id of every process whose image name begins with `imageName` (ignoring case).
// True when the enumeration completed.
bool Util_GetProcessIdList(const char* imageName, std::vector<uint32_t>& list);

// Enables SeDebugPrivilege in the process token so that other users' processes can be opened;
// failures are logged and otherwise ignored.
void Util_SetPrivilege();

// The tools' folder from "InstallPath" (native view, then the 32-bit view), ending in a path
// separator; empty when it cannot be read.
std::string Util_GetToolsInstallPath();

// True when the tools' per-user process has gone (or was not running).
bool StopTXToolsUserProcess();
