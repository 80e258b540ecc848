// The helper window's protocol: information messages of the form
// "HelperUI:enable:<owner window title>:<total ticks>" open it, "HelperUI:<other>" closes it;
// and the divisor that brings a total too large for the progress bar into its range.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

struct HelperUiCommand {
   enum class Kind {
      None,       // the text does not address the helper window
      Close,      // "HelperUI" followed by a command other than "enable"
      Enable,     // "HelperUI:enable" with a title and a total
      Incomplete, // "HelperUI:enable" without the title or the total piece
   } kind = Kind::None;
   std::string title;
   uint64_t total = 0;
};

HelperUiCommand ParseHelperUiText(std::string_view text);

// The bar takes a signed 32-bit range: a total of 0x80000000 ticks or more is divided by the
// smallest divisor from 2 on that brings it to at most 0x7FFFFFFF.
struct HelperUiScale {
   int64_t divisor;
   int32_t range;
};
HelperUiScale ScaleHelperUiTotal(uint64_t total);
