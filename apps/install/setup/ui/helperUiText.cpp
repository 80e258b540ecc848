#include "apps/install/setup/ui/helperUiText.h"

#include <limits>
#include <vector>

namespace
{

constexpr uint64_t kMaxRange = 0x7FFFFFFF;

// The pieces between colons; empty pieces are dropped, as the tokenizer the protocol was written
// for drops them. Leading blanks and tabs of a piece do not count (both are single bytes, so
// skipping them never splits a UTF-8 character).
std::vector<std::string_view> Pieces(std::string_view text)
{
   std::vector<std::string_view> pieces;
   size_t pos = 0;
   while (pos <= text.size()) {
      size_t colon = text.find(':', pos);
      if (colon == std::string_view::npos) {
         colon = text.size();
      }
      std::string_view piece = text.substr(pos, colon - pos);
      if (!piece.empty()) {
         const size_t start = piece.find_first_not_of(" \t");
         pieces.push_back(start == std::string_view::npos ? std::string_view() : piece.substr(start));
      }
      pos = colon + 1;
   }
   return pieces;
}

// Leading decimal digits up to the first blank; a total beyond 64 bits stays at the maximum.
uint64_t ReadTotal(std::string_view piece)
{
   uint64_t value = 0;
   constexpr uint64_t kMax = std::numeric_limits<uint64_t>::max();
   for (char c : piece) {
      if (c < '0' || c > '9') {
         break;
      }
      const uint64_t digit = static_cast<uint64_t>(c - '0');
      value = value > (kMax - digit) / 10 ? kMax : value * 10 + digit;
   }
   return value;
}

} // namespace

HelperUiCommand ParseHelperUiText(std::string_view text)
{
   const std::vector<std::string_view> pieces = Pieces(text);
   HelperUiCommand command;
   for (size_t i = 0; i + 1 < pieces.size(); i++) {
      if (pieces[i] != "HelperUI") {
         continue;
      }
      if (pieces[i + 1] != "enable") {
         command.kind = HelperUiCommand::Kind::Close;
         return command;
      }
      if (i + 3 >= pieces.size()) {
         command.kind = HelperUiCommand::Kind::Incomplete;
         return command;
      }
      command.kind = HelperUiCommand::Kind::Enable;
      command.title = std::string(pieces[i + 2]);
      command.total = ReadTotal(pieces[i + 3]);
      return command;
   }
   return command;
}

HelperUiScale ScaleHelperUiTotal(uint64_t total)
{
   if (total <= kMaxRange) {
      return {1, static_cast<int32_t>(total)};
   }
   // The smallest d with total / d <= kMaxRange, found directly: a search from 2 upwards would
   // run for billions of steps on a total near 2^64.
   const uint64_t divisor = total / (kMaxRange + 1) + 1;
   return {static_cast<int64_t>(divisor), static_cast<int32_t>(total / divisor)};
}
