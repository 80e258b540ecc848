// Services of the installed tools: starting one and waiting until it runs, and stopping a set
// of them through the Restart Manager so that the files they hold can be replaced.
#pragma once

#include <windows.h>

#include <restartmanager.h>

#include <functional>

// "SERVICE_STOPPED" ... "SERVICE_PAUSED" for the states 1 to 7, "INVALID" otherwise.
const char* ServiceStateName(DWORD state);

// True when the service runs at the end (started now, or already running).
bool Inst_StartService(const char* serviceName);

struct ServiceProgress {
   DWORD state;
   DWORD checkPoint;
   DWORD waitHint;
};

// The wait of Inst_StartService while the service reports SERVICE_START_PENDING: a poll every
// 500 ms, for at most 30 seconds in all whatever the check point does. `query` reads the status
// again (false: it could not); `sleep` waits the given milliseconds. Returns the last state
// read.
DWORD Inst_WaitWhileStartPending(ServiceProgress status, const std::function<bool(ServiceProgress&)>& query,
                                 const std::function<void(DWORD)>& sleep);

// True when the Restart Manager shut the services down. A count of 0 is a failure.
bool Util_StopFilesInUse(UINT count, const wchar_t* const serviceNames[]);

// The entry points of rstrtmgr.dll that Util_StopFilesInUse uses; a null entry counts as a
// missing export.
struct RestartManagerApi {
   DWORD(WINAPI* startSession)(DWORD* session, DWORD flags, WCHAR* sessionKey);
   DWORD(WINAPI* registerResources)
   (DWORD session, UINT fileCount, LPCWSTR files[], UINT processCount, RM_UNIQUE_PROCESS processes[], UINT serviceCount,
    LPCWSTR services[]);
   DWORD(WINAPI* shutdown)(DWORD session, ULONG actionFlags, RM_WRITE_STATUS_CALLBACK status);
   DWORD(WINAPI* endSession)(DWORD session);
};

// Tests put a table of their own in place of rstrtmgr.dll (null restores the library): Wine's
// Restart Manager accepts every call and shuts nothing down.
void Util_SetRestartManagerForTest(const RestartManagerApi* api);
