#include "resedit/versionText.h"

#include <gtest/gtest.h>

TEST(VersionText, Table)
{
   struct Case {
      const char* text;
      uint32_t ms;
      uint32_t ls;
   } const cases[] = {
       {"13.0.1.0", 0x000D0000, 0x00010000},
       {"13.0.1.24680", 0x000D0000, 0x00016068},
       {"1.2.3.12345678", 0x00010002, 0x00033039}, // five digits kept: 12345
       {"1.2.3.99999", 0x00010002, 0x0003869F},    // only the low 16 bits of 99999
       {"7", 0x00070000, 0},
       {"7.8", 0x00070008, 0},
       {"", 0, 0},
       {"x.1.2.3", 0, 0},
   };
   for (const Case& c : cases) {
      const FixedVersionWords words = ResEdit_ParseVersion(c.text);
      EXPECT_EQ(words.mostSignificant, c.ms) << c.text;
      EXPECT_EQ(words.leastSignificant, c.ls) << c.text;
   }
   EXPECT_EQ(ResEdit_ParseVersion(nullptr).mostSignificant, 0u);
}
