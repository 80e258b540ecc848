#include "apps/install/setup/payloadFormat.h"

#include <cstring>
#include <new>

#include "lib/string/str.h"
#include "lib/unicode/unicodeSimple.h"

namespace
{

uint32_t Le32(const unsigned char* p)
{
   return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
          static_cast<uint32_t>(p[3]) << 24;
}

uint64_t Le64(const unsigned char* p)
{
   return static_cast<uint64_t>(Le32(p)) | static_cast<uint64_t>(Le32(p + 4)) << 32;
}

void PutLe(std::string& out, uint64_t value, int bytes)
{
   for (int i = 0; i < bytes; i++) {
      out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
   }
}

// Windows opens the device, not a file, for these names whatever extension follows them; the
// superscript digits count as digits there too.
bool IsReservedDevice(std::string_view name)
{
   std::string stem(name.substr(0, name.find('.')));
   while (!stem.empty() && stem.back() == ' ') {
      stem.pop_back();
   }
   static const char* const kPlain[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
   for (const char* reserved : kPlain) {
      if (Str_EqualsNoCase(stem, reserved)) {
         return true;
      }
   }
   if (stem.size() < 4 ||
       (!Str_EqualsNoCase(stem.substr(0, 3), "COM") && !Str_EqualsNoCase(stem.substr(0, 3), "LPT"))) {
      return false;
   }
   const std::string digit = stem.substr(3);
   return (digit.size() == 1 && digit[0] >= '1' && digit[0] <= '9') || digit == "\xC2\xB9" || digit == "\xC2\xB2" ||
          digit == "\xC2\xB3";
}

} // namespace

PayloadName Payload_CheckName(std::string_view field)
{
   const size_t nul = field.substr(0, kPayloadNameBytes).find('\0');
   if (nul == std::string_view::npos) {
      return PayloadName::NotTerminated;
   }
   const std::string_view name = field.substr(0, nul);
   if (name.empty()) {
      return PayloadName::Empty;
   }
   if (!Unicode_IsValidUtf8(name)) {
      return PayloadName::NotUtf8;
   }
   for (char c : name) {
      if (c == '\\' || c == '/') {
         return PayloadName::PathSeparator;
      }
      if (c == ':') {
         return PayloadName::Colon;
      }
      if (static_cast<unsigned char>(c) < 0x20 || std::strchr("<>\"|?*", c) != nullptr) {
         return PayloadName::BadCharacter;
      }
   }
   if (name == "." || name == "..") {
      return PayloadName::DotName;
   }
   if (name.back() == '.' || name.back() == ' ') {
      return PayloadName::TrailingDotOrBlank;
   }
   if (IsReservedDevice(name)) {
      return PayloadName::ReservedDevice;
   }
   return PayloadName::Ok;
}

const char* Payload_NameProblem(PayloadName problem)
{
   switch (problem) {
   case PayloadName::Ok:
      return "a plain file name";
   case PayloadName::Empty:
      return "the name is empty";
   case PayloadName::NotTerminated:
      return "the name does not end within 259 bytes";
   case PayloadName::NotUtf8:
      return "the name is not valid UTF-8";
   case PayloadName::PathSeparator:
      return "the name holds a path separator";
   case PayloadName::Colon:
      return "the name holds a colon (drive or stream)";
   case PayloadName::DotName:
      return "the name is \".\" or \"..\"";
   case PayloadName::TrailingDotOrBlank:
      return "the name ends with a dot or a blank";
   case PayloadName::ReservedDevice:
      return "the name is a reserved device name";
   case PayloadName::BadCharacter:
      return "the name holds a control character or one of < > \" | ? *";
   }
   return "unknown";
}

PayloadTable Payload_ReadTable(const PayloadReadFn& read, uint64_t available, PayloadTableData& table)
{
   table = PayloadTableData{};
   unsigned char header[kPayloadHeaderBytes];
   if (available < 4 || !read(header, 4)) {
      return PayloadTable::BadMagic;
   }
   if (Le32(header) != kPayloadMagic) {
      return PayloadTable::BadMagic;
   }
   if (available < kPayloadHeaderBytes || !read(header + 4, 4)) {
      return PayloadTable::CutShort;
   }
   const uint32_t count = Le32(header + 4);
   if (count == 0) {
      return PayloadTable::NoEntries;
   }
   // 64-bit arithmetic: a 32-bit count times 268 cannot overflow it.
   const uint64_t tableEnd = kPayloadHeaderBytes + static_cast<uint64_t>(count) * kPayloadEntryBytes;
   if (tableEnd > available) {
      return PayloadTable::CutShort;
   }
   try {
      table.entries.resize(count);
   } catch (const std::bad_alloc&) {
      return PayloadTable::NoMemory;
   }
   unsigned char raw[kPayloadEntryBytes];
   for (uint32_t i = 0; i < count; i++) {
      if (!read(raw, sizeof raw)) {
         return PayloadTable::CutShort;
      }
      PayloadEntry& entry = table.entries[i];
      std::memcpy(entry.name, raw, kPayloadNameBytes);
      entry.size = Le64(raw + kPayloadNameBytes);
      const PayloadName name = Payload_CheckName(std::string_view(entry.name, kPayloadNameBytes));
      if (name != PayloadName::Ok) {
         table.badEntry = i;
         table.nameProblem = name;
         return PayloadTable::BadName;
      }
      if (entry.size > UINT64_MAX - table.totalSize) {
         return PayloadTable::SizeWraps;
      }
      table.totalSize += entry.size;
   }
   table.dataOffset = tableEnd;
   return PayloadTable::Ok;
}

std::string Payload_EncodeHeader(uint32_t count)
{
   std::string out;
   PutLe(out, kPayloadMagic, 4);
   PutLe(out, count, 4);
   return out;
}

std::string Payload_EncodeEntry(std::string_view name, uint64_t size)
{
   std::string out(name.substr(0, kPayloadNameBytes));
   out.resize(kPayloadNameBytes, '\0');
   PutLe(out, size, 8);
   return out;
}
