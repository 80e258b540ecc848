#include "lib/install/processUtil.h"

#include <windows.h>

#include <tlhelp32.h>

#include "lib/install/launch.h"
#include "lib/install/log.h"
#include "lib/install/regUtil.h"
#include "lib/misc/handle.h"
#include "lib/misc/sysLib.h"
#include "lib/misc/win32u.h"
#include "lib/string/str.h"

namespace
{

constexpr DWORD kFirstProcessRoom = 1024; // ids; doubled while the list fills it
constexpr DWORD kProcessQueryAccess = PROCESS_QUERY_INFORMATION | PROCESS_VM_READ;
constexpr DWORD kInstallPathBytes = 260;
constexpr int kUserProcessChecks = 5;
constexpr DWORD kUserProcessCheckPauseMs = 500;
constexpr DWORD kBroadcastFlags = BSF_NOHANG | BSF_FORCEIFHUNG;

const char kToolsRegistryKey[] = "Software\\Tessix, Inc.\\Tessix Tools";
const char kUserProcessKillArguments[] = "-n txusr --kill";
const wchar_t* const kShutdownMessages[] = {L"TXdesktopEventsShutdownMsg", L"TXdesktopEventsTX3DServiceShutdownMsg"};

bool StartsWithNoCase(const std::string& text, const std::string& prefix)
{
   return text.size() >= prefix.size() && Str_EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

std::string BaseName(const std::string& path)
{
   const size_t slash = path.find_last_of('\\');
   return slash == std::string::npos ? path : path.substr(slash + 1);
}

struct ModuleRelease {
   HMODULE module;
   ~ModuleRelease()
   {
      if (module != nullptr) {
         Util_FreeLibrary(module);
      }
   }
};

} // namespace

void Util_SetPrivilege()
{
   UniqueHandle token;
   if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, token.put())) {
      Inst_LogLastWinError(LOG_ERROR, GetLastError(), "Util_SetPrivilege: Failed when OpenProcessToken");
      return;
   }
   TOKEN_PRIVILEGES privileges{};
   privileges.PrivilegeCount = 1;
   privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
   if (!LookupPrivilegeValueW(nullptr, SE_DEBUG_NAME, &privileges.Privileges[0].Luid)) {
      Inst_Log(LOG_ERROR, "Util_SetPrivilege: Failed when LookupPrivilegeValue, %d", static_cast<int>(GetLastError()));
      return;
   }
   if (!AdjustTokenPrivileges(token.get(), FALSE, &privileges, sizeof privileges, nullptr, nullptr)) {
      Inst_Log(LOG_ERROR, "Util_SetPrivilege: Failed when AdjustTokenPrivileges, %d", static_cast<int>(GetLastError()));
      return;
   }
   if (GetLastError() == ERROR_NOT_ALL_ASSIGNED) {
      Inst_Log(LOG_ERROR, "Util_SetPrivilege: The token does not have the specified privilege.");
   }
}

bool Util_IsProcessRunning(const char* imageName)
{
   using QueryImageNameFn = BOOL(WINAPI*)(HANDLE, DWORD, LPWSTR, PDWORD);
   using EnumProcessesFn = BOOL(WINAPI*)(DWORD*, DWORD, DWORD*);
   const std::string wanted = imageName != nullptr ? imageName : "";

   ModuleRelease kernel32{Util_LoadLibrary("kernel32.dll", false)};
   QueryImageNameFn queryImageName = nullptr;
   if (!SysLib_Bind(kernel32.module, "QueryFullProcessImageNameW", queryImageName)) {
      Inst_Log(LOG_ERROR, "Util_IsProcessRunning: Failed to find QueryFullProcessImageName export");
      Inst_Log(LOG_INFO, "Util_IsProcessRunning: %s running process: %s", "Could not find", wanted.c_str());
      return false;
   }
   ModuleRelease psapi{Util_LoadLibrary("psapi.dll", false)};
   if (psapi.module == nullptr) {
      return false;
   }
   EnumProcessesFn enumProcesses = nullptr;
   if (!SysLib_Bind(psapi.module, "EnumProcesses", enumProcesses)) {
      Inst_Log(LOG_ERROR, "Util_IsProcessRunning: Failed to find EnumProcesses export");
      return false;
   }
   Util_SetPrivilege();

   // A full list may have been cut: ask again with twice the room until it is not full.
   std::vector<DWORD> ids(kFirstProcessRoom);
   DWORD bytes = 0;
   for (;;) {
      const DWORD room = static_cast<DWORD>(ids.size() * sizeof(DWORD));
      if (!enumProcesses(ids.data(), room, &bytes)) {
         Inst_Log(LOG_ERROR, "Util_IsProcessRunning: Failed to enumerate processes");
         return false;
      }
      if (bytes < room) {
         break;
      }
      ids.resize(ids.size() * 2);
   }
   ids.resize(bytes / sizeof(DWORD));

   bool found = false;
   for (const DWORD id : ids) {
      UniqueHandle process(OpenProcess(kProcessQueryAccess, FALSE, id));
      if (!process) {
         continue;
      }
      wchar_t path[MAX_PATH];
      DWORD length = MAX_PATH;
      const BOOL queried = queryImageName(process.get(), 0, path, &length);
      process.reset();
      if (!queried) {
         Inst_LogLastWinError(LOG_ERROR, GetLastError(),
                              "Util_IsProcessRunning: Failed to query process image name for PID: %d",
                              static_cast<int>(id));
         continue;
      }
      const std::string fullPath = Win32U_ToUtf8(std::wstring_view(path, length)).value_or(std::string());
      if (Str_EqualsNoCase(BaseName(fullPath), wanted)) {
         Inst_Log(LOG_ERROR, "Util_IsProcessRunning: Found running process: %d:%s", static_cast<int>(id),
                  fullPath.c_str());
         found = true;
         break;
      }
   }
   Inst_Log(LOG_INFO, "Util_IsProcessRunning: %s running process: %s", found ? "Found" : "Could not find",
            wanted.c_str());
   return found;
}

