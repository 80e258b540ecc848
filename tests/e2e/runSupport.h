// Runs a launcher as a user would: its own process with a temporary folder of its own, from a
// Windows-side driver that sees the real exit code (the shell sees only its low 8 bits).
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "tests/unit/testSupport.h"

struct LauncherRun {
   DWORD exitCode = 0xFFFFFFFF;
   std::string log;                    // this run's launcher log, archived or live
   std::string logName;                // its file name in the temporary folder
   std::vector<std::string> tempFiles; // what the temporary folder holds afterwards
};

struct LauncherOptions {
   std::string image;     // Windows path of the launcher
   std::string arguments; // the command line after the program name
   std::string programName; // the command line's first word as written; empty: the image in quotes
   std::vector<std::pair<std::string, std::string>> environment; // extra variables for the child
   std::string workingDirectory; // empty: the test's own
   DWORD timeoutMs = 180000;
};

LauncherRun RunLauncher(const LauncherOptions& options, const ScratchDir& temp);
LauncherRun RunLauncher(const LauncherOptions& options, const std::string& tempFolder);

// A launcher started without waiting, for tests that need it running beside another; false
// when it could not be started.
bool StartLauncher(const LauncherOptions& options, const std::string& tempFolder, PROCESS_INFORMATION& started);
// Waits for a started launcher (ending it after the time-out) and collects what it left.
LauncherRun FinishLauncher(PROCESS_INFORMATION& started, DWORD timeoutMs, const std::string& tempFolder);

// The line of `log` that contains `text`, or an empty string.
std::string FindLine(const std::string& log, const std::string& text);
// The text between `before` and the next `after` in the line of `log` that contains `before`.
std::string Between(const std::string& log, const std::string& before, const std::string& after);
bool HasLine(const std::string& log, const std::string& text);
