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

bool StartLauncher(const LauncherOptions& options, const std::string& tempFolder, PROCESS_INFORMATION& started)
{
   TempFolderOverride override(tempFolder + "\\");
   EnvironmentOverride environment(options.environment);
   const std::string program = options.programName.empty() ? "\"" + options.image + "\"" : options.programName;
   const std::string line = program + " " + options.arguments;
   STARTUPINFOW si{};
   si.cb = sizeof si;
   started = PROCESS_INFORMATION{};
   const char* cwd = options.workingDirectory.empty() ? nullptr : options.workingDirectory.c_str();
   return Win32U_CreateProcess(options.image.c_str(), line.c_str(), nullptr, nullptr, FALSE, 0, nullptr, cwd, &si,
                               &started) != FALSE;
}

LauncherRun FinishLauncher(PROCESS_INFORMATION& started, DWORD timeoutMs, const std::string& tempFolder)
{
   LauncherRun run;
   if (WaitForSingleObject(started.hProcess, timeoutMs) != WAIT_OBJECT_0) {
      ADD_FAILURE() << "the launcher did not end within " << timeoutMs << " ms";
      TerminateProcess(started.hProcess, 1);
      WaitForSingleObject(started.hProcess, 5000);
   }
   GetExitCodeProcess(started.hProcess, &run.exitCode);
   CloseHandle(started.hProcess);
   CloseHandle(started.hThread);
   started = PROCESS_INFORMATION{};
   run.tempFiles = ListFolder(tempFolder);
   for (const auto& name : run.tempFiles) {
      if (name.rfind("txinst.log", 0) == 0) {
         run.logName = name;
         run.log = ReadTextFile(tempFolder + "\\" + name);
      }
   }
   return run;
}

LauncherRun RunLauncher(const LauncherOptions& options, const std::string& tempFolder)
{
   PROCESS_INFORMATION started;
   if (!StartLauncher(options, tempFolder, started)) {
      ADD_FAILURE() << "CreateProcess failed: " << GetLastError();
      return LauncherRun();
   }
   return FinishLauncher(started, options.timeoutMs, tempFolder);
}

LauncherRun RunLauncher(const LauncherOptions& options, const ScratchDir& temp)
{
   return RunLauncher(options, temp.path());
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

// The text between `before` and the next `after` in the line of `log` that contains `before`.
std::string Between(const std::string& log, const std::string& before, const std::string& after)
{
   const std::string line = FindLine(log, before);
   const size_t start = line.find(before);
   if (start == std::string::npos) {
      return std::string();
   }
   const size_t from = start + before.size();
   return line.substr(from, line.find(after, from) - from);
}

bool HasLine(const std::string& log, const std::string& text)
{
   return !FindLine(log, text).empty();
}
