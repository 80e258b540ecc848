// The payload container appended behind the launcher image: its layout, the rule for entry
// names, the table reader and the encoder the packer uses. Pure code: the reader gets its bytes
// from a function the caller supplies.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

inline constexpr uint32_t kPayloadMagic = 0x5458534B; // the bytes "KSXT" read little-endian
inline constexpr size_t kPayloadHeaderBytes = 8;      // magic, entry count
inline constexpr size_t kPayloadNameBytes = 260;
inline constexpr size_t kPayloadEntryBytes = 268; // name, 64-bit size

struct PayloadEntry {
   char name[kPayloadNameBytes]; // zero-terminated, checked by Payload_CheckName
   uint64_t size;
};
static_assert(sizeof(PayloadEntry) == 272, "an entry is held as 272 bytes in memory");

enum class PayloadName {
   Ok,
   Empty,
   NotTerminated, // no NUL within 260 bytes
   NotUtf8,
   PathSeparator, // '\' or '/'
   Colon,         // a drive or an alternate data stream
   DotName,       // "." or ".."
   TrailingDotOrBlank,
   ReservedDevice, // CON, PRN, AUX, NUL, COM1-9, LPT1-9, CONIN$, CONOUT$, with or without extension
   BadCharacter,   // a control character or one of < > " | ? *
};

// Whether a 260-byte name field holds a plain file name that, joined to a folder, names a file
// directly inside that folder and nothing else.
PayloadName Payload_CheckName(std::string_view field);
const char* Payload_NameProblem(PayloadName problem);

enum class PayloadTable {
   Ok,
   BadMagic,  // no container at the offset
   NoEntries, // entry count 0
   CutShort,  // the header or the table runs past the end of the file
   SizeWraps, // the entry sizes do not add up in 64 bits
   BadName,   // an entry name is not a plain file name
   NoMemory,
};

struct PayloadTableData {
   std::vector<PayloadEntry> entries;
   uint64_t totalSize = 0;  // the sum of the entry sizes
   uint64_t dataOffset = 0; // from the container start to the first file's data
   size_t badEntry = 0;     // with BadName: the entry's index
   PayloadName nameProblem = PayloadName::Ok;
};

// Fills `buf` with exactly `size` bytes or answers false.
using PayloadReadFn = std::function<bool(void* buf, size_t size)>;

// Reads the header and the whole table from the container start. `available` is the number of
// bytes from the container start to the end of the file: a count whose table cannot fit is
// refused before anything is allocated. Every name is checked before the caller writes a file.
PayloadTable Payload_ReadTable(const PayloadReadFn& read, uint64_t available, PayloadTableData& table);

// The header and one table entry as stored (for the packer and for test containers).
std::string Payload_EncodeHeader(uint32_t count);
std::string Payload_EncodeEntry(std::string_view name, uint64_t size);
