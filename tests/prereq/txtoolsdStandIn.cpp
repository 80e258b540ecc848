// Stands in for the tools' service program "txtoolsd.exe" in tests:
//   txtoolsd.exe --service [startPendingMs]   the TXTools service (started by the service manager);
//                                             reports start-pending with a growing check point
//                                             for startPendingMs before it runs
//   txtoolsd.exe -n txusr                      the per-user process: runs until told to stop
//   txtoolsd.exe -n txusr --kill               tells the per-user process to stop
#include <windows.h>

#include <cwchar>

namespace
{

// Created by the test before it starts the per-user process.
const wchar_t kUserStopEvent[] = L"Local\\TxToolsStandIn.UserStop";
constexpr DWORD kLongestRunMs = 120000; // a stand-in left behind by a failed test ends anyway

SERVICE_STATUS_HANDLE statusHandle = nullptr;
SERVICE_STATUS status{};
HANDLE stopEvent = nullptr;
DWORD startPendingMs = 0;

void Report(DWORD state, DWORD checkPoint, DWORD waitHint)
{
   status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
   status.dwCurrentState = state;
   status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
   status.dwWin32ExitCode = NO_ERROR;
   status.dwCheckPoint = checkPoint;
   status.dwWaitHint = waitHint;
   SetServiceStatus(statusHandle, &status);
}

DWORD WINAPI OnControl(DWORD control, DWORD, void*, void*)
{
   if (control == SERVICE_CONTROL_STOP) {
      Report(SERVICE_STOP_PENDING, 1, 1000);
      SetEvent(stopEvent);
   }
   return NO_ERROR;
}

void WINAPI ServiceMain(DWORD, wchar_t**)
{
   statusHandle = RegisterServiceCtrlHandlerExW(L"TXTools", OnControl, nullptr);
   stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
   DWORD checkPoint = 1;
   for (DWORD waited = 0; waited < startPendingMs; waited += 200) {
      Report(SERVICE_START_PENDING, checkPoint++, 1000);
      Sleep(200);
   }
   Report(SERVICE_RUNNING, 0, 0);
   WaitForSingleObject(stopEvent, INFINITE);
   Report(SERVICE_STOPPED, 0, 0);
}

int RunUserProcess()
{
   HANDLE stop = OpenEventW(SYNCHRONIZE, FALSE, kUserStopEvent);
   if (stop == nullptr) {
      return 2;
   }
   WaitForSingleObject(stop, kLongestRunMs);
   return 0;
}

int KillUserProcess()
{
   HANDLE stop = OpenEventW(EVENT_MODIFY_STATE, FALSE, kUserStopEvent);
   return stop != nullptr && SetEvent(stop) ? 0 : 1;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
   if (argc >= 2 && std::wcscmp(argv[1], L"--service") == 0) {
      startPendingMs = argc >= 3 ? static_cast<DWORD>(_wtoi(argv[2])) : 0;
      SERVICE_TABLE_ENTRYW table[] = {{const_cast<wchar_t*>(L"TXTools"), ServiceMain}, {nullptr, nullptr}};
      return StartServiceCtrlDispatcherW(table) ? 0 : 3;
   }
   if (argc >= 3 && std::wcscmp(argv[1], L"-n") == 0 && std::wcscmp(argv[2], L"txusr") == 0) {
      return argc >= 4 && std::wcscmp(argv[3], L"--kill") == 0 ? KillUserProcess() : RunUserProcess();
   }
   return 1;
}
