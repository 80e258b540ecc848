// Runs the runtime step the way the launcher does, in a process of its own, for what needs
// one: the version report (it prints on its parent's console) and a system the launcher sees
// as older than Windows 11 (this program has no manifest, so Windows reports 6.2 to it).
//   stage_host <extraction folder> <VCRUNTIME_VER> <VCRUNTIME64> <printVersions 0|1>
//              [<VCRUNTIME_VER_ALT> <VCRUNTIME64_ALT>]
// The exit code is the run's exit code.
#include <windows.h>

#include <shellapi.h>

#include <string>

#include "apps/install/setup/runtimeStage.h"
#include "apps/install/setup/ui/uiState.h"
#include "lib/install/log.h"
#include "lib/misc/win32u.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int)
{
   int argc = 0;
   wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
   if (argv == nullptr || (argc != 5 && argc != 7)) {
      return 87;
   }
   Inst_SetupLogging("stage_host", "t", nullptr, nullptr);
   SetupContext ctx;
   ctx.isAdmin = true;
   ctx.silent = true;
   ctx.windowTitle = "Title";
   ctx.printVersions = _wtoi(argv[4]) != 0;
   silentFlag = &ctx.silent;
   RuntimeSettings settings;
   settings.version = static_cast<uint32_t>(_wtoi(argv[2]));
   settings.runtime64 = Win32U_Utf8(argv[3]);
   if (argc == 7) {
      settings.versionAlt = static_cast<uint32_t>(_wtoi(argv[5]));
      settings.runtime64Alt = Win32U_Utf8(argv[6]);
   }
   const std::string folder = Win32U_Utf8(argv[1]) + "\\";
   RunRuntimePackagesStep(ctx, GetModuleHandleW(nullptr), settings, folder, nullptr);
   Inst_EndLogging();
   return ctx.exitCode;
}
