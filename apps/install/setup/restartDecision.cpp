#include "apps/install/setup/restartDecision.h"

namespace
{
constexpr int32_t kRestartRequired = 3010;
constexpr int32_t kRestartStarted = 1641;
constexpr int kAnswerYes = 6;
constexpr int kAnswerTimeOut = 32000;
constexpr unsigned kMessageRestartForRuntime = 72;
constexpr unsigned kMessageRestartNow = 30;
} // namespace

RestartOffer DecideRestartOffer(const RestartReasons& reasons, bool updateAgent, int32_t exitCode)
{
   if (reasons.vcRuntime || reasons.engine || reasons.repair) {
      return RestartOffer::Prompt;
   }
   if (updateAgent && exitCode == kRestartRequired) {
      return RestartOffer::UpdateAgentPrompt;
   }
   return RestartOffer::None;
}

std::string RestartReasonList(const RestartReasons& reasons)
{
   std::string list;
   const auto add = [&list](bool set, const char* text) {
      if (set) {
         list += list.empty() ? text : std::string(", ") + text;
      }
   };
   add(reasons.vcRuntime, "VC Redist");
   add(reasons.engine, "MSI");
   add(reasons.repair, "Repair");
   return list;
}

unsigned RestartPromptMessage(const RestartReasons& reasons)
{
   return reasons.vcRuntime ? kMessageRestartForRuntime : kMessageRestartNow;
}

bool UpdateAgentAnswerRestarts(int answer)
{
   return answer == kAnswerYes || answer == kAnswerTimeOut;
}

int32_t ExitCodeAfterRestartOffer(int32_t exitCode, bool restartNeeded, bool restartStarted)
{
   if (exitCode != 0 && exitCode != kRestartRequired) {
      return exitCode;
   }
   if (restartStarted) {
      return kRestartStarted;
   }
   return restartNeeded ? kRestartRequired : exitCode;
}
