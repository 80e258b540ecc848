// txpack's files: every path opened in its long form (the packer is a build tool and takes paths
// of any length), every failure reported with what failed and why, and files told apart by
// identity rather than by the spelling of their names.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "lib/misc/handle.h"

// "txpack: " and the text, on the error stream.
void Pack_Report(const std::string& text);
// "error N (the system's text)".
std::string Pack_ErrorText(DWORD code);

// The full path with the \\?\ (or \\?\UNC\) prefix, which lifts the 260-character limit.
std::wstring Pack_LongPath(const std::string& path);
DWORD Pack_Attributes(const std::string& path);

// A file's identity: its volume's serial number and its index on that volume. Two names of one
// file (a \\?\ prefix, an 8.3 name, a substituted drive, a share) give the same identity.
struct FileIdentity {
   DWORD volume;
   DWORD indexHigh;
   DWORD indexLow;
   bool operator==(const FileIdentity& other) const
   {
      return volume == other.volume && indexHigh == other.indexHigh && indexLow == other.indexLow;
   }
};
std::optional<FileIdentity> Pack_FileIdOf(const std::string& path);

// A file read from start to end; each failure is reported with `what` and the path as given.
class InputFile
{
 public:
   // `share`: what others may do with the file meanwhile (a log still being written: write).
   bool Open(const std::string& path, const std::string& what, DWORD share = FILE_SHARE_READ);
   // Exactly `count` bytes into `bytes`.
   bool Read(std::string& bytes, uint64_t count);
   bool Seek(uint64_t offset);
   HANDLE Handle() const { return handle_.get(); }
   void Close() { handle_.reset(); }

   uint64_t size = 0;

 private:
   UniqueHandle handle_;
   std::string path_;
   std::string what_;
};

// The new launcher, written at its end.
class OutputFile
{
 public:
   bool OpenForAppend(const std::string& path);
   bool Write(const void* data, size_t count);
   // Flushes and closes: the rename that follows must not publish a file still in the cache only.
   bool Finish();

 private:
   UniqueHandle handle_;
   std::string path_;
};

// A program image's file mapped as data and handed to the resource functions as a module loaded
// as a data file (the handle's low bit marks one). Mapped from the file's own handle, it is read at
// any path length, where loading by name stops at 260 characters.
struct DataModuleTraits {
   static HMODULE Invalid() { return nullptr; }
   static bool IsValid(HMODULE m) { return m != nullptr; }
   static void Close(HMODULE m)
   {
      UnmapViewOfFile(reinterpret_cast<void*>(reinterpret_cast<uintptr_t>(m) & ~uintptr_t{1}));
   }
};
using UniqueDataModule = UniqueResource<HMODULE, DataModuleTraits>;

// A program image opened for reading: its file, where its sections end, and its resources.
struct ProgramImage {
   InputFile file;
   uint64_t sectionsEnd = 0;
   UniqueDataModule resources; // read as data: an arm64 image is read by the x64 tool too
};
// `what` names the file in messages ("the base image"). False when it cannot be read or is no
// program image, with the reason reported.
bool Pack_OpenProgramImage(const std::string& path, const std::string& what, ProgramImage& image);
// The names of the image's configuration resources (type 40) into `names`. False, with the
// error in `error`, when the resources cannot be listed (an image without resources, or without
// configuration resources, lists none).
bool Pack_ConfigNames(HMODULE resources, std::vector<std::string>& names, DWORD& error);
// Whether the payload container's magic follows the image's sections.
bool Pack_HasContainer(ProgramImage& image);
// The image's version resource (VS_VERSIONINFO) as its bytes; empty when it has none.
std::string Pack_VersionResource(HMODULE resources);

enum class LauncherKind { Packed, NotPacked, Unknown };
// Whether `path` is a launcher txpack packed: a program image carrying configuration resources or
// the payload container behind its sections. NotPacked (with why in `why`) for any other file;
// Unknown, reported, when that cannot be told: the file cannot be read, or it starts as a program
// image whose headers or resources cannot be read.
LauncherKind Pack_LauncherKind(const std::string& path, std::string& why);

// The path as the user would read it, unless only the long (\\?\) form can be opened.
std::string Pack_UsablePath(const std::string& path);
