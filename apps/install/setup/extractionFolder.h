// Where the payload is extracted: a folder on a drive with room, created for the Administrators
// group and the system only, and checked to be empty before the first file lands in it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "lib/install/fileHandle.h"
#include "lib/misc/handle.h"

// The folder holding the extracted files (ending with a back-slash, at most 259 bytes), or the
// launcher's own folder when there is no payload.
extern std::string extractionFolder;

// The extraction folder, held from its creation to the end of the run. The user's temporary
// folder belongs to the user, so an unelevated program of theirs may rename anything in it, even
// a folder only Administrators can open: the folder is held with a handle that denies delete
// sharing, so it cannot be renamed or replaced, and every extracted file is held read-only with
// the same denial, so that the paths handed to programs, to Windows Installer and to the package
// cache name the very files written.
struct PinnedFile {
   std::string name;
   UniqueHandle handle;
   FileIdentity identity;
};
struct ExtractionPin {
   UniqueHandle parent; // the folder it was made in
   UniqueHandle folder;
   FileIdentity identity;
   std::string leaf;         // its name inside parent
   std::string path;         // extractionFolder, when held
   bool driveParent = false; // made in a drive-root "TessixTemp", removed after it when empty
   std::vector<PinnedFile> files;
};
extern ExtractionPin extractionPin;

// True when `path` is no file of the held extraction folder, or names the very file extracted
// under that name (its volume and file index); otherwise logs why and is false.
bool ExtractedFile_IsIntact(const std::string& path);

// The exit sequence's clean-up: the held files are let go; unless `keepFiles`, the folder is
// emptied and removed through its handles, and a drive-root parent "TessixTemp" after it.
void ReleaseExtractionFolder(bool keepFiles);

enum class FolderChoice {
   Chosen,
   NoRoom,       // no folder with room could be made: worth asking again once room is made
   CannotSecure, // the folder's security cannot be built: asking again would not help
};

// Picks the first usable folder for `neededBytes` (temporary folder first, then fixed,
// removable and remote drives) and writes it into extractionFolder. PRODUCTCODE comes from
// activeConfig. CannotSecure (logged with the system's error) names in `unsecured` the folder
// that would have been used.
FolderChoice ChooseExtractionFolder(uint64_t neededBytes, std::string* unsecured = nullptr);

enum class FolderPreparation { Ready, CannotSecure, NotEmpty };

// Restricts the chosen folder to the Administrators group and makes sure it is empty (through the
// held handle when `folder` is the held one; a link is refused). Anything but Ready is logged
// (a restriction refused with the system's error) and the run must end.
FolderPreparation PrepareExtractionFolder(const std::string& folder);

// The folder choice and preparation of a run, with what the user is told when they fail: while
// no drive has room, message 49 asks Retry or Cancel (Cancel ends 1602, and 112 in a silent run,
// whose box answers Cancel); a folder that cannot be secured is message 27 with that folder
// (Retry could not help) and ends 1603, as does a folder that is not empty. ExitSuccess when the
// folder is ready.
int32_t SetUpExtractionFolder(uint64_t neededBytes, bool silent, const char* title, HMODULE resources);

// The security a new extraction folder (and a new "TessixTemp" parent) is created with: a
// protected DACL that gives full control to the Administrators group and to SYSTEM and nothing
// to anyone else, so that no other user can open the folder between its creation and its
// restriction. Filled in place: `attributes` points at `descriptor`, which points at `acl`.
struct FolderCreationSecurity {
   FolderCreationSecurity() = default;
   FolderCreationSecurity(const FolderCreationSecurity&) = delete;
   FolderCreationSecurity& operator=(const FolderCreationSecurity&) = delete;

   std::vector<BYTE> acl;
   SECURITY_DESCRIPTOR descriptor{};
   SECURITY_ATTRIBUTES attributes{};
};
bool BuildFolderCreationSecurity(FolderCreationSecurity& security);
