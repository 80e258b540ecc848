// One launcher of a given file name at a time, across sessions.
#pragma once

#include <windows.h>

#include <string>

// The mutex name for this launcher file: the global prefix (or the local one on systems older
// than NT 5 without Terminal Services) plus the file name without folder and extension.
std::wstring SingleInstanceMutexName(DWORD majorVersion, bool terminalServices, const std::wstring& modulePath);

// Takes the lock; false when another launcher holds it. The handle stays open until the process ends.
bool AcquireSingleInstanceLock(DWORD majorVersion);
