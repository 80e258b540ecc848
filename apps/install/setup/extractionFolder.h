// Where the payload is extracted: a folder on a drive with room, created for the Administrators
// group and the system only, and checked to be empty before the first file lands in it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// The folder holding the extracted files (ending with a back-slash, at most 259 bytes), or the
// launcher's own folder when there is no payload.
extern std::string extractionFolder;

// Picks the first usable folder for `neededBytes` (temporary folder first, then fixed,
// removable and remote drives) and writes it into extractionFolder. PRODUCTCODE comes from
// activeConfig.
bool ChooseExtractionFolder(uint64_t neededBytes);

// Restricts the chosen folder to the Administrators group and makes sure it is empty. On false
// the reason is logged and the run must end.
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
