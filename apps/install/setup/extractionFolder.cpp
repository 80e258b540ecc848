#include "apps/install/setup/extractionFolder.h"

#include <shlwapi.h>

#include <cwchar>
#include <iterator>
#include <memory>

#include "apps/install/setup/config.h"
#include "apps/install/setup/configValues.h"
#include "apps/install/setup/exitCodes.h"
#include "apps/install/setup/payloadRoom.h"
#include "apps/install/setup/ui/messageBox.h"
#include "apps/install/setup/ui/messages.h"
#include "apps/install/setup/ui/uiState.h"
#include "lib/install/fileUtil.h"
#include "lib/install/log.h"
#include "lib/misc/win32u.h"
#include "lib/misc/windowsu.h"

std::string extractionFolder;
ExtractionPin extractionPin;

namespace
{

constexpr size_t kMaxFolderBytes = 259; // the folder and its NUL fit MAX_PATH
const char kDriveParent[] = "TessixTemp";
constexpr UINT kMessageCannotExtractTo = 27;
constexpr uint32_t kErrorBox = MB_ICONERROR;
constexpr uint32_t kDiskSpaceBox = MB_TOPMOST | MB_ICONERROR | MB_RETRYCANCEL; // 0x40015
constexpr uint32_t kDiskSpaceSilentBox = kDiskSpaceBox | MB_DEFBUTTON2;        // 0x40115
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

// The access the held extraction folder is opened with. No delete sharing: while the handle is
// open nobody can rename the folder or put something else in its place.
ChildOpen PinnedFolder(FolderCreationSecurity& security, DWORD disposition)
{
   ChildOpen how;
   how.access = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY | FILE_READ_ATTRIBUTES |
                READ_CONTROL | WRITE_DAC | WRITE_OWNER;
   how.share = FILE_SHARE_READ | FILE_SHARE_WRITE;
   how.disposition = disposition;
   how.kind = ChildOpen::Folder;
   how.security = &security.descriptor;
   return how;
}

bool IsNameTaken(DWORD error)
{
   return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS;
}

// The drive-root "TessixTemp" folder, held for the run: created restricted, or an existing real
// folder (never a link) restricted now through the handle that was checked. Whoever controls the
// parent could otherwise swap the extraction folder underneath us.
UniqueHandle SecureParent(const std::string& parent, FolderCreationSecurity& security)
{
   const std::string root = parent.substr(0, 3);
   UniqueHandle rootHandle = Util_OpenFolder(root);
   bool created = false;
   UniqueHandle held;
   if (rootHandle) {
      held = Util_OpenChild(rootHandle.get(), kDriveParent, PinnedFolder(security, FILE_OPEN_IF), &created);
   }
   if (!held || !Util_IsPlainChild(rootHandle.get(), kDriveParent, held.get(), ChildOpen::Folder) ||
       (!created && !W32Util_SetAdminsGrpAccessOnlyOn(held.get()))) {
      Inst_Log(LOG_WARNING, "ChooseExtractionFolder: Cannot secure the parent folder \"%s\"", parent.c_str());
      return UniqueHandle();
   }
   return held;
}

// The folder the candidate lives in, opened as named: the user's temporary folder, or the
// drive-root folder above.
UniqueHandle OpenContainer(const Candidate& candidate, FolderCreationSecurity& security)
{
   if (!candidate.parent.empty()) {
      return SecureParent(candidate.parent, security);
   }
   const std::string folder = WithoutSlash(candidate.folder);
   const std::string temp = folder.substr(0, folder.rfind('\\') + 1);
   UniqueHandle handle = Util_OpenFolder(temp);
   if (!handle) {
      Inst_LogLastWinError(LOG_WARNING, GetLastError(), "ChooseExtractionFolder: Cannot open \"%s\"", temp.c_str());
   }
   return handle;
}

// Creates the candidate folder with the restricted descriptor and holds it. Only a folder this
// call created counts: one that is there already may belong to someone else, so it is removed
// through handles first (a link in its place is removed, never followed) and made anew.
bool TryCandidate(const Candidate& candidate, FolderCreationSecurity& security)
{
   if (candidate.folder.size() > kMaxFolderBytes) {
      return false; // a cut path would name another folder
   }
   UniqueHandle container = OpenContainer(candidate, security);
   if (!container) {
      return false;
   }
   const std::string folder = WithoutSlash(candidate.folder);
   const std::string leaf = folder.substr(folder.rfind('\\') + 1);
   UniqueHandle held = Util_OpenChild(container.get(), leaf, PinnedFolder(security, FILE_CREATE));
   bool madeAgain = false;
   if (!held && IsNameTaken(GetLastError())) {
      // Left by an earlier run, or made in advance by someone else.
      if (!Util_DeleteChild(container.get(), leaf, folder, DeleteDirRecurse | DeleteDirFiles)) {
         return false;
      }
      held = Util_OpenChild(container.get(), leaf, PinnedFolder(security, FILE_CREATE));
      madeAgain = true;
   }
   if (!held) {
      Inst_LogLastWinError(LOG_WARNING, GetLastError(), "ChooseExtractionFolder: Could not create \"%s\"",
                           folder.c_str());
      return false;
   }
   FileIdentity identity;
   if (!Util_IsPlainChild(container.get(), leaf, held.get(), ChildOpen::Folder) ||
       !Util_GetIdentity(held.get(), identity) || (!madeAgain && !Util_IsWritableDir(folder))) {
      return false;
   }
   extractionPin.parent = std::move(container);
   extractionPin.folder = std::move(held);
   extractionPin.identity = identity;
   extractionPin.leaf = leaf;
   extractionPin.path = candidate.folder;
   extractionPin.driveParent = !candidate.parent.empty();
   extractionPin.files.clear();
   return true;
}

bool SameText(const std::string& a, const std::string& b)
{
   return a.size() == b.size() &&
          CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()), b.data(),
                         static_cast<int>(b.size())) == CSTR_EQUAL;
}

