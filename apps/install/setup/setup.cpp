// The launcher's entry: one run on the main thread from library hardening to the exit code.
#include <windows.h>

#include <string>

#include "apps/install/setup/adminCheck.h"
#include "apps/install/setup/buildInfo.h"
#include "apps/install/setup/dllHardening.h"
#include "apps/install/setup/setupContext.h"
#include "apps/install/setup/ui/messages.h"
#include "lib/install/log.h"
#include "lib/install/regUtil.h"
#include "lib/misc/win32u.h"

namespace {

constexpr size_t kWindowTitleBytes = 256 * 3; // 256 characters of UTF-8
const char kHostLogKey[] = "SOFTWARE\\Tessix, Inc.\\TxmLog";
constexpr DWORD kVersionInfoExBytes = 284;
constexpr DWORD kVersionInfoBytes = 276;

void ReadOsFacts(SetupContext& ctx)
{
   OSVERSIONINFOEXW& v = ctx.osVersion;
   v = OSVERSIONINFOEXW{};
   v.dwOSVersionInfoSize = kVersionInfoExBytes;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
   if (!GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&v))) {
      v = OSVERSIONINFOEXW{};
      v.dwOSVersionInfoSize = kVersionInfoBytes;
      GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&v));
      v.wServicePackMajor = 0;
   }
#pragma GCC diagnostic pop
   ctx.isNt5OrLater = v.dwMajorVersion >= 5 && v.dwPlatformId == VER_PLATFORM_WIN32_NT;
   ctx.isWindows2000 = v.dwMajorVersion == 5 && v.dwMinorVersion == 0;
   ctx.isPreVista = v.dwMajorVersion < 6;
   ctx.isPreWindows8 = v.dwMajorVersion < 6 || (v.dwMajorVersion == 6 && v.dwMinorVersion < 2);
}

void LogOsInfo(const SetupContext& ctx)
{
   const OSVERSIONINFOEXW& v = ctx.osVersion;
   Inst_LogMsg("Operating system info:");
   Inst_LogMsg("   Admin install = %s", ctx.isAdmin ? "TRUE" : "FALSE");
   Inst_LogMsg("   Major version = %d", static_cast<int>(v.dwMajorVersion));
   Inst_LogMsg("   Minor version = %d", static_cast<int>(v.dwMinorVersion));
   Inst_LogMsg("   Service pack  = %d", static_cast<int>(v.wServicePackMajor));
   Inst_LogMsg("   Build number  = %d", static_cast<int>(v.dwBuildNumber));
   Inst_LogMsg("   Bitness       = %d-bit", 64);
   Inst_LogMsg("   Platform      = %s", v.dwPlatformId == VER_PLATFORM_WIN32_NT ? "NT" : "9X");
   Inst_LogMsg("Running from: \"%s\"", ctx.modulePath.c_str());
}

const char* OptionalName(const std::string& value)
{
   return value.empty() ? nullptr : value.c_str();
}

// Every path of the run ends here; nothing in it changes the exit code.
int RunExitSequence(SetupContext& ctx)
{
   Inst_LogMsg("Setup exit code is: %d", static_cast<int>(ctx.exitCode));
   Util_DeleteKey(HKEY_LOCAL_MACHINE, kHostLogKey);
   Inst_EndLogging();

   UINT previous = SetErrorMode(SEM_FAILCRITICALERRORS);
   Util_ArchiveLogFile(true, "txinst.log", ctx.installSucceeded, OptionalName(ctx.logInstName));
   SetErrorMode(previous);
   previous = SetErrorMode(SEM_FAILCRITICALERRORS);
   Util_ArchiveLogFile(true, "txmsi.log", ctx.installSucceeded, OptionalName(ctx.logMsiName));
   SetErrorMode(previous);
   return ctx.exitCode;
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, LPWSTR /*commandLine*/, int /*show*/)
{
   HardenLibrarySearch();

   SetupContext ctx;
   ReadOsFacts(ctx);
   ctx.isAdmin = IsUserAdmin(false, ctx.osVersion.dwMajorVersion);
   char title[kWindowTitleBytes] = "";
   LoadMessage(instance, MSG_TITLE, title, sizeof title);
   ctx.windowTitle = title;
   auto modulePath = Win32U_GetModuleFileName(nullptr);
   if (!modulePath) {
      ctx.exitCode = static_cast<int32_t>(GetLastError());
      return RunExitSequence(ctx);
   }
   ctx.modulePath = *modulePath;

   Util_ArchiveLogFile(false, "txinst.log", true, OptionalName(ctx.logInstName));
   Util_ArchiveLogFile(false, "txmsi.log", true, OptionalName(ctx.logMsiName));
   Inst_InitHostLogging(kLauncherLogTag);
   LogOsInfo(ctx);

   return RunExitSequence(ctx);
}
