// Readers for the texts Windows Installer hands an external UI handler: progress and
// common-data records ("1: 0 2: 1033 3: 0 ") and action-start lines. Pure code, so the native
// build and the fuzzers reach them with any bytes.
#pragma once

#include <cstdint>
#include <string_view>

// Windows Installer message kinds (INSTALLMESSAGE_*): the high byte of a message type; the low
// 24 bits carry message-box flags.
namespace InstallMessage
{
enum : uint32_t {
   KindMask = 0xFF000000,
   FatalExit = 0x00000000,
   Error = 0x01000000,
   Warning = 0x02000000,
   User = 0x03000000,
   Info = 0x04000000,
   FilesInUse = 0x05000000,
   ResolveSource = 0x06000000,
   OutOfDiskSpace = 0x07000000,
   ActionStart = 0x08000000,
   ActionData = 0x09000000,
   Progress = 0x0A000000,
   CommonData = 0x0B000000,
   Initialize = 0x0C000000,
   Terminate = 0x0D000000,
   ShowDialog = 0x0E000000,
};
} // namespace InstallMessage

// Field values of one record; index 0 is field 1. Fields that the text does not name stay 0.
struct MsiRecordFields {
   int64_t value[4] = {0, 0, 0, 0};
};

// A common-data record: field 1 is the kind (0 language, 2 cancel button), field 2 its value.
// A caption record (field 1 = 1) is refused, as is any text that is not such a record.
bool ParseCommonData(std::string_view text, MsiRecordFields& fields);

// A progress record: field 1 is the kind (0 reset, 1 action information, 2 report, 3 add to
// total), fields 2 to 4 as that kind defines them.
bool ParseProgressRecord(std::string_view text, MsiRecordFields& fields);

// A step or delta of a progress record as the bar's signed 32-bit message takes it, negated for
// a backward phase. The negation is done on the 64-bit value (a parsed value is never INT64_MIN)
// before the cut to 32 bits: negating the 32-bit value would overflow for -2147483648.
int32_t MsiRecord_BarTicks(int64_t value, bool backward);

// An action-start line is "Action <time>: <name>. <description>"; the description is what the
// removal window shows.
struct ActionStartText {
   enum class Outcome { Ok, MissingBlank, NoDescription } outcome;
   int blanksFound;              // with MissingBlank: 0, 1 or 2
   std::string_view description; // with Ok: the text after the third blank
};
ActionStartText ParseActionStart(std::string_view text);
