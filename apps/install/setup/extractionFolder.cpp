#include "apps/install/setup/extractionFolder.h"

#include <shlwapi.h>

#include <cwchar>
#include <iterator>
#include <memory>

#include "apps/install/setup/config.h"
#include "apps/install/setup/configValues.h"
#include "apps/install/setup/payloadRoom.h"
#include "lib/install/fileUtil.h"
#include "lib/install/log.h"
#include "lib/misc/win32u.h"
#include "lib/misc/windowsu.h"

std::string extractionFolder;

namespace
{

constexpr size_t kMaxFolderBytes = 259; // the folder and its NUL fit MAX_PATH
constexpr DWORD kFullControl = 0x101F0000;
constexpr BYTE kInheritToAll = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
const char kDriveParent[] = "TessixTemp";
const char kFolderSuffix[] = "~setup\\";

struct Candidate {
   std::string folder; // ends with a back-slash
   std::string parent; // the drive-root "TessixTemp" folder it needs, or empty
};

class ErrorModeScope
{
 public:
   ErrorModeScope() : previous_(SetErrorMode(SEM_FAILCRITICALERRORS)) {}
   ~ErrorModeScope() { SetErrorMode(previous_); }
   ErrorModeScope(const ErrorModeScope&) = delete;
   ErrorModeScope& operator=(const ErrorModeScope&) = delete;

 private:
   UINT previous_;
};

struct SystemSidFree {
   void operator()(void* sid) const { FreeSid(sid); }
};

std::string Root(char letter)
{
   return std::string{letter, ':', '\\'};
}

std::string WithoutSlash(std::string path)
{
   while (!path.empty() && path.back() == '\\') {
      path.pop_back();
   }
   return path;
}

bool IsFloppy(char letter)
{
   const wchar_t device[] = {static_cast<wchar_t>(letter), L':', L'\0'};
   wchar_t target[MAX_PATH];
   if (QueryDosDeviceW(device, target, MAX_PATH) == 0) {
      return false;
   }
   static constexpr wchar_t kFloppy[] = L"\\Device\\Floppy";
   constexpr int kFloppyChars = static_cast<int>(std::size(kFloppy) - 1);
   return wcsnlen(target, MAX_PATH) >= static_cast<size_t>(kFloppyChars) &&
          CompareStringOrdinal(target, kFloppyChars, kFloppy, kFloppyChars, TRUE) == CSTR_EQUAL;
}

// Adds the drive's candidate when it has more than `needed` bytes free and a writable root.
void ConsiderDrive(char letter, UINT type, const char* label, uint64_t needed, const std::string& leaf,
                   std::vector<Candidate>& candidates)
{
   const uint64_t free = Util_GetFreeDriveSpace(letter, type);
   Inst_LogMsg("%s %c: has %llu MB (%llu bytes) free", label, letter,
               static_cast<unsigned long long>(Room_Megabytes(free)), static_cast<unsigned long long>(free));
   const std::string root = Root(letter);
   if (free > needed && Util_IsWritableDir(root)) {
      const std::string parent = root + kDriveParent;
      candidates.push_back({parent + "\\" + leaf, parent});
   }
}

std::vector<Candidate> ListCandidates(uint64_t needed, const std::string& leaf)
{
   std::vector<Candidate> candidates;
   const std::string temp = Win32U_GetTempPath();
   if (!temp.empty() && temp.size() <= MAX_PATH) {
      Inst_LogMsg("Examining drive for temp folder \"%s\"", temp.c_str());
      const char letter = temp[0];
      if (Util_GetFreeDriveSpace(letter, Win32U_GetDriveType(Root(letter).c_str())) > needed &&
          Util_IsWritableDir(temp)) {
         candidates.push_back({temp + (temp.back() == '\\' ? "" : "\\") + leaf, std::string()});
      }
   }

   std::string fixed, removable, remote;
   for (char letter = 'A'; letter <= 'Z'; letter++) {
      switch (Win32U_GetDriveType(Root(letter).c_str())) {
      case DRIVE_REMOVABLE:
         if (!IsFloppy(letter)) {
            removable.push_back(letter);
         }
         break;
      case DRIVE_RAMDISK:
         removable.push_back(letter);
         break;
      case DRIVE_FIXED:
         fixed.push_back(letter);
         break;
      case DRIVE_REMOTE:
         remote.push_back(letter);
         break;
      default:
         break;
      }
   }
   for (char letter : fixed) {
      ConsiderDrive(letter, DRIVE_FIXED, "Local fixed drive", needed, leaf, candidates);
   }
   for (char letter : removable) {
      ConsiderDrive(letter, Win32U_GetDriveType(Root(letter).c_str()), "Removable drive", needed, leaf, candidates);
   }
   for (char letter : remote) {
      ConsiderDrive(letter, DRIVE_REMOTE, "Remote drive", needed, leaf, candidates);
   }
   return candidates;
}

bool IsPlainDirectory(const std::string& path)
{
   const DWORD attributes = Win32U_GetFileAttributes(path.c_str());
   return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
          !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// Creates `path` with the restricted descriptor. Only a folder this call created counts: one
// that appeared in between may belong to someone else.
bool CreateSecuredFolder(const std::string& path, FolderCreationSecurity& security)
{
   if (Win32U_CreateDirectory(path.c_str(), &security.attributes)) {
      return true;
   }
   Inst_LogLastWinError(LOG_WARNING, GetLastError(), "ChooseExtractionFolder: Could not create \"%s\"", path.c_str());
   return false;
}

// The drive-root "TessixTemp" folder: created restricted, or an existing real folder
// restricted now. Whoever controls the parent could swap the extraction folder underneath us.
bool SecureParent(const std::string& parent, FolderCreationSecurity& security)
{
   if (Win32U_GetFileAttributes(parent.c_str()) == INVALID_FILE_ATTRIBUTES &&
       Win32U_CreateDirectory(parent.c_str(), &security.attributes)) {
      return true;
   }
   if (!IsPlainDirectory(parent) || !W32Util_SetAdminsGrpAccessOnly(parent.c_str())) {
      Inst_Log(LOG_WARNING, "ChooseExtractionFolder: Cannot secure the parent folder \"%s\"", parent.c_str());
      return false;
   }
   return true;
}

bool TryCandidate(const Candidate& candidate, FolderCreationSecurity& security)
{
   if (candidate.folder.size() > kMaxFolderBytes) {
      return false; // a cut path would name another folder
   }
   if (!candidate.parent.empty() && !SecureParent(candidate.parent, security)) {
      return false;
   }
   const std::string folder = WithoutSlash(candidate.folder);
   if (Util_IsDirectory(folder)) {
      // Left by an earlier run. A link in its place is removed, never followed.
      return Util_DeleteDirectory(folder.c_str(), DeleteDirRecurse | DeleteDirFiles) &&
             CreateSecuredFolder(folder, security);
   }
   return CreateSecuredFolder(folder, security) && Util_IsWritableDir(folder);
}

} // namespace

bool BuildFolderCreationSecurity(FolderCreationSecurity& security)
{
   OwnedSid admins = W32Util_GetLocalAdminGroupSid();
   SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
   PSID systemSid = nullptr;
   if (!admins || !AllocateAndInitializeSid(&nt, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0, &systemSid)) {
      Inst_LogLastWinError(LOG_ERROR, GetLastError(), "BuildFolderCreationSecurity: Cannot look up the group SIDs");
      return false;
   }
   std::unique_ptr<void, SystemSidFree> system(systemSid);
   const DWORD aceBase = sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD);
   security.acl.assign(sizeof(ACL) + 2 * aceBase + GetLengthSid(admins.get()) + GetLengthSid(system.get()), 0);
   auto* acl = reinterpret_cast<PACL>(security.acl.data());
   if (!InitializeAcl(acl, static_cast<DWORD>(security.acl.size()), ACL_REVISION) ||
       !AddAccessAllowedAceEx(acl, ACL_REVISION, kInheritToAll, kFullControl, admins.get()) ||
       !AddAccessAllowedAceEx(acl, ACL_REVISION, kInheritToAll, kFullControl, system.get()) ||
       !InitializeSecurityDescriptor(&security.descriptor, SECURITY_DESCRIPTOR_REVISION) ||
       !SetSecurityDescriptorDacl(&security.descriptor, TRUE, acl, FALSE) ||
       !SetSecurityDescriptorControl(&security.descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED)) {
      Inst_LogLastWinError(LOG_ERROR, GetLastError(), "BuildFolderCreationSecurity: Cannot build the descriptor");
      return false;
   }
   security.attributes.nLength = sizeof security.attributes;
   security.attributes.lpSecurityDescriptor = &security.descriptor;
   security.attributes.bInheritHandle = FALSE;
   return true;
}

