// What the fault and security tests share: the build's launchers and fixtures, copies of a
// launcher under a file name of the test's own, and the checks every refused run must pass.
#pragma once

#include <msi.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cwchar>
#include <string>
#include <vector>

#include "lib/misc/win32u.h"
#include "tests/e2e/payloadDamage.h"
#include "tests/e2e/runSupport.h"
#include "tests/e2e/sampleProduct.h"

namespace faults
{

inline const char kSilentInstall[] = "/s /v\"/qn REBOOT=ReallySuppress\"";

inline std::string SmallLauncher()
{
   return WinePath(TestArg(1));
}
inline std::string BigLauncher()
{
   return WinePath(TestArg(2));
}
inline std::string SignedLauncher()
{
   return WinePath(TestArg(3));
}
inline std::string FixtureRoot()
{
   return WinePath(TestArg(4));
}
inline std::string CanaryDll()
{
   return WinePath(TestArg(5));
}
inline std::string NaiveLoader()
{
   return WinePath(TestArg(6));
}
inline std::string SamplePackage()
{
   return WinePath(TestArg(7));
}
inline std::string RuntimeStandIn()
{
   return WinePath(TestArg(8));
}
inline std::string CutLauncher()
{
   return WinePath(TestArg(9));
}
inline std::string OtherProductLauncher()
{
   return WinePath(TestArg(10));
}
inline std::string HostSim()
{
   return WinePath(TestArg(11));
}

// A copy of `image` named `name` in `folder`. Each test names its own copies: the
// single-instance lock is per file name (and per product), and other tests run launchers named
// setup.exe.
inline std::string CopyLauncher(const std::string& image, const std::string& folder, const std::string& name)
{
   const std::string copy = folder + "\\" + name;
   EXPECT_TRUE(CopyFileW(Win32U_Wide(image).c_str(), Win32U_Wide(copy).c_str(), FALSE)) << image;
   return copy;
}

inline LauncherRun RunCopy(const std::string& image, const std::string& temp, const std::string& arguments,
                           const std::string& cwd = std::string())
{
   LauncherOptions options;
   options.image = image;
   options.arguments = arguments;
   options.workingDirectory = cwd;
   return RunLauncher(options, temp);
}

inline bool IsCrash(DWORD code)
{
   return code >= 0xC0000000u;
}

// A refused run: its code (never 0, never a crash), its line, the log archived as a failed
// one, and nothing else left in the temporary folder.
inline void ExpectCleanFailure(const LauncherRun& run, DWORD code, const std::string& line, const std::string& what)
{
   EXPECT_EQ(run.exitCode, code) << what << "\n" << run.log;
   EXPECT_TRUE(HasLine(run.log, line)) << what << ": no line \"" << line << "\"\n" << run.log;
   EXPECT_TRUE(HasLine(run.log, "I0: Setup exit code is: " + std::to_string(static_cast<int>(code)))) << what;
   EXPECT_NE(run.logName.find("_Failed.log"), std::string::npos) << what << ": log " << run.logName;
   EXPECT_EQ(run.tempFiles, std::vector<std::string>{run.logName}) << what;
}

// Every file under `folder` with its contents, for comparing a canary before and after.
inline void Snapshot(const std::string& folder, const std::string& prefix, std::vector<std::string>& out)
{
   for (const std::string& name : ListFolder(folder)) {
      const std::string path = folder + "\\" + name;
      const DWORD attributes = Win32U_GetFileAttributes(path.c_str());
      if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
         Snapshot(path, prefix + name + "\\", out);
      } else {
         out.push_back(prefix + name + "=" + ReadTextFile(path));
      }
   }
}

inline std::vector<std::string> Snapshot(const std::string& folder)
{
   std::vector<std::string> out;
   Snapshot(folder, std::string(), out);
   return out;
}

} // namespace faults
