// Logged file and directory operations shared by every stage. Paths are UTF-8.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "lib/misc/win32u.h"

enum DeleteDirFlags : unsigned {
   DeleteDirRecurse = 1, // descend into sub-directories
   DeleteDirFiles = 2,   // delete every file found
};

bool Util_FileExists(std::string path);
bool Util_PathExistsQuiet(const char* path);
bool Util_IsDirectory(std::string path);
bool Util_CopyFile(std::string source, std::string target, bool failIfExists);
bool Util_CreateFullPath(std::string path);
bool Util_DeleteFile(std::string path, unsigned retries, bool scheduleAtRestart);
// Never descends through a reparse point (junction, symbolic link, mount point): the link
// itself is removed and what it points to is left alone. Whether an entry is a link is taken
// from the enumeration that found it; a folder whose own attributes cannot be read is not
// looked into.
bool Util_DeleteDirectory(const char* path, unsigned flags);
std::string Util_GetFileContents(std::string path);
uint64_t Util_GetFreeDriveSpace(char drive, unsigned expectedType);
bool Util_IsWritableDir(std::string path);

// The system calls behind the existence tests and folder creation. Tests put a table of their own
// in front of the real one (null restores it) for the answers Windows gives where Wine's differ:
// access denied for a folder that exists. (Deletion works through handles, fileHandle.h.)
struct FileUtilCalls {
   decltype(&Win32U_GetFileAttributes) getFileAttributes;
   decltype(&Win32U_CreateDirectory) createDirectory;
};
void Util_SetFileCallsForTest(const FileUtilCalls* calls);
