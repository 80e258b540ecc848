#include "apps/install/setup/repairRules.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "apps/install/setup/productCodes.h"

TEST(RepairRules, ARefusedOrFailedRepairNeverExitsWithZero)
{
   struct Case {
      RepairOutcome outcome;
      int32_t current;
      int32_t exitCode;
   } cases[] = {
       {RepairOutcome::ProductInstalled, 0, 1638}, {RepairOutcome::NotDesktopLauncher, 0, 1610},
       {RepairOutcome::Cancelled, 0, 1602},        {RepairOutcome::RepairFailed, 0, 1603},
       {RepairOutcome::RepairFailed, 1814, 1603},  {RepairOutcome::Repaired, 0, 0},
       {RepairOutcome::Repaired, 1814, 1814}, // an earlier read error stays, as every unchanged code does
   };
   for (const auto& c : cases) {
      EXPECT_EQ(RepairExitCode(c.outcome, c.current), c.exitCode) << static_cast<int>(c.outcome);
   }
}

TEST(RepairRules, InstalledDesktopProductIsTheFirstRowWithARelatedProduct)
{
   const std::string studio = desktopProductTable[0].upgradeCode;
   const std::string viewer = desktopProductTable[1].upgradeCode;
   struct Case {
      const char* what;
      std::map<std::string, unsigned> firstAnswer; // answer at index 0 per upgrade code
      int row;
   } cases[] = {
       {"none installed", {{studio, 259}, {viewer, 259}}, -1},
       {"studio installed", {{studio, 0}, {viewer, 259}}, 0},
       {"viewer installed", {{studio, 259}, {viewer, 0}}, 1},
       {"both installed: the first row", {{studio, 0}, {viewer, 0}}, 0},
       // Registrations that cannot be read are what a repair is for: not "installed".
       {"studio unreadable", {{studio, 1610}, {viewer, 259}}, -1},
       {"studio unreadable, viewer installed", {{studio, 1610}, {viewer, 0}}, 1},
   };
   for (const auto& c : cases) {
      std::vector<std::pair<std::string, unsigned>> asked;
      const int row = FindInstalledDesktopProduct([&](const char* code, unsigned index) {
         asked.emplace_back(code, index);
         // A second related product would be answered with an error: it must not matter.
         return index == 0 ? c.firstAnswer.at(code) : 1610u;
      });
      EXPECT_EQ(row, c.row) << c.what;
      for (const auto& [code, index] : asked) {
         EXPECT_EQ(index, 0u) << c.what;
      }
   }
}