bool Util_GetProcessIdList(const char* imageName, std::vector<uint32_t>& list)
{
   using SnapshotFn = HANDLE(WINAPI*)(DWORD, DWORD);
   using ProcessWalkFn = BOOL(WINAPI*)(HANDLE, PROCESSENTRY32W*);
   using ModuleWalkFn = BOOL(WINAPI*)(HANDLE, MODULEENTRY32W*);
   const std::string wanted = imageName != nullptr ? imageName : "";

   const HMODULE kernel32 = GetModuleHandleW(L"Kernel32.dll");
   if (kernel32 == nullptr) {
      Inst_LogLastWinError(LOG_ERROR, GetLastError(), "Util_GetProcessIdList: GetModuleHandle for Kernel32 failed");
      return false;
   }
   // Each entry point by name; a missing one ends the listing.
   const auto bind = [kernel32](const char* name, const char* shownName, auto& fn) {
      if (SysLib_Bind(kernel32, name, fn)) {
         return true;
      }
      Inst_LogLastWinError(LOG_ERROR, GetLastError(), "Util_GetProcessIdList: GetProcAddresss for %s failed",
                           shownName);
      return false;
   };
   SnapshotFn snapshot = nullptr;
   ProcessWalkFn processFirst = nullptr;
   ProcessWalkFn processNext = nullptr;
   ModuleWalkFn moduleFirst = nullptr;
   if (!bind("CreateToolhelp32Snapshot", "CreateToolhelp32Snapshot", snapshot) ||
       !bind("Process32FirstW", "Process32First", processFirst) ||
       !bind("Process32NextW", "Process32Next", processNext) || !bind("Module32FirstW", "Module32First", moduleFirst)) {
      return false;
   }

   UniqueHandle processes(snapshot(TH32CS_SNAPPROCESS, 0));
   PROCESSENTRY32W process{};
   process.dwSize = sizeof process;
   if (!processes || !processFirst(processes.get(), &process)) {
      return false;
   }
   do {
      // The first module is the executable; protected and system processes refuse a module
      // snapshot, and then the process entry's own file name serves.
      std::wstring name = process.szExeFile;
      UniqueHandle modules(snapshot(TH32CS_SNAPMODULE, process.th32ProcessID));
      if (modules) {
         MODULEENTRY32W module{};
         module.dwSize = sizeof module;
         if (moduleFirst(modules.get(), &module)) {
            name = module.szModule;
         }
      }
      if (StartsWithNoCase(Win32U_ToUtf8(name).value_or(std::string()), wanted)) {
         list.push_back(process.th32ProcessID);
      }
   } while (processNext(processes.get(), &process));
   return true;
}

std::string Util_GetToolsInstallPath()
{
   char buffer[kInstallPathBytes] = "";
   DWORD size = sizeof buffer;
   if (!Util_GetKeyValueString(HKEY_LOCAL_MACHINE, kToolsRegistryKey, "InstallPath", buffer, &size, false, false)) {
      size = sizeof buffer;
      buffer[0] = '\0';
      if (!Util_GetKeyValueString(HKEY_LOCAL_MACHINE, kToolsRegistryKey, "InstallPath", buffer, &size, false, true)) {
         buffer[0] = '\0';
      }
   }
   std::string path(buffer, strnlen(buffer, sizeof buffer));
   if (!path.empty() && path.back() != '/' && path.back() != '\\') {
      path += '\\';
   }
   return path;
}

bool StopTXToolsUserProcess()
{
   const std::string installPath = Util_GetToolsInstallPath();
   if (!Util_IsProcessRunning(kToolsProcessName)) {
      Inst_LogMsg("%s process is not running, no need to stop.", kToolsProcessName);
      return true;
   }
   std::vector<uint32_t> before;
   if (!Util_GetProcessIdList(kToolsProcessName, before)) {
      Inst_LogMsg("Fail to get process list before StopTXToolsUserProcess");
      before.clear();
   }

   // Without the tools' folder the bare name would be looked up from the current folder, where
   // anyone may have put a program of that name: run nothing rather than that.
   const std::string command = installPath + kToolsProcessName;
   if (installPath.empty() || !Util_Launch(command, kUserProcessKillArguments, true, true, nullptr)) {
      Inst_LogMsg("Fail to run '%s' to terminate tools user process", command.c_str());
      return false;
   }
   for (const wchar_t* name : kShutdownMessages) {
      DWORD recipients = BSM_APPLICATIONS;
      BroadcastSystemMessageW(kBroadcastFlags, &recipients, RegisterWindowMessageW(name), 0, 0);
   }

   for (int check = 1; check <= kUserProcessChecks; check++) {
      std::vector<uint32_t> now;
      if (Util_GetProcessIdList(kToolsProcessName, now)) {
         if (now.size() < before.size()) {
            return true;
         }
         Inst_LogMsg("TXTools user process '%s' not terminiated, retry #%d", kToolsProcessName, check);
      } else {
         Inst_LogMsg("Fail to get process list after StopTXToolsUserProcess ");
      }
      Sleep(kUserProcessCheckPauseMs);
   }
   return false;
}
