#include "apps/install/setup/reboot.h"

#include <commctrl.h>
#include <wtsapi32.h>

#include "apps/install/setup/ui/messageBox.h"
#include "apps/install/setup/ui/messages.h"
#include "apps/install/setup/ui/uiState.h"
#include "lib/install/log.h"
#include "lib/misc/handle.h"
#include "lib/misc/sysLib.h"
#include "lib/misc/win32u.h"

namespace
{

constexpr UINT kMessageUpdateAgentRestart = 65;
constexpr size_t kMessageChars = 1024;
constexpr DWORD kConsoleAnswerSeconds = 30;
constexpr DWORD kRestartReason = SHTDN_REASON_FLAG_PLANNED | SHTDN_REASON_FLAG_CLEAN_UI |
                                 SHTDN_REASON_MAJOR_APPLICATION | SHTDN_REASON_MINOR_INSTALLATION;
static_assert(kRestartReason == 0x84040002, "planned, clean UI, application: installation");

const RebootCalls* testCalls = nullptr;

BOOL WINAPI SystemExitWindows(UINT flags, DWORD reason)
{
   return ExitWindowsEx(flags, reason);
}

// Looked up at each use: wtsapi32.dll may be missing, and then nobody is asked.
struct BoundCalls {
   UniqueModule wtsapi;
   RebootCalls calls{};
};

void Bind(BoundCalls& bound)
{
   if (testCalls != nullptr) {
      bound.calls = *testCalls;
      return;
   }
   SysLib_Bind(GetModuleHandleW(L"kernel32.dll"), "WTSGetActiveConsoleSessionId",
               bound.calls.getActiveConsoleSessionId);
   bound.wtsapi.reset(SysLib_Load(L"wtsapi32.dll"));
   SysLib_Bind(bound.wtsapi.get(), "WTSSendMessageW", bound.calls.sendMessage);
   bound.calls.exitWindows = SystemExitWindows;
}

bool RestartWith(const RebootCalls& calls)
{
   Inst_LogMsg("User selected to reboot");
   EnableShutdownPrivilege();
   // A refused request leaves the restart to be done: the exit code must still say so.
   return calls.exitWindows(EWX_REBOOT, kRestartReason) != FALSE;
}

} // namespace

void Reboot_SetCallsForTest(const RebootCalls* calls)
{
   testCalls = calls;
}

RestartReasons RestartReasonsOf(const SetupContext& ctx)
{
   return RestartReasons{ctx.vcRebootNeeded, ctx.engineRebootNeeded, ctx.repairRebootNeeded};
}

bool PromptForReboot(const SetupContext& ctx, HMODULE resources)
{
   const RestartReasons reasons = RestartReasonsOf(ctx);
   Inst_LogMsg("Reboot required by [%s], prompting user", RestartReasonList(reasons).c_str());
   // A silent run never restarts: the task dialog's own silent answer would be its default, Yes.
   const int answer =
       ctx.silent ? IDNO
                  : ShowTaskMessage(resources, messageOwner, ctx.windowTitle.c_str(), RestartPromptMessage(reasons),
                                    nullptr, TD_WARNING_ICON, 0, TDCBF_YES_BUTTON | TDCBF_NO_BUTTON, IDYES);
   if (answer != IDYES) {
      return false;
   }
   return RestartWindows();
}

bool PromptUpdateAgentReboot(HMODULE resources, const std::string& productName)
{
   Inst_LogMsg("Reboot required after install initiated from update agent, prompting user");
   char text[kMessageChars * 3] = "";
   LoadMessage(resources, kMessageUpdateAgentRestart, text, sizeof text);
   std::wstring wideText = Win32U_ToWide(text).value_or(std::wstring());
   std::wstring wideTitle = Win32U_ToWide(productName).value_or(std::wstring());

   BoundCalls bound;
   Bind(bound);
   const RebootCalls& calls = bound.calls;
   if (calls.getActiveConsoleSessionId == nullptr || calls.sendMessage == nullptr) {
      return RestartWith(calls);
   }
   DWORD response = 0;
   if (!calls.sendMessage(WTS_CURRENT_SERVER_HANDLE, calls.getActiveConsoleSessionId(), wideTitle.data(),
                          static_cast<DWORD>(wideTitle.size() * sizeof(wchar_t)), wideText.data(),
                          static_cast<DWORD>(wideText.size() * sizeof(wchar_t)), MB_YESNO | MB_ICONQUESTION,
                          kConsoleAnswerSeconds, &response, TRUE)) {
      Inst_LogLastWinError(LOG_ERROR, GetLastError(), "PromptUpdateAgentReboot: WTSSendMessageW failed");
      return false;
   }
   if (!UpdateAgentAnswerRestarts(static_cast<int>(response))) {
      return false;
   }
   return RestartWith(calls);
}

bool EnableShutdownPrivilege()
{
   using OpenProcessTokenFn = BOOL(WINAPI*)(HANDLE, DWORD, HANDLE*);
   using LookupPrivilegeValueFn = BOOL(WINAPI*)(LPCSTR, LPCSTR, LUID*);
   using AdjustTokenPrivilegesFn = BOOL(WINAPI*)(HANDLE, BOOL, TOKEN_PRIVILEGES*, DWORD, TOKEN_PRIVILEGES*, DWORD*);
   UniqueModule advapi(SysLib_Load(L"advapi32.dll"));
   OpenProcessTokenFn openToken = nullptr;
   LookupPrivilegeValueFn lookup = nullptr;
   AdjustTokenPrivilegesFn adjust = nullptr;
   if (!SysLib_Bind(advapi.get(), "OpenProcessToken", openToken) ||
       !SysLib_Bind(advapi.get(), "LookupPrivilegeValueA", lookup) ||
       !SysLib_Bind(advapi.get(), "AdjustTokenPrivileges", adjust)) {
      return false;
   }
   UniqueHandle token;
   TOKEN_PRIVILEGES privileges{};
   privileges.PrivilegeCount = 1;
   privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
   if (!openToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.put()) ||
       !lookup(nullptr, "SeShutdownPrivilege", &privileges.Privileges[0].Luid)) {
      return false;
   }
   adjust(token.get(), FALSE, &privileges, 0, nullptr, nullptr);
   return GetLastError() == ERROR_SUCCESS;
}

bool RestartWindows()
{
   BoundCalls bound;
   Bind(bound);
   return RestartWith(bound.calls);
}

bool OfferRestart(const SetupContext& ctx, HMODULE resources, const std::string& productName)
{
   switch (DecideRestartOffer(RestartReasonsOf(ctx), ctx.updateAgent, ctx.exitCode)) {
   case RestartOffer::Prompt:
      return PromptForReboot(ctx, resources);
   case RestartOffer::UpdateAgentPrompt:
      return PromptUpdateAgentReboot(resources, productName);
   case RestartOffer::None:
      break;
   }
   return false;
}

bool RestartNeeded(const SetupContext& ctx)
{
   return ctx.vcRebootNeeded || ctx.engineRebootNeeded || ctx.repairRebootNeeded || ctx.rebootPendingFromUninstall;
}
