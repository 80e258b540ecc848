#include "lib/install/fileUtil.h"

#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <vector>

#include "lib/install/fileHandle.h"
#include "lib/install/log.h"
#include "lib/misc/handle.h"
#include "lib/misc/win32u.h"

namespace
{
constexpr DWORD kRetryPauseMs = 1000;
constexpr DWORD kPrivilegeSetBytes = 20;

constexpr FileUtilCalls kSystemCalls = {Win32U_GetFileAttributes, Win32U_CreateDirectory};
const FileUtilCalls* testCalls = nullptr;

const FileUtilCalls& Sys()
{
   return testCalls != nullptr ? *testCalls : kSystemCalls;
}
} // namespace

void Util_SetFileCallsForTest(const FileUtilCalls* calls)
{
   testCalls = calls;
}

bool Util_FileExists(std::string path)
{
   if (Win32U_Access(path.c_str(), 0) == 0) {
      Inst_Log(LOG_DETAIL, "Util_FileExists: Found \"%s\"", path.c_str());
      return true;
   }
   Inst_LogLastPosixError(LOG_DETAIL, errno, "Util_FileExists: Did not find file/directory: \"%s\"", path.c_str());
   return false;
}

bool Util_PathExistsQuiet(const char* path)
{
   return path != nullptr && Sys().getFileAttributes(path) != INVALID_FILE_ATTRIBUTES;
}

