// What the end of a run offers about a restart: the reasons, the question, who is asked. Pure
// code; the prompts themselves live in reboot.cpp.
#pragma once

#include <cstdint>
#include <string>

struct RestartReasons {
   bool vcRuntime = false; // a VC runtime installer answered 3010
   bool engine = false;    // the Windows Installer engine upgrade answered 3010
   bool repair = false;    // the forced repair changed the machine
};

enum class RestartOffer : int {
   None = 0,
   Prompt = 1,            // the launcher's own question (PromptForReboot)
   UpdateAgentPrompt = 2, // the console session is asked, with a time-out (PromptUpdateAgentReboot)
};

// Any recorded reason is asked about; otherwise an update agent's install that needs a restart
// asks the console session. A product install answering 3010 on its own is left to Windows
// Installer's UI.
RestartOffer DecideRestartOffer(const RestartReasons& reasons, bool updateAgent, int32_t exitCode);

// "VC Redist", "MSI", "Repair" for the set reasons, joined by ", ".
std::string RestartReasonList(const RestartReasons& reasons);

// 72 asks to restart and run the installer again (the product is not installed yet); 30 asks
// to restart for the changes to take effect.
unsigned RestartPromptMessage(const RestartReasons& reasons);

// Yes, or no answer within the time-out: an unattended machine is restarted.
bool UpdateAgentAnswerRestarts(int answer);

// The run's exit code once the restart is settled, as msiexec reports it: a run that succeeded
// (0 or 3010) ends with 1641 when the launcher asked Windows to restart, and with 3010 when a
// restart is needed that it did not perform, whatever asked for it (the engine upgrade, a
// runtime, the product, a repair, the removal of an older product). Every other code stays.
int32_t ExitCodeAfterRestartOffer(int32_t exitCode, bool restartNeeded, bool restartStarted);
