#include "apps/install/setup/ui/msiRecord.h"

#include <limits>

namespace
{

// A value runs from `pos` to the next blank or the end of the text. It reads as the C library
// would read it (an optional sign, then the leading digits; none gives 0), clamped to the 64-bit
// range so that a hostile record cannot overflow the callers' arithmetic.
int64_t ReadValue(std::string_view text, size_t pos, size_t end)
{
   bool negative = false;
   if (pos < end && (text[pos] == '-' || text[pos] == '+')) {
      negative = text[pos] == '-';
      pos++;
   }
   constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
   int64_t value = 0;
   for (; pos < end && text[pos] >= '0' && text[pos] <= '9'; pos++) {
      const int digit = text[pos] - '0';
      value = value > (kMax - digit) / 10 ? kMax : value * 10 + digit;
   }
   return negative ? -value : value;
}

size_t ValueEnd(std::string_view text, size_t pos)
{
   const size_t blank = text.find(' ', pos);
   return blank == std::string_view::npos ? text.size() : blank;
}

bool IsDigit(char c)
{
   return c >= '0' && c <= '9';
}

} // namespace

bool ParseCommonData(std::string_view text, MsiRecordFields& fields)
{
   fields = MsiRecordFields{};
   size_t pos = 0;
   if (!text.empty() && text[0] == '1') {
      if (text.size() < 4 || !IsDigit(text[3])) {
         return false;
      }
      fields.value[0] = text[3] - '0';
      if (fields.value[0] == 1) {
         return false; // a caption record: not for this window
      }
      pos = 5;
      if (pos >= text.size()) {
         return true;
      }
   }
   if (pos >= text.size() || text[pos] != '2') {
      return false;
   }
   const size_t start = pos + 3;
   if (start > text.size()) {
      return false;
   }
   fields.value[1] = ReadValue(text, start, ValueEnd(text, start));
   return true;
}

bool ParseProgressRecord(std::string_view text, MsiRecordFields& fields)
{
   fields = MsiRecordFields{};
   if (text.empty()) {
      return false;
   }
   size_t pos = 0; // at the digit that names the field
   for (;;) {
      const char name = text[pos];
      if (name < '1' || name > '4') {
         return false;
      }
      const size_t start = pos + 3;
      if (start > text.size()) {
         return false;
      }
      const size_t end = ValueEnd(text, start);
      const int field = name - '1';
      if (field == 0 && (end - start != 1 || !IsDigit(text[start]))) {
         return false;
      }
      fields.value[field] = ReadValue(text, start, end);
      const int64_t kind = fields.value[0];
      if ((field == 1 && (kind == 2 || kind == 3)) || (field == 2 && kind == 1) || field == 3) {
         return true;
      }
      if (end + 1 >= text.size()) {
         return true; // the end of the text ends the record
      }
      pos = end + 1;
   }
}

int32_t MsiRecord_BarTicks(int64_t value, bool backward)
{
   const uint64_t ticks = static_cast<uint64_t>(backward ? -value : value);
   return static_cast<int32_t>(static_cast<uint32_t>(ticks));
}

ActionStartText ParseActionStart(std::string_view text)
{
   size_t pos = 0;
   for (int blanks = 0; blanks < 3; blanks++) {
      const size_t blank = text.find(' ', pos);
      if (blank == std::string_view::npos) {
         return {ActionStartText::Outcome::MissingBlank, blanks, {}};
      }
      pos = blank + 1;
   }
   if (pos >= text.size()) {
      return {ActionStartText::Outcome::NoDescription, 3, {}};
   }
   return {ActionStartText::Outcome::Ok, 3, text.substr(pos)};
}