bool IsEmptyFolder(HANDLE folder)
{
   bool empty = false;
   return Util_IsFolderEmpty(folder, empty) && empty;
}

} // namespace

bool BuildFolderCreationSecurity(FolderCreationSecurity& security)
{
   const char kWho[] = "BuildFolderCreationSecurity";
   if (!Util_BuildAdminsAndSystemAcl(security.acl, kWho)) {
      return false;
   }
   if (!InitializeSecurityDescriptor(&security.descriptor, SECURITY_DESCRIPTOR_REVISION) ||
       !SetSecurityDescriptorDacl(&security.descriptor, TRUE, reinterpret_cast<PACL>(security.acl.data()), FALSE) ||
       !SetSecurityDescriptorControl(&security.descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED)) {
      Inst_LogLastWinError(LOG_ERROR, GetLastError(), "%s: Cannot build the descriptor", kWho);
      return false;
   }
   security.attributes.nLength = sizeof security.attributes;
   security.attributes.lpSecurityDescriptor = &security.descriptor;
   security.attributes.bInheritHandle = FALSE;
   return true;
}

FolderChoice ChooseExtractionFolder(uint64_t neededBytes, std::string* unsecured)
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
      return FolderChoice::NoRoom;
   }
   FolderCreationSecurity security;
   const bool secured = BuildFolderCreationSecurity(security);
   const DWORD securityError = secured ? ERROR_SUCCESS : GetLastError();
   const std::vector<Candidate> candidates = ListCandidates(neededBytes, leaf);
   if (!secured) {
      // No folder can be made safe for the payload, whichever drive has room.
      const std::string temp = Win32U_GetTempPath();
      const std::string folder = !candidates.empty() ? candidates.front().folder
                                 : temp.empty()      ? leaf
                                                     : temp + (temp.back() == '\\' ? "" : "\\") + leaf;
      Inst_LogWinError(LOG_LAUNCHER, securityError, "Can't adjust security for target path \"%s\"", folder.c_str());
      if (unsecured != nullptr) {
         *unsecured = folder;
      }
      return FolderChoice::CannotSecure;
   }

   for (const Candidate& candidate : candidates) {
      Inst_LogMsg("CurrentLocation \"%s\"", candidate.folder.c_str());
      if (TryCandidate(candidate, security)) {
         extractionFolder = candidate.folder;
         Inst_LogMsg("Selecting \"%s\" for unpacking temp files", extractionFolder.c_str());
         return FolderChoice::Chosen;
      }
      Inst_LogMsg("Can't use \"%s\" because is too small", candidate.folder.c_str());
   }
   Inst_LogMsg("ERROR: Setup did not find a suitable unpack location. Stopping installation.");
   return FolderChoice::NoRoom;
}

FolderPreparation PrepareExtractionFolder(const std::string& folder)
{
   Inst_LogMsg("Extracting setup files to \"%s\"", folder.c_str());
   UniqueHandle opened;
   HANDLE handle = nullptr;
   if (extractionPin.folder && folder == extractionPin.path) {
      handle = extractionPin.folder.get();
   } else {
      opened =
          Util_OpenFolderNoFollow(folder, FILE_LIST_DIRECTORY | FILE_TRAVERSE | READ_CONTROL | WRITE_DAC | WRITE_OWNER,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE);
      handle = opened ? opened.get() : nullptr;
   }
   if (handle == nullptr || !W32Util_SetAdminsGrpAccessOnlyOn(handle)) {
      Inst_LogWinError(LOG_LAUNCHER, GetLastError(), "Can't adjust security for target path \"%s\"", folder.c_str());
      return FolderPreparation::CannotSecure;
   }
   if (!IsEmptyFolder(handle)) {
      Inst_LogMsg("The target path is not empty \"%s\"", folder.c_str());
      return FolderPreparation::NotEmpty;
   }
   return FolderPreparation::Ready;
}

