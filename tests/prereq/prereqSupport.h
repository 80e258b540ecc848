// Fixtures of the prerequisite tests: a launcher log per test, the stand-ins of the installed
// tools (the TXTools service, the per-user process, the install path) and the package copies.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tests/prereq/versionResource.h"
#include "tests/unit/testSupport.h"

bool Contains(const std::string& text, const std::string& part);
// Each of `lines` is somewhere in `log`; a failure names the one missing and shows the log.
void ExpectLines(const std::string& log, const std::vector<std::string>& lines);

// The test program's arguments: the stand-ins' paths as Wine shows them.
std::string FakeInstallerPath(); // fake_installer.exe
std::string ToolsStandInPath();  // txtoolsd.exe
std::string StageHostPath();     // stage_host.exe
std::string LauncherPath();      // setup.exe: the message catalogue

// A launcher log in a folder of its own, with every level on (the log level is a registry
// value of the machine, restored afterwards), and a record of the stand-ins that ran.
class LoggedTest
{
 public:
   LoggedTest();
   ~LoggedTest();
   std::string Log() const;
   // "<file name>|<command line>" of each stand-in installer run, in order.
   std::vector<std::string> Runs() const;
   const ScratchDir& temp() const { return temp_; }

 private:
   ScratchDir temp_{"prereq"};
   TempFolderOverride override_{temp_.path() + "\\"};
   std::optional<DWORD> oldLevel_;
};

// A copy of the stand-in installer at folder\relativePath (folders made as needed) that exits
// with `exitCode` and carries `version` (nothing: no version resource).
bool PlaceInstaller(const std::string& folder, const std::string& relativePath, uint32_t exitCode,
                    const std::optional<TestVersion>& version);

// The installed tools as the launcher meets them: "InstallPath" naming the stand-in's folder,
// the TXTools service registered with the stand-in, and the per-user process when asked for.
class InstalledTools
{
 public:
   InstalledTools();
   ~InstalledTools();
   bool RegisterService(DWORD startPendingMs = 0);
   bool StartUserProcess();
   bool UserProcessRunning() const;
   DWORD ServiceState() const; // 0 when the service cannot be queried
   bool StopService();

 private:
   HANDLE stopEvent_ = nullptr;
   PROCESS_INFORMATION user_{};
};

// Stops a service and waits until its process has ended.
bool StopServiceAndWait(const wchar_t* name);

// A Restart Manager that records the services registered with it and shuts them down through
// the service manager, or fails at the step a test names.
struct FakeRestartManager {
   enum class FailAt { Nothing, Start, Register, Shutdown, End };
   static void Install(FailAt failAt);
   static void Remove();
   static std::vector<std::wstring> registered;
   static bool sessionEnded;
};

// A console of this process's own (as a command prompt would have), wide enough that no line
// of a report wraps.
class TestConsole
{
 public:
   TestConsole();
   ~TestConsole();
   TestConsole(const TestConsole&) = delete;
   TestConsole& operator=(const TestConsole&) = delete;
   // The screen's lines, blanks cut at the end, empty lines after the last text dropped.
   std::vector<std::string> Lines() const;

 private:
   HANDLE out_ = INVALID_HANDLE_VALUE;
};

// What the version report prints about the launcher itself.
std::vector<std::string> ReportHeader();
// The whole report of a packed launcher whose runtime package is the stand-in, extracted to
// `folder`.
std::vector<std::string> StandInVersionReport(const std::string& folder);

inline constexpr char kToolsKey[] = "Software\\Tessix, Inc.\\Tessix Tools";
