#include "apps/install/setup/ui/extractProgress.h"

#include <limits>

namespace
{

constexpr uint64_t kScaleAbove = 10000000;
constexpr int32_t kFollowBelow = 95;
constexpr int32_t kCancelUntil = 90;

} // namespace

uint64_t ExtractPercent(uint64_t done, uint64_t total)
{
   while (done > kScaleAbove) {
      done >>= 3;
      total >>= 3;
   }
   return total == 0 ? 0 : done * 100 / total;
}

ExtractProgressStep NextExtractProgress(ProgressRecord& record, uint64_t bytes)
{
   const uint64_t maxDone = std::numeric_limits<uint64_t>::max();
   record.doneBytes = bytes > maxDone - record.doneBytes ? maxDone : record.doneBytes + bytes;
   // done never passes the total (the extraction checks the sizes first), and done is scaled to
   // at most 10,000,000 before it is multiplied: the percentage fits.
   const int32_t percent = static_cast<int32_t>(ExtractPercent(record.doneBytes, record.totalBytes));

   ExtractProgressStep step{false, 0, percent > kCancelUntil};
   if ((percent > record.lastPercent && record.lastPercent < kFollowBelow) ||
       (percent == 0 && record.lastPercent == 0)) {
      step.postIncrement = true;
      step.increment = percent - record.lastPercent;
      record.lastPercent = percent;
   }
   return step;
}