int32_t SetUpExtractionFolder(uint64_t neededBytes, bool silent, const char* title, HMODULE resources)
{
   std::string unsecured;
   for (;;) {
      const FolderChoice choice = ChooseExtractionFolder(neededBytes, &unsecured);
      if (choice == FolderChoice::Chosen) {
         break;
      }
      if (choice == FolderChoice::CannotSecure) {
         ShowMessageWithText(resources, messageOwner, title, kMessageCannotExtractTo, unsecured.c_str(), kErrorBox);
         return ExitFatal;
      }
      Inst_LogMsg("ERROR: Failed to find drive with enough space.");
      Inst_LogMsg("Needed Bytes: %llu", static_cast<unsigned long long>(neededBytes));
      const int answer = ShowMessageWithNumber(resources, messageOwner, title, MSG_NOT_ENOUGH_SPACE,
                                               static_cast<int>(Room_Megabytes(neededBytes)),
                                               silent ? kDiskSpaceSilentBox : kDiskSpaceBox);
      if (answer != IDRETRY) {
         Inst_LogMsg("Install cancelled by the user.");
         // Silently nobody chose: there is no drive with room. Otherwise the user cancelled.
         return silent ? ExitNoDriveWithRoom : ExitUserCancelled;
      }
      Inst_LogMsg("User chose to retry to find enough disk space.");
   }
   switch (PrepareExtractionFolder(extractionFolder)) {
   case FolderPreparation::Ready:
      return ExitSuccess;
   case FolderPreparation::CannotSecure:
      ShowMessageWithText(resources, messageOwner, title, kMessageCannotExtractTo, extractionFolder.c_str(), kErrorBox);
      return ExitFatal;
   case FolderPreparation::NotEmpty:
      break;
   }
   return ExitFatal;
}

bool ExtractedFile_IsIntact(const std::string& path)
{
   const ExtractionPin& pin = extractionPin;
   if (!pin.folder || path.size() <= pin.path.size() || !SameText(path.substr(0, pin.path.size()), pin.path)) {
      return true;
   }
   const std::string name = path.substr(pin.path.size());
   for (const PinnedFile& file : pin.files) {
      if (!SameText(file.name, name)) {
         continue;
      }
      UniqueHandle now(Win32U_CreateFile(path.c_str(), FILE_READ_ATTRIBUTES,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                         FILE_FLAG_BACKUP_SEMANTICS, nullptr));
      FileIdentity identity;
      if (now && Util_GetIdentity(now.get(), identity) && Util_SameFile(identity, file.identity)) {
         return true;
      }
      Inst_LogMsg("ERROR: \"%s\" is no longer the file that was extracted; it is not used", path.c_str());
      return false;
   }
   return true;
}

void ReleaseExtractionFolder(bool keepFiles)
{
   ExtractionPin& pin = extractionPin;
   pin.files.clear();
   if (!pin.folder) {
      return;
   }
   if (keepFiles) {
      pin = ExtractionPin();
      return;
   }
   const std::string folder = WithoutSlash(pin.path);
   Inst_LogMsg("Cleaning up temp dir \"%s\"", pin.path.c_str());
   Util_EmptyFolder(pin.folder.get(), folder, DeleteDirRecurse | DeleteDirFiles);
   // The folder itself goes through a handle with the right to delete it, which the held one
   // lacks; it must still be the very folder that was held.
   pin.folder.reset();
   if (!Util_DeleteChild(pin.parent.get(), pin.leaf, folder, DeleteDirRecurse | DeleteDirFiles, &pin.identity)) {
      Inst_LogMsg("Failed to cleanup extracted files in \"%s\"", pin.path.c_str());
      pin = ExtractionPin();
      return;
   }
   pin.parent.reset();
   const size_t slash = folder.rfind('\\');
   const std::string parent = slash == std::string::npos ? std::string() : folder.substr(0, slash);
   if (pin.driveParent && !Util_DeleteDirectory(parent.c_str(), DeleteDirRecurse)) {
      Inst_LogMsg("Failed to cleanup directory \"%s\"", parent.c_str());
   }
   pin = ExtractionPin();
}
