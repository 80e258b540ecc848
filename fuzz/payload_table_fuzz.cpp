// The payload container's header and entry table, read from any bytes as the launcher reads
// them from its own file. Checks that the reader never reads past what is there, that an
// accepted table holds only plain file names, and that it encodes back to the same bytes.
#include <algorithm>
#include <cstring>
#include <string>

#include "apps/install/setup/payloadFormat.h"
#include "fuzz/fuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
   // The first name field on its own, as the packer's and the reader's checks see one.
   const std::string_view field(reinterpret_cast<const char*>(data), std::min(size, kPayloadNameBytes));
   const PayloadName problem = Payload_CheckName(field);
   FUZZ_CHECK(Payload_NameProblem(problem) != nullptr);

   size_t offset = 0;
   const PayloadReadFn read = [&](void* buf, size_t count) {
      if (count > size - offset) {
         return false;
      }
      std::memcpy(buf, data + offset, count);
      offset += count;
      return true;
   };
   PayloadTableData table;
   const PayloadTable result = Payload_ReadTable(read, size, table);
   FUZZ_CHECK(offset <= size);
   if (result == PayloadTable::BadName) {
      FUZZ_CHECK(table.badEntry < table.entries.size() && table.nameProblem != PayloadName::Ok);
   }
   if (result != PayloadTable::Ok) {
      return 0;
   }
   FUZZ_CHECK(!table.entries.empty());
   FUZZ_CHECK(table.dataOffset == kPayloadHeaderBytes + table.entries.size() * kPayloadEntryBytes);
   FUZZ_CHECK(table.dataOffset == offset && table.dataOffset <= size);

   std::string encoded = Payload_EncodeHeader(static_cast<uint32_t>(table.entries.size()));
   uint64_t total = 0;
   for (const PayloadEntry& entry : table.entries) {
      const std::string_view name(entry.name, kPayloadNameBytes);
      FUZZ_CHECK(Payload_CheckName(name) == PayloadName::Ok);
      const std::string_view bare = name.substr(0, name.find('\0'));
      FUZZ_CHECK(bare.find_first_of("\\/:") == std::string_view::npos && bare != "." && bare != "..");
      total += entry.size;
      // The bytes after a name's terminator are not part of it; they encode as zeros.
      encoded += Payload_EncodeEntry(bare, entry.size);
   }
   FUZZ_CHECK(total == table.totalSize);
   FUZZ_CHECK(encoded.size() == table.dataOffset);
   for (size_t i = 0; i < encoded.size(); i++) {
      const size_t inEntry = i < kPayloadHeaderBytes ? SIZE_MAX : (i - kPayloadHeaderBytes) % kPayloadEntryBytes;
      const bool afterName = inEntry < kPayloadNameBytes && std::memchr(data + i - inEntry, 0, inEntry) != nullptr;
      FUZZ_CHECK(afterName || static_cast<uint8_t>(encoded[i]) == data[i]);
   }
   return 0;
}
