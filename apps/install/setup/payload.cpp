#include "apps/install/setup/payload.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "apps/install/setup/config.h"
#include "apps/install/setup/configValues.h"
#include "apps/install/setup/extractionFolder.h"
#include "apps/install/setup/payloadDigest.h"
#include "apps/install/setup/payloadFormat.h"
#include "apps/install/setup/payloadRoom.h"
#include "lib/install/fileHandle.h"
#include "lib/install/log.h"
#include "lib/misc/win32u.h"
#include "lib/unicode/unicodeSimple.h"

namespace
{

constexpr size_t kChunkBytes = 65536; // the one copy buffer for every file

struct FileCloser {
   void operator()(FILE* file) const { fclose(file); }
};
using UniqueFile = std::unique_ptr<FILE, FileCloser>;

// The launcher's own file positioned at the container, with the bytes from there to the end.
// Positions are 64-bit, so a launcher past 2 GiB is read where it is, never at a wrapped offset.
struct Container {
   UniqueFile file;
   uint64_t available = 0;
};

enum class OpenResult { Ok, CannotOpen, NoPosition, PastEnd };

OpenResult OpenContainer(const char* path, uint64_t offset, Container& container)
{
   container.file.reset(Win32U_Fopen(path, "rb"));
   if (!container.file) {
      return OpenResult::CannotOpen;
   }
   FILE* f = container.file.get();
   const int64_t end = _fseeki64(f, 0, SEEK_END) == 0 ? _ftelli64(f) : -1;
   if (end < 0) {
      return OpenResult::NoPosition;
   }
   if (static_cast<uint64_t>(end) < offset) {
      return OpenResult::PastEnd;
   }
   if (_fseeki64(f, static_cast<int64_t>(offset), SEEK_SET) != 0) {
      return OpenResult::NoPosition;
   }
   container.available = static_cast<uint64_t>(end) - offset;
   return OpenResult::Ok;
}

PayloadTable ReadTable(Container& container, PayloadTableData& table)
{
   FILE* f = container.file.get();
   return Payload_ReadTable([f](void* buf, size_t size) { return fread(buf, 1, size, f) == size; }, container.available,
                            table);
}

ExtractResult ResultOf(PayloadTable status)
{
   switch (status) {
   case PayloadTable::Ok:
      return ExtractResult::ExtractOk;
   case PayloadTable::BadMagic:
      return ExtractResult::ExtractBadMagic;
   case PayloadTable::NoEntries:
      return ExtractResult::ExtractNoEntries;
   case PayloadTable::CutShort:
   case PayloadTable::SizeWraps:
      return ExtractResult::ExtractSizeMismatch;
   case PayloadTable::BadName:
      return ExtractResult::ExtractBadEntryName;
   case PayloadTable::NoMemory:
      return ExtractResult::ExtractNoMemory;
   }
   return ExtractResult::ExtractBadMagic;
}

// The output file, made new through the folder's handle: never through an existing name, which
// could be a link. A plain file left under that name (extracting again into the same folder) is
// deleted through its own checked handle first.
UniqueHandle CreateOutput(HANDLE folder, const std::string& name)
{
   ChildOpen how;
   how.access = FILE_WRITE_DATA | FILE_READ_ATTRIBUTES | DELETE;
   how.share = 0;
   how.disposition = FILE_CREATE;
   how.kind = ChildOpen::File;
   UniqueHandle out = Util_OpenChild(folder, name, how);
   const DWORD error = GetLastError();
   if (out || (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)) {
      return out;
   }
   ChildOpen old;
   old.access = DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES;
   old.share = FILE_SHARE_READ | FILE_SHARE_WRITE;
   old.kind = ChildOpen::File;
   UniqueHandle existing = Util_OpenChild(folder, name, old);
   if (!existing || !Util_IsPlainChild(folder, name, existing.get(), ChildOpen::File) ||
       !Util_DeleteByHandle(existing.get())) {
      SetLastError(error);
      return UniqueHandle();
   }
   existing.reset();
   return Util_OpenChild(folder, name, how);
}

// The written file opened again, read-only and denying writers and renames, and checked to be
// the very file written: its handle keeps it so until the run lets it go.
UniqueHandle HoldWritten(HANDLE folder, const std::string& name, const FileIdentity& written, uint64_t size)
{
   ChildOpen how;
   how.access = FILE_READ_DATA | FILE_READ_ATTRIBUTES;
   how.share = FILE_SHARE_READ;
   how.kind = ChildOpen::File;
   UniqueHandle held = Util_OpenChild(folder, name, how);
   FileIdentity now;
   if (!held || !Util_GetIdentity(held.get(), now) || !Util_SameFile(now, written) || now.size != size ||
       now.links != 1 || (now.attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      return UniqueHandle();
   }
   return held;
}

// Copies one entry through handles. A short read or a failed write leaves no partial file
// behind; a cancel does (the run removes the whole folder at its end).
ExtractResult CopyEntry(FILE* in, HANDLE folder, const std::string& shown, const PayloadEntry& entry, char* buffer,
                        const ExtractCallbacks& callbacks, const PayloadDigest* expected, std::vector<PinnedFile>* held)
{
   PayloadHash hash;
   const std::string name = entry.name;
   UniqueHandle out = CreateOutput(folder, name);
   if (!out) {
      Inst_LogLastWinError(LOG_ERROR, GetLastError(), "ExtractPayload: Cannot create \"%s\"", shown.c_str());
      return ExtractResult::ExtractCannotCreate;
   }
   const auto discard = [&](ExtractResult result) {
      Util_DeleteByHandle(out.get());
      out.reset();
      return result;
   };
   for (uint64_t left = entry.size; left > 0;) {
      const size_t chunk = left < kChunkBytes ? static_cast<size_t>(left) : kChunkBytes;
      if (fread(buffer, 1, chunk, in) != chunk) {
         Inst_Log(LOG_ERROR, "ExtractPayload: The launcher file ended inside \"%s\"", entry.name);
         return discard(ExtractResult::ExtractSizeMismatch);
      }
      if (expected != nullptr) {
         hash.Update(buffer, chunk);
      }
      DWORD written = 0;
      if (!WriteFile(out.get(), buffer, static_cast<DWORD>(chunk), &written, nullptr) || written != chunk) {
         Inst_LogLastWinError(LOG_ERROR, GetLastError(), "ExtractPayload: Cannot write \"%s\"", shown.c_str());
         return discard(ExtractResult::ExtractWriteFailed);
      }
      left -= chunk;
      if (callbacks.onChunk != nullptr && !callbacks.onChunk(callbacks.context, chunk)) {
         return ExtractResult::ExtractCancelled;
      }
   }
   if (expected != nullptr && hash.Digest() != expected->digest) {
      Inst_Log(LOG_ERROR, "ExtractPayload: \"%s\" is damaged: its digest is %s, the launcher records %s", entry.name,
               Payload_DigestText(hash.Digest()).c_str(), Payload_DigestText(expected->digest).c_str());
      return discard(ExtractResult::ExtractDamaged);
   }
   FileIdentity identity;
   if (!Util_GetIdentity(out.get(), identity)) {
      Inst_LogLastWinError(LOG_ERROR, GetLastError(), "ExtractPayload: Cannot write \"%s\"", shown.c_str());
      return discard(ExtractResult::ExtractWriteFailed);
   }
   out.reset();
   UniqueHandle kept = HoldWritten(folder, name, identity, entry.size);
   if (!kept) {
      Inst_Log(LOG_ERROR, "ExtractPayload: \"%s\" is no longer the file just written; the extraction stops",
               shown.c_str());
      return ExtractResult::ExtractReplaced;
   }
   if (held != nullptr) {
      held->push_back({name, std::move(kept), identity});
   }
   return ExtractResult::ExtractOk;
}

} // namespace

uint64_t GetPayloadSize(const char* path, uint64_t offset)
{
   Container container;
   if (OpenContainer(path, offset, container) != OpenResult::Ok) {
      return 0;
   }
   PayloadTableData table;
   return ReadTable(container, table) == PayloadTable::Ok ? table.totalSize : 0;
}

uint64_t ComputeRequiredBytes(HMODULE module, uint64_t payloadSize, const char* caption)
{
   std::string text;
   std::optional<uint32_t> requiredMegabytes;
   if (ReadConfigValueAlloc(module, "REQ_MB_SPACE", text, 0, caption) == ERROR_SUCCESS) {
      requiredMegabytes = Config_LeadingNumber(text);
   }
   const auto present = [module](const char* key) {
      return Win32U_FindResource(module, key, MAKEINTRESOURCEA(kConfigResourceType)) != nullptr;
   };
   RuntimeResources runtimes;
   runtimes.vcRuntime32 = present("VCRUNTIME32");
   runtimes.vcRuntime64 = present("VCRUNTIME64");
   runtimes.vcRuntime32Alt = present("VCRUNTIME32_ALT");
   runtimes.vcRuntime64Alt = present("VCRUNTIME64_ALT");
   return Room_Required(payloadSize, requiredMegabytes, runtimes);
}

bool EnsureDirectoryTree(const char* path)
{
   std::string folder(path != nullptr ? path : "");
   if (!folder.empty() && folder.back() == '\\') {
      folder.pop_back();
   }
   const DWORD attributes = Win32U_GetFileAttributes(folder.c_str());
   if (folder.empty() || (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))) {
      return true;
   }
   const size_t slash = folder.rfind('\\');
   if (slash == std::string::npos) {
      return true;
   }
   if (!EnsureDirectoryTree(folder.substr(0, slash).c_str())) {
      return false;
   }
   if (!Win32U_CreateDirectory(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
      Inst_LogMsg("Could not create directory %s (%d).", folder.c_str(), static_cast<int>(GetLastError()));
      return false;
   }
   return true;
}

ExtractResult ExtractPayload(const char* selfPath, const char* folder, uint64_t offset,
                             const ExtractCallbacks& callbacks, const std::optional<std::string>& digestText)
{
   const std::string target(folder != nullptr ? folder : "");
   if (target.empty() || target.back() != '\\' || !EnsureDirectoryTree(target.c_str())) {
      return ExtractResult::ExtractBadFolder;
   }
   Container container;
   switch (OpenContainer(selfPath, offset, container)) {
   case OpenResult::Ok:
      break;
   case OpenResult::CannotOpen:
      return ExtractResult::ExtractCannotOpenSelf;
   case OpenResult::NoPosition:
      return ExtractResult::ExtractSizeMismatch;
   case OpenResult::PastEnd:
      return ExtractResult::ExtractBadMagic;
   }

   PayloadTableData table;
   const PayloadTable status = ReadTable(container, table);
   if (status == PayloadTable::BadName) {
      const PayloadEntry& bad = table.entries[table.badEntry];
      const std::string shown = Unicode_EscapeBuffer(bad.name, strnlen(bad.name, sizeof bad.name));
      Inst_Log(LOG_ERROR, "ExtractPayload: Entry %u \"%s\" refused: %s", static_cast<unsigned>(table.badEntry),
               shown.c_str(), Payload_NameProblem(table.nameProblem));
   }
   if (status != PayloadTable::Ok) {
      return ResultOf(status);
   }
   if (table.totalSize > container.available - table.dataOffset) {
      return ExtractResult::ExtractSizeMismatch;
   }

   std::vector<PayloadDigest> digests;
   if (!digestText) {
      Inst_Log(LOG_WARNING, "ExtractPayload: The launcher records no payload digests; the files are not checked");
   } else {
      std::string problem;
      auto parsed = Payload_ParseDigests(*digestText, &problem);
      if (!parsed) {
         Inst_Log(LOG_ERROR, "ExtractPayload: The payload digests cannot be read: %s", problem.c_str());
         return ExtractResult::ExtractDamaged;
      }
      digests = std::move(*parsed);
      for (const PayloadEntry& entry : table.entries) {
         if (Payload_FindDigest(digests, entry.name) == nullptr) {
            Inst_Log(LOG_ERROR, "ExtractPayload: No digest is recorded for \"%s\"", entry.name);
            return ExtractResult::ExtractDamaged;
         }
      }
   }
   // The files go into the held extraction folder through its handle; any other folder (txpack's
   // inspection, a test) is held for the extraction only, and must be no link.
   const bool intoPinned = extractionPin.folder && target == extractionPin.path;
   UniqueHandle opened;
   if (!intoPinned) {
      opened = Util_OpenFolderNoFollow(target, FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_ADD_FILE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE);
      if (!opened) {
         Inst_LogLastWinError(LOG_ERROR, GetLastError(), "ExtractPayload: Cannot open the folder \"%s\"",
                              target.c_str());
         return ExtractResult::ExtractBadFolder;
      }
   }
   const HANDLE folderHandle = intoPinned ? extractionPin.folder.get() : opened.get();
   std::unique_ptr<char[]> buffer(new (std::nothrow) char[kChunkBytes]);
   if (!buffer) {
      return ExtractResult::ExtractNoMemory;
   }
   uint64_t written = 0;
   for (const PayloadEntry& entry : table.entries) {
      if (callbacks.onFile != nullptr) {
         callbacks.onFile(callbacks.context, entry.name, entry.size);
      }
      const ExtractResult copied =
          CopyEntry(container.file.get(), folderHandle, target + entry.name, entry, buffer.get(), callbacks,
                    digestText ? Payload_FindDigest(digests, entry.name) : nullptr,
                    intoPinned ? &extractionPin.files : nullptr);
      if (copied != ExtractResult::ExtractOk) {
         return copied;
      }
      written += entry.size;
   }
   Inst_LogMsg("ExtractPayload: %u files extracted (%llu bytes)%s", static_cast<unsigned>(table.entries.size()),
               static_cast<unsigned long long>(written), digestText ? ", each matching its recorded digest" : "");
   return ExtractResult::ExtractOk;
}
