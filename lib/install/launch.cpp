#include "lib/install/launch.h"

#include "lib/install/fileUtil.h"
#include "lib/install/log.h"
#include "lib/misc/win32u.h"

namespace
{
constexpr DWORD kHiddenFlags = CREATE_NO_WINDOW | CREATE_NEW_CONSOLE;
}

LaunchResult Util_LaunchEx(std::string path, std::string arguments, DWORD timeoutMs, bool hideWindow,
                           uint32_t* exitCodeOut, PROCESS_INFORMATION* processInfoOut)
{
   std::string commandLine;
   if (!path.empty()) {
      const size_t first = path.find_first_not_of('"');
      const size_t last = path.find_last_not_of('"');
      path = first == std::string::npos ? std::string() : path.substr(first, last - first + 1);
      if (!Util_FileExists(path)) {
         Inst_Log(LOG_ERROR, "Util_Launch: File \"%s\" doesn't exist", path.c_str());
         return LaunchFailed;
      }
      const std::string quoted = "\"" + path + "\"";
      // The room is counted in Windows' characters (UTF-16 units), not in UTF-8 bytes.
      const auto wide = Win32U_ToWide(quoted);
      const size_t characters = wide ? wide->size() : quoted.size();
      if (characters > kLaunchMaxQuotedPath) {
         Inst_Log(LOG_ERROR, "Util_Launch: Program path is too long (%u characters): \"%s\"",
                  static_cast<unsigned>(characters), path.c_str());
         return LaunchFailed;
      }
      commandLine = quoted + " " + arguments;
   } else {
      commandLine = arguments;
   }
   Inst_Log(LOG_INFO, "Util_Launch: Attempting to launch \"%s\"", commandLine.c_str());

   STARTUPINFOW si{};
   si.cb = sizeof si;
   if (hideWindow) {
      si.dwFlags = STARTF_USESHOWWINDOW;
      si.wShowWindow = SW_HIDE;
   }
   SECURITY_ATTRIBUTES processAttributes{sizeof processAttributes, nullptr, TRUE};
   SECURITY_ATTRIBUTES threadAttributes{sizeof threadAttributes, nullptr, FALSE};
   const DWORD flags = (hideWindow ? kHiddenFlags : DETACHED_PROCESS) | CREATE_UNICODE_ENVIRONMENT;
   PROCESS_INFORMATION pi{};
   if (!Win32U_CreateProcess(nullptr, commandLine.c_str(), &processAttributes, &threadAttributes, FALSE, flags, nullptr,
                             nullptr, &si, &pi)) {
      Inst_LogLastWinError(LOG_ERROR, GetLastError(), "Util_Launch: Create Process failed");
      return LaunchFailed;
   }

   LaunchResult result = LaunchFinished;
   const DWORD wait = WaitForSingleObject(pi.hProcess, timeoutMs);
   if (wait == WAIT_TIMEOUT) {
      Inst_Log(LOG_ERROR, "Util_Launch: No exit code returned from async/timeout process");
      result = LaunchStillRunning;
   } else {
      if (wait == WAIT_FAILED) {
         Inst_LogLastWinError(LOG_ERROR, GetLastError(), "Util_Launch: Wait failed");
      }
      DWORD code = 0;
      if (exitCodeOut != nullptr && GetExitCodeProcess(pi.hProcess, &code)) {
         *exitCodeOut = code;
         Inst_Log(LOG_INFO, "Util_Launch: Child exited with code %u", static_cast<unsigned>(code));
      }
   }
   if (processInfoOut != nullptr) {
      *processInfoOut = pi;
   } else {
      CloseHandle(pi.hThread);
      CloseHandle(pi.hProcess);
   }
   return result;
}

bool Util_Launch(std::string path, std::string arguments, bool wait, bool hideWindow, uint32_t* exitCodeOut)
{
   uint32_t code = 0;
   const LaunchResult result =
       Util_LaunchEx(std::move(path), std::move(arguments), wait ? INFINITE : 0, hideWindow, &code, nullptr);
   if (result == LaunchFinished && exitCodeOut != nullptr) {
      Inst_Log(LOG_INFO, "Util_Launch: Process returned %d", static_cast<int>(code));
      *exitCodeOut = code;
   }
   return result != LaunchFailed;
}

HMODULE Util_LoadLibrary(const char* name, bool alteredSearchPath)
{
   HMODULE module = Win32U_LoadLibraryEx(name, alteredSearchPath ? LOAD_WITH_ALTERED_SEARCH_PATH : 0);
   if (module == nullptr) {
      Inst_LogLastWinError(LOG_ERROR, GetLastError(), "Util_LoadLibrary: Failed to load library %s", name);
      return nullptr;
   }
   Inst_Log(LOG_INFO, "Util_LoadLibrary: Loaded library %s(%u)", name,
            static_cast<unsigned>(reinterpret_cast<uintptr_t>(module)));
   return module;
}

bool Util_FreeLibrary(HMODULE module)
{
   Inst_Log(LOG_INFO, "Util_FreeLibrary: Freeing library: %d", static_cast<int>(reinterpret_cast<uintptr_t>(module)));
   if (module == nullptr) {
      Inst_Log(LOG_WARNING, "Util_FreeLibrary: Cannot free NULL library");
      return false;
   }
   if (!FreeLibrary(module)) {
      Inst_LogLastWinError(LOG_WARNING, GetLastError(), "Util_FreeLibrary: Failed to free module");
      return false;
   }
   return true;
}
