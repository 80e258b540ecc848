// The restart offer at the end of the installing work, and the restart itself. The system
// calls that restart Windows or ask the console session sit behind one table, so that tests can
// put their own in front of them; the product always binds the real ones.
#pragma once

#include <windows.h>

#include <string>

#include "apps/install/setup/restartDecision.h"
#include "apps/install/setup/setupContext.h"

struct RebootCalls {
   DWORD(WINAPI* getActiveConsoleSessionId)(); // null when it cannot be had
   BOOL(WINAPI* sendMessage)
   (HANDLE server, DWORD session, LPWSTR title, DWORD titleBytes, LPWSTR text, DWORD textBytes, DWORD style,
    DWORD timeoutSeconds, DWORD* response, BOOL wait);
   BOOL(WINAPI* exitWindows)(UINT flags, DWORD reason);
};

// Tests only: replaces the system calls (null restores them). Tests must never reach the real
// ExitWindowsEx: under Wine it ends every process of the prefix.
void Reboot_SetCallsForTest(const RebootCalls* calls);

RestartReasons RestartReasonsOf(const SetupContext& ctx);

// Asks whether to restart now (message 72 or 30); a silent run answers No. True when Windows
// was asked to restart and took the request.
bool PromptForReboot(const SetupContext& ctx, HMODULE resources);
// Asks the console session, which an update agent may have left without anybody in front of it:
// Yes or no answer within 30 seconds restarts. True when Windows was asked to restart and took
// the request.
bool PromptUpdateAgentReboot(HMODULE resources, const std::string& productName);
bool EnableShutdownPrivilege();
// True when Windows took the request to restart.
bool RestartWindows();

// Step 19 of the run: the restart offer after the session, a repair or a runtime restart
// request. Never changes the exit code; true when Windows was asked to restart and took it.
bool OfferRestart(const SetupContext& ctx, HMODULE resources, const std::string& productName);

// Whether a restart recorded during the run is still needed: the engine upgrade, a runtime, a
// repair or the removal of an older product asked for one.
bool RestartNeeded(const SetupContext& ctx);
