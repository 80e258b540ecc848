// The silent answer to a message box: the button that would have been the default.
#pragma once

#include <cstdint>

struct PickedButton {
   int id;        // the button identifier, 0 when the box has no button at the default place
   bool logIt;    // MB_OK answers without a log line
};

PickedButton PickButtonFor(uint32_t style);
