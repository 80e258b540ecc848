#include "tests/e2e/runSupport.h"

#include <gtest/gtest.h>

#include "lib/misc/win32u.h"

namespace {

// Sets variables for the life of the object, restoring the old values afterwards.
class EnvironmentOverride {
public:
   explicit EnvironmentOverride(const std::vector<std::pair<std::string, std::string>>& values)
   {
      for (const auto& [name, value] : values) {
         const std::wstring wideName = Win32U_Wide(name);
         wchar_t old[4096];
         const DWORD n = GetEnvironmentVariableW(wideName.c_str(), old, 4096);
         saved_.push_back({wideName, n > 0 && n < 4096 ? std::optional<std::wstring>(std::wstring(old, n)) : std::nullopt});
         SetEnvironmentVariableW(wideName.c_str(), Win32U_Wide(value).c_str());
      }
   }
   ~EnvironmentOverride()
   {
      for (const auto& [name, value] : saved_) {
         SetEnvironmentVariableW(name.c_str(), value ? value->c_str() : nullptr);
      }
   }

private:
   std::vector<std::pair<std::wstring, std::optional<std::wstring>>> saved_;
};

} // namespace

LauncherRun RunLauncher(const LauncherOptions& options, const ScratchDir& temp)
{
   TempFolderOverride override(temp.path() + "\\");
   EnvironmentOverride environment(options.environment);
   const std::string line = "\"" + options.image + "\" " + options.arguments;
   STARTUPINFOW si{};
   si.cb = sizeof si;
   PROCESS_INFORMATION pi{};
   LauncherRun run;
   if (!Win32U_CreateProcess(options.image.c_str(), line.c_str(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                             &pi)) {
      ADD_FAILURE() << "CreateProcess failed: " << GetLastError();
      return run;
   }
   if (WaitForSingleObject(pi.hProcess, options.timeoutMs) != WAIT_OBJECT_0) {
      ADD_FAILURE() << "the launcher did not end within " << options.timeoutMs << " ms";
      TerminateProcess(pi.hProcess, 1);
      WaitForSingleObject(pi.hProcess, 5000);
   }
   GetExitCodeProcess(pi.hProcess, &run.exitCode);
   CloseHandle(pi.hProcess);
   CloseHandle(pi.hThread);
   run.tempFiles = ListFolder(temp.path());
   for (const auto& name : run.tempFiles) {
      if (name.rfind("txinst.log", 0) == 0) {
         run.logName = name;
         run.log = ReadTextFile(temp / name);
      }
   }
   return run;
}

std::string FindLine(const std::string& log, const std::string& text)
{
   for (const auto& line : SplitLines(log)) {
      if (line.find(text) != std::string::npos) {
         return line;
      }
   }
   return std::string();
}

bool HasLine(const std::string& log, const std::string& text)
{
   return !FindLine(log, text).empty();
}
