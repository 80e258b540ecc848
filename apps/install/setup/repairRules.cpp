#include "apps/install/setup/repairRules.h"

#include "apps/install/setup/productCodes.h"

namespace
{

constexpr int32_t kUserCancelled = 1602;
constexpr int32_t kFatalError = 1603;
constexpr int32_t kBadConfiguration = 1610;
constexpr int32_t kProductInstalled = 1638;

} // namespace

int32_t RepairExitCode(RepairOutcome outcome, int32_t current)
{
   switch (outcome) {
   case RepairOutcome::Cancelled:
      return kUserCancelled;
   case RepairOutcome::NotDesktopLauncher:
      return kBadConfiguration;
   case RepairOutcome::RepairFailed:
      return kFatalError;
   case RepairOutcome::ProductInstalled:
      return kProductInstalled;
   case RepairOutcome::Repaired:
      break;
   }
   return current;
}

// A product returned at index 0 is installed, whatever a further index answers: counting it as
// absent would let the repair strip the registrations of a working installation.
int FindInstalledDesktopProduct(const RelatedProductQuery& query)
{
   int row = 0;
   for (const DesktopProduct& product : desktopProductTable) {
      if (query(product.upgradeCode, 0) == 0) {
         return row;
      }
      row++;
   }
   return -1;
}
