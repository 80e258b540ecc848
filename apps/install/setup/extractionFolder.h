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

// Picks the first usable folder for `neededBytes` (temporary folder first, then fixed,
// removable and remote drives) and writes it into extractionFolder. PRODUCTCODE comes from
// activeConfig.
bool ChooseExtractionFolder(uint64_t neededBytes);

// Restricts the chosen folder to the Administrators group and makes sure it is empty (through the
// held handle when `folder` is the held one; a link is refused). On false the reason is logged
// and the run must end.
bool PrepareExtractionFolder(const std::string& folder);

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
