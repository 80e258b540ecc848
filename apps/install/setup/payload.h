// The payload: the files appended behind the launcher image in a container, their total size,
// the room the extraction needs, and the extraction into a folder.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

enum class ExtractResult : int {
   ExtractOk = 0,
   ExtractCancelled = 1, // a per-chunk callback answered false
   ExtractNoEntries = 2, // entry count 0
   ExtractBadFolder = 4, // the folder does not end with a back-slash or cannot be created
   ExtractBadMagic = 7,
   ExtractSizeMismatch = 8, // the table claims more bytes than the file holds, or a read fell short
   ExtractCannotCreate = 9, // an output file cannot be opened
   ExtractCannotOpenSelf = 10,
   ExtractNoMemory = 11,
   ExtractBadEntryName = 12, // an entry name is not a plain file name; nothing was written
   ExtractWriteFailed = 13,  // an output file could not be written in full; it was removed
   ExtractReplaced = 14,     // a file written was no longer there under its name when opened again
   ExtractDamaged = 15,      // an entry's bytes do not give the digest recorded for it; it was removed
};

// Called before each file with the entry's name (a checked plain file name) and its size.
using ExtractFileFn = void (*)(void* context, const char* name, uint64_t size);
// Called after each chunk of at most 64 KiB with the bytes just written; false cancels.
using ExtractChunkFn = bool (*)(void* context, uint64_t bytesWritten);

// The main flow passes ExtractFileCallback, ExtractProgressCallback (none in a silent run, so
// that extraction cannot be cancelled) and its progress record.
struct ExtractCallbacks {
   ExtractFileFn onFile = nullptr;
   ExtractChunkFn onChunk = nullptr;
   void* context = nullptr;
};

// The sum of the entry sizes of the container at `offset` in `path`, or 0 when the container
// cannot be read or is not valid.
uint64_t GetPayloadSize(const char* path, uint64_t offset);

// The room to ask of the extraction drive for a payload of `payloadSize` bytes, from the
// REQ_MB_SPACE key or the VC runtime keys of `module` (message 12 titled `caption` when memory
// runs out reading REQ_MB_SPACE).
uint64_t ComputeRequiredBytes(HMODULE module, uint64_t payloadSize, const char* caption);

// Creates every missing folder of `path` (a trailing back-slash is allowed).
bool EnsureDirectoryTree(const char* path);

// Writes the container's files into `folder` (which ends with a back-slash). Every entry name
// is checked before the first file is written.
// `digests` is the PAYLOAD_XXH64 value: each entry's digest is computed as it is written and
// must match; without it the files are extracted unchecked (an older packer) and a line says so.
ExtractResult ExtractPayload(const char* selfPath, const char* folder, uint64_t offset,
                             const ExtractCallbacks& callbacks, const std::optional<std::string>& digests = std::nullopt);
