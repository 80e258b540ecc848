#include "tests/rpc/hostSimProcess.h"

#include "lib/misc/win32u.h"
#include "lib/rpc/backdoorWire.h"
#include "tests/unit/testSupport.h"

namespace {

constexpr DWORD kStartWaitMs = 10000;
constexpr DWORD kPollMs = 20;

} // namespace

CHostSimProcess::CHostSimProcess(const std::string& hostsimPath, const std::string& options,
                                 const std::string& recordPath)
    : recordPath_(recordPath)
{
   static int counter = 0;
   const std::string pipe =
       "\\\\.\\pipe\\txhostsim-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(counter++);
   const std::string line = "\"" + hostsimPath + "\" --pipe " + pipe + " --record \"" + recordPath + "\" " + options;
   STARTUPINFOW si{};
   si.cb = sizeof si;
   if (!Win32U_CreateProcess(hostsimPath.c_str(), line.c_str(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                             nullptr, &si, &process_)) {
      return;
   }
   const std::wstring widePipe = Win32U_Wide(pipe);
   for (DWORD waited = 0; waited < kStartWaitMs; waited += kPollMs) {
      if (WaitNamedPipeW(widePipe.c_str(), kPollMs)) {
         ready_ = true;
         break;
      }
      if (WaitForSingleObject(process_.hProcess, 0) == WAIT_OBJECT_0) {
         break;
      }
      Sleep(kPollMs);
   }
   if (ready_) {
      SetEnvironmentVariableW(L"" BACKDOOR_SIMULATOR_VARIABLE, widePipe.c_str());
   }
}

CHostSimProcess::~CHostSimProcess()
{
   SetEnvironmentVariableW(L"" BACKDOOR_SIMULATOR_VARIABLE, nullptr);
   if (process_.hProcess != nullptr) {
      TerminateProcess(process_.hProcess, 0);
      WaitForSingleObject(process_.hProcess, INFINITE);
      CloseHandle(process_.hProcess);
      CloseHandle(process_.hThread);
   }
}

std::vector<std::string> CHostSimProcess::Record() const
{
   return SplitLines(ReadTextFile(recordPath_));
}
