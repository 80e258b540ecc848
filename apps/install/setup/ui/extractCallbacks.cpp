#include "apps/install/setup/ui/extractCallbacks.h"

#include <windows.h>

#include "apps/install/setup/ui/dlgProgress.h"
#include "apps/install/setup/ui/uiState.h"
#include "lib/install/log.h"

namespace
{

constexpr int32_t kMilestoneIncrement = 5;

} // namespace

bool ExtractProgressCallback(void* context, uint64_t bytesWritten)
{
   if (userCancelled) {
      Inst_LogMsg("User cancelled installation");
      return false;
   }
   auto* record = static_cast<ProgressRecord*>(context);
   if (record == nullptr) {
      return true;
   }
   const ExtractProgressStep step = NextExtractProgress(*record, bytesWritten);
   // Without a progress thread there is no one to post to.
   if (record->threadId != 0) {
      if (step.postIncrement) {
         PostThreadMessageW(record->threadId, kProgressIncrementMessage, 0, step.increment);
      }
      if (step.disableCancel) {
         PostThreadMessageW(record->threadId, kDisableCancelMessage, 0, 0);
      }
   }
   return true;
}

void ExtractFileCallback(void* /*context*/, const char* name, uint64_t size)
{
   Inst_LogMsg("  --> %s [%llu]", name != nullptr ? name : "", static_cast<unsigned long long>(size));
}

void IncrementProgress(uint32_t threadId, const char* caller)
{
   Inst_LogMsg("%s: Incrementing progress by %d.", caller, kMilestoneIncrement);
   if (threadId != 0) {
      PostThreadMessageW(threadId, kProgressIncrementMessage, 0, kMilestoneIncrement);
   }
}
