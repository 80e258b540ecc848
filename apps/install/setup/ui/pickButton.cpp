#include "apps/install/setup/ui/pickButton.h"

#include <cstddef>

namespace {

constexpr uint32_t kTypeMask = 0xF;
constexpr uint32_t kDefaultMask = 0x300;
constexpr uint32_t kHelpFlag = 0x4000;
constexpr int kIdHelp = 9;
constexpr int kIdOk = 1;

struct ButtonRow {
   uint32_t type;
   int buttons[3];
   size_t count;
};

// The buttons of each box type in their order on the box.
constexpr ButtonRow kButtonOrder[] = {
   {1, {1, 2, 0}, 2},   // OK, Cancel
   {2, {3, 4, 5}, 3},   // Abort, Retry, Ignore
   {3, {6, 7, 2}, 3},   // Yes, No, Cancel
   {4, {6, 7, 0}, 2},   // Yes, No
   {5, {4, 2, 0}, 2},   // Retry, Cancel
   {6, {2, 10, 11}, 3}, // Cancel, Try Again, Continue
};

} // namespace

PickedButton PickButtonFor(uint32_t style)
{
   const uint32_t type = style & kTypeMask;
   const size_t place = (style & kDefaultMask) >> 8;
   if (type == 0) {
      return {kIdOk, false};
   }
   int buttons[4] = {0, 0, 0, 0};
   size_t count = 0;
   for (const ButtonRow& row : kButtonOrder) {
      if (row.type == type) {
         for (size_t i = 0; i < row.count; i++) {
            buttons[count++] = row.buttons[i];
         }
      }
   }
   if (style & kHelpFlag) {
      buttons[count++] = kIdHelp;
   }
   return {place < count ? buttons[place] : 0, true};
}