bool Util_IsDirectory(std::string path)
{
   const DWORD attributes = Sys().getFileAttributes(path.c_str());
   if (attributes == INVALID_FILE_ATTRIBUTES) {
      Inst_LogLastWinError(LOG_DETAIL, GetLastError(), "Util_IsDirectory: Not a directory: %s", path.c_str());
      return false;
   }
   return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool Util_CopyFile(std::string source, std::string target, bool failIfExists)
{
   if (!Util_FileExists(source)) {
      Inst_Log(LOG_ERROR, "Util_CopyFile: Cannot copy non-existent file: %s", source.c_str());
      return false;
   }
   const size_t slash = target.rfind('\\');
   if (slash != std::string::npos) {
      const std::string folder = target.substr(0, slash + 1);
      if (!Util_PathExistsQuiet(folder.c_str())) {
         Util_CreateFullPath(folder);
      }
   }
   Inst_Log(LOG_DETAIL, "Util_CopyFile: Copy '%s' to '%s'", source.c_str(), target.c_str());
   if (!Win32U_CopyFile(source.c_str(), target.c_str(), failIfExists)) {
      Inst_LogLastWinError(LOG_ERROR, GetLastError(), "Util_CopyFile: The file copy operation failed");
      return false;
   }
   return true;
}

// Existence is read from the path's attributes, which accept a trailing back-slash: a find
// pattern with one matches nothing, and the climb would go on to the volume root, where
// CreateDirectoryW may answer "access denied" and fail the whole chain.
bool Util_CreateFullPath(std::string path)
{
   if (path.empty()) {
      return true;
   }
   const bool isFolder = path.back() == '\\';
   if (!isFolder && path.size() == 2) {
      return true; // a bare drive such as "C:"
   }
   if (Sys().getFileAttributes(path.c_str()) != INVALID_FILE_ATTRIBUTES) {
      return true;
   }
   std::string parent;
   const size_t end = isFolder ? path.size() - 1 : path.size();
   const size_t slash = end == 0 ? std::string::npos : path.rfind('\\', end - 1);
   if (slash != std::string::npos) {
      parent = path.substr(0, slash + 1);
   }
   if (!parent.empty() && parent != path && !Util_CreateFullPath(parent)) {
      return false;
   }
   if (!isFolder) {
      return true;
   }
   Inst_Log(LOG_DETAIL, "Util_CreateFullPath: Creating directory '%s'", path.c_str());
   if (Sys().createDirectory(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS) {
      return true;
   }
   // Whatever the refusal, a folder that is there now (made by someone else meanwhile, or one
   // Windows refuses to create again) is what the caller needs.
   const DWORD error = GetLastError();
   const DWORD attributes = Sys().getFileAttributes(path.c_str());
   if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      return true;
   }
   Inst_LogLastWinError(LOG_ERROR, error, "Util_CreateFullPath: Could not create directory %s", path.c_str());
   return false;
}

bool Util_DeleteFile(std::string path, unsigned retries, bool scheduleAtRestart)
{
   Inst_Log(LOG_DETAIL, "Util_DeleteFile: Deleting %s", path.c_str());
   if (!Util_PathExistsQuiet(path.c_str())) {
      Inst_Log(LOG_DETAIL, "Util_DeleteFile: Already removed: %s", path.c_str());
      return false;
   }
   for (unsigned attempt = 0; attempt <= retries; attempt++) {
      if (Win32U_Chmod(path.c_str(), _S_IREAD | _S_IWRITE) == 0 && Win32U_DeleteFile(path.c_str())) {
         Inst_Log(LOG_INFO, "Util_DeleteFile: Deleted file %s", path.c_str());
         return true;
      }
      Inst_LogLastWinError(LOG_WARNING, GetLastError(), "Util_DeleteFile: Failed to delete %s", path.c_str());
      if (attempt < retries) {
         Sleep(kRetryPauseMs);
      }
   }
   if (scheduleAtRestart && Util_PathExistsQuiet(path.c_str())) {
      Win32U_MoveFileEx(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
   }
   return false;
}

// The folder is opened as itself, relative to its parent, and everything after that goes through
// handles: the folders deleted here sit where other users, or unelevated programs, can write,
// and a path read twice may name something else the second time.
bool Util_DeleteDirectory(const char* path, unsigned flags)
{
   if (path == nullptr || *path == '\0') {
      Inst_Log(LOG_ERROR, "Util_DeleteDirectory: Invalid empty path specified for deletion");
      return false;
   }
   std::string trimmed(path);
   while (trimmed.size() > 3 && trimmed.back() == '\\') {
      trimmed.pop_back();
   }
   const size_t slash = trimmed.rfind('\\');
   const std::string parentPath = slash == std::string::npos ? std::string(".\\") : trimmed.substr(0, slash + 1);
   UniqueHandle parent;
   if (slash == std::string::npos || slash + 1 < trimmed.size()) {
      parent = Util_OpenFolder(parentPath);
   }
   if (!parent) {
      Inst_LogLastWinError(LOG_WARNING, GetLastError(),
                           "Util_DeleteDirectory: Cannot read the attributes of [%s]; not looking inside it", path);
      return false;
   }
   return Util_DeleteChild(parent.get(), slash == std::string::npos ? trimmed : trimmed.substr(slash + 1), trimmed,
                           flags);
}

std::string Util_GetFileContents(std::string path)
{
   std::string contents;
   FILE* file = Win32U_Fopen(path.c_str(), "r");
   if (file == nullptr) {
      Inst_LogLastPosixError(LOG_ERROR, errno, "Util_GetFileContents: Failed to open file for reading: %s",
                             path.c_str());
      return contents;
   }
   int c;
   while ((c = fgetc(file)) != EOF) {
      contents.push_back(static_cast<char>(c));
   }
   fclose(file);
   return contents;
}

uint64_t Util_GetFreeDriveSpace(char drive, unsigned expectedType)
{
   if (!IsCharAlphaA(drive)) {
      Inst_Log(LOG_ERROR, "Util_GetFreeDriveSpace: Drive %c:\\ is not a valid character.", drive);
      return 0;
   }
   const char root[] = {drive, ':', '\\', '\0'};
   if (Win32U_GetDriveType(root) != expectedType) {
      return 0;
   }
   ULARGE_INTEGER available;
   if (Win32U_GetDiskFreeSpaceEx(root, &available, nullptr, nullptr)) {
      return available.QuadPart;
   }
   const DWORD error = GetLastError();
   if (expectedType == DRIVE_REMOVABLE && error == ERROR_NOT_READY) {
      return 0; // a card reader without a card
   }
   Inst_LogWinError(LOG_ERROR, error, "Util_GetFreeDriveSpace: GetDiskFreeSpaceEx() failed");
   return 0;
}

bool Util_IsWritableDir(std::string path)
{
   if (!Util_PathExistsQuiet(path.c_str()) || !Util_IsDirectory(path)) {
      return false;
   }
   UniqueHandle token;
   if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, token.put())) {
      DWORD error = GetLastError();
      if (error == ERROR_NO_TOKEN) {
         if (!ImpersonateSelf(SecurityImpersonation)) {
            Inst_LogLastWinError(LOG_ERROR, GetLastError(), "Util_IsWritableDir: Unable to impersonate self");
            return false;
         }
         const BOOL opened = OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, token.put());
         error = GetLastError();
         RevertToSelf();
         if (!opened) {
            if (error == ERROR_CALL_NOT_IMPLEMENTED) {
               return true;
            }
            SetLastError(error);
            Inst_LogLastWinError(LOG_ERROR, error, "Util_IsWritableDir: Unable to get the process access token");
            return false;
         }
      } else if (error == ERROR_CALL_NOT_IMPLEMENTED) {
         return true;
      } else {
         Inst_LogWinError(LOG_ERROR, error, "Util_IsWritableDir: Unable to get the thread access token");
         return false;
      }
   }

   const SECURITY_INFORMATION info =
       OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
   std::vector<BYTE> descriptor;
   DWORD needed = 0;
   while (!Win32U_GetFileSecurity(path.c_str(), info, descriptor.empty() ? nullptr : descriptor.data(),
                                  static_cast<DWORD>(descriptor.size()), &needed)) {
      const DWORD error = GetLastError();
      if (error != ERROR_INSUFFICIENT_BUFFER) {
         Inst_LogWinError(LOG_ERROR, error, "Util_IsWritableDir: Unable to get security descriptor for \"%s\"",
                          path.c_str());
         return false;
      }
      try {
         descriptor.resize(needed);
      } catch (const std::bad_alloc&) {
         Inst_Log(LOG_ERROR, "Util_IsWritableDir: Couldn't realloc with size %u", static_cast<unsigned>(needed));
         return false;
      }
   }
   PSECURITY_DESCRIPTOR sd = descriptor.data();
   PSID group = nullptr;
   BOOL groupDefaulted = FALSE;
   PACL dacl = nullptr;
   BOOL daclPresent = FALSE;
   BOOL daclDefaulted = FALSE;
   GetSecurityDescriptorGroup(sd, &group, &groupDefaulted);
   GetSecurityDescriptorDacl(sd, &daclPresent, &dacl, &daclDefaulted);
   if (group == nullptr && !daclPresent) {
      return true;
   }
   GENERIC_MAPPING mapping = {0x120089, 0x120116, 0x1200A0, 0x1201BF};
   DWORD desired = FILE_GENERIC_WRITE;
   MapGenericMask(&desired, &mapping);
   BYTE privileges[kPrivilegeSetBytes];
   DWORD privilegesSize = sizeof privileges;
   DWORD granted = 0;
   BOOL status = FALSE;
   if (!AccessCheck(sd, token.get(), desired, &mapping, reinterpret_cast<PPRIVILEGE_SET>(privileges), &privilegesSize,
                    &granted, &status)) {
      Inst_LogLastWinError(LOG_ERROR, GetLastError(), "Util_IsWritableDir: Unable to check access rights");
      return false;
   }
   return status != FALSE;
}