bool ChooseExtractionFolder(uint64_t neededBytes)
{
   Inst_LogMsg("Attempting to find best location for unpacking temporary installation files");
   ErrorModeScope errorMode;

   const std::string productCode = activeConfig != nullptr ? activeConfig->productCode : std::string();
   const std::string leaf = productCode + kFolderSuffix;
   // PRODUCTCODE becomes one folder name; anything that could lead elsewhere is not used. The
   // configuration reader has refused such a value already.
   if (!Config_IsValidProductCode(productCode)) {
      Inst_Log(LOG_ERROR, "ChooseExtractionFolder: PRODUCTCODE \"%s\" cannot name a folder", productCode.c_str());
      Inst_LogMsg("ERROR: Setup did not find a suitable unpack location. Stopping installation.");
      return false;
   }
   FolderCreationSecurity security;
   const bool secured = BuildFolderCreationSecurity(security);

   for (const Candidate& candidate : ListCandidates(neededBytes, leaf)) {
      Inst_LogMsg("CurrentLocation \"%s\"", candidate.folder.c_str());
      if (secured && TryCandidate(candidate, security)) {
         extractionFolder = candidate.folder;
         Inst_LogMsg("Selecting \"%s\" for unpacking temp files", extractionFolder.c_str());
         return true;
      }
      Inst_LogMsg("Can't use \"%s\" because is too small", candidate.folder.c_str());
   }
   Inst_LogMsg("ERROR: Setup did not find a suitable unpack location. Stopping installation.");
   return false;
}

bool PrepareExtractionFolder(const std::string& folder)
{
   Inst_LogMsg("Extracting setup files to \"%s\"", folder.c_str());
   if (!W32Util_SetAdminsGrpAccessOnly(folder.c_str())) {
      Inst_LogMsg("Can't adjust security for target path \"%s\"", folder.c_str());
      return false;
   }
   const auto wide = Win32U_ToWide(folder);
   if (!wide || !PathIsDirectoryEmptyW(wide->c_str())) {
      Inst_LogMsg("The target path is not empty \"%s\"", folder.c_str());
      return false;
   }
   return true;
}
