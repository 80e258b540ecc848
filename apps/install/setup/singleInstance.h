// One launcher at a time per file name and per product, across sessions.
#pragma once

#include <windows.h>

#include <string>

// The mutex name for this launcher file: the global prefix (or the local one on systems older
// than NT 5 without Terminal Services) plus the file name without folder and extension.
std::wstring SingleInstanceMutexName(DWORD majorVersion, bool terminalServices, const std::wstring& modulePath);

// Takes the lock of this launcher's file name and, when `productCode` is a valid one, the lock of
// its product: copies of one product share the extraction folder "<temp>\<code>~setup" whatever
// their file names. False when another launcher holds either. The handles stay open until the
// process ends.
bool AcquireSingleInstanceLock(DWORD majorVersion, const std::string& productCode);
