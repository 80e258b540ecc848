#include "apps/install/setup/ui/pickButton.h"

#include <gtest/gtest.h>

TEST(PickButton, SilentAnswers)
{
   struct Case {
      uint32_t style;
      int answer;
      bool logged;
   } cases[] = {
      {0x0, 1, false},            // MB_OK
      {0x300, 1, false},          // MB_OK with any default flag
      {0x1, 1, true},             // OK/Cancel
      {0x101, 2, true},
      {0x4, 6, true},             // Yes/No: Yes
      {0x104, 7, true},           // second button
      {0x4204, 9, true},          // third button is Help
      {0x204, 0, true},           // no third button
      {0x202, 5, true},           // Abort/Retry/Ignore, third
      {0x106, 10, true},          // Cancel/Try Again/Continue, second
      {0x3, 6, true},             // Yes/No/Cancel
      {0x40115, 2, true},         // the disk-space question when silent: Retry/Cancel, second: Cancel
      {0x40015, 4, true},
      {0x4305, 0, true},          // fourth place of Retry/Cancel+Help does not exist
      {0x4302, 9, true},          // fourth place of Abort/Retry/Ignore+Help
      {0x7, 0, true},             // unknown type: no buttons
   };
   for (const auto& c : cases) {
      const PickedButton picked = PickButtonFor(c.style);
      EXPECT_EQ(picked.id, c.answer) << std::hex << c.style;
      EXPECT_EQ(picked.logIt, c.logged) << std::hex << c.style;
   }
}
