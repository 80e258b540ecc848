#include "lib/install/fileHandle.h"

#include <winternl.h>

#include <aclapi.h>

#include <cstring>
#include <vector>

#include "lib/install/fileUtil.h"
#include "lib/install/log.h"
#include "lib/misc/sysLib.h"
#include "lib/misc/win32u.h"
#include "lib/misc/windowsu.h"
#include "lib/string/str.h"

namespace
{

constexpr unsigned kMaxDepth = 64;         // folders deeper than this are not entered
constexpr DWORD kListingBytes = 64 * 1024; // one batch of a folder's listing
constexpr ULONG kFileIdBothDirectoryInformation = 37;
constexpr ULONG kFileCreated = 2; // IO_STATUS_BLOCK.Information of a create that made the file
constexpr DWORD kFullControl = 0x101F0000;
constexpr BYTE kInheritToAll = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;

using NtCreateFileFn = NTSTATUS(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK, PLARGE_INTEGER,
                                        ULONG, ULONG, ULONG, ULONG, PVOID, ULONG);
using NtQueryDirectoryFileFn = NTSTATUS(NTAPI*)(HANDLE, HANDLE, PVOID, PVOID, PIO_STATUS_BLOCK, PVOID, ULONG, ULONG,
                                                BOOLEAN, PUNICODE_STRING, BOOLEAN);
void (*deletionHook)(const std::string&) = nullptr;

using RtlNtStatusToDosErrorFn = ULONG(NTAPI*)(NTSTATUS);
using NtSetInformationFileFn = NTSTATUS(NTAPI*)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG, ULONG);
constexpr ULONG kFileRenameInformation = 10;

// ntdll is in every process before the first line of ours runs; it is looked up, not imported.
struct NtCalls {
   NtCreateFileFn createFile = nullptr;
   NtQueryDirectoryFileFn queryDirectory = nullptr;
   RtlNtStatusToDosErrorFn toDosError = nullptr;
   NtSetInformationFileFn setInformation = nullptr;
};

const NtCalls& Nt()
{
   static const NtCalls calls = [] {
      NtCalls c;
      const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
      SysLib_Bind(ntdll, "NtCreateFile", c.createFile);
      SysLib_Bind(ntdll, "NtQueryDirectoryFile", c.queryDirectory);
      SysLib_Bind(ntdll, "RtlNtStatusToDosError", c.toDosError);
      SysLib_Bind(ntdll, "NtSetInformationFile", c.setInformation);
      return c;
   }();
   return calls;
}

void SetErrorFromStatus(NTSTATUS status)
{
   SetLastError(Nt().toDosError != nullptr ? Nt().toDosError(status) : ERROR_GEN_FAILURE);
}

// One path component: no separator, no stream or drive colon, not "." or "..", no wildcard (the
// listing query reads the name as a pattern).
bool IsOneComponent(const std::wstring& name)
{
   if (name.empty() || name == L"." || name == L"..") {
      return false;
   }
   return name.find_first_of(L"\\/:*?<>\"") == std::wstring::npos;
}

UniqueHandle OpenRelative(HANDLE parent, const std::wstring& name, const ChildOpen& how, bool* created)
{
   if (created != nullptr) {
      *created = false;
   }
   if (Nt().createFile == nullptr) {
      SetLastError(ERROR_PROC_NOT_FOUND);
      return UniqueHandle();
   }
   UNICODE_STRING text;
   text.Buffer = const_cast<PWSTR>(name.c_str());
   text.Length = static_cast<USHORT>(name.size() * sizeof(wchar_t));
   text.MaximumLength = text.Length;
   OBJECT_ATTRIBUTES attributes;
   InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, parent, how.security);
   ULONG options = FILE_OPEN_REPARSE_POINT | FILE_SYNCHRONOUS_IO_NONALERT;
   if (how.kind == ChildOpen::Folder) {
      options |= FILE_DIRECTORY_FILE;
   } else if (how.kind == ChildOpen::File) {
      options |= FILE_NON_DIRECTORY_FILE;
   }
   IO_STATUS_BLOCK io{};
   HANDLE raw = nullptr;
   const NTSTATUS status = Nt().createFile(&raw, how.access | SYNCHRONIZE, &attributes, &io, nullptr,
                                           FILE_ATTRIBUTE_NORMAL, how.share, how.disposition, options, nullptr, 0);
   if (status < 0) {
      SetErrorFromStatus(status);
      return UniqueHandle();
   }
   if (created != nullptr) {
      *created = io.Information == kFileCreated;
   }
   return UniqueHandle(raw);
}

// The folder itself again, for a listing of its own: a listing query keeps the first name
// pattern a handle was given, so every query by name needs a new handle.
UniqueHandle OpenForListing(HANDLE folder)
{
   ChildOpen how;
   how.access = FILE_LIST_DIRECTORY;
   how.kind = ChildOpen::Folder;
   return OpenRelative(folder, std::wstring(), how, nullptr);
}

bool FindEntry(HANDLE parent, const std::wstring& name, ListedEntry& entry)
{
   UniqueHandle listing = OpenForListing(parent);
   if (!listing || Nt().queryDirectory == nullptr) {
      return false;
   }
   std::vector<BYTE> buffer(sizeof(FILE_ID_BOTH_DIR_INFO) + (MAX_PATH + 1) * sizeof(wchar_t) * 2);
   UNICODE_STRING pattern;
   pattern.Buffer = const_cast<PWSTR>(name.c_str());
   pattern.Length = static_cast<USHORT>(name.size() * sizeof(wchar_t));
   pattern.MaximumLength = pattern.Length;
   IO_STATUS_BLOCK io{};
   const NTSTATUS status =
       Nt().queryDirectory(listing.get(), nullptr, nullptr, nullptr, &io, buffer.data(),
                           static_cast<ULONG>(buffer.size()), kFileIdBothDirectoryInformation, TRUE, &pattern, TRUE);
   if (status < 0) {
      SetErrorFromStatus(status);
      return false;
   }
   const auto* info = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(buffer.data());
   const std::wstring found(info->FileName, info->FileNameLength / sizeof(wchar_t));
   if (CompareStringOrdinal(found.c_str(), static_cast<int>(found.size()), name.c_str(), static_cast<int>(name.size()),
                            TRUE) != CSTR_EQUAL) {
      SetLastError(ERROR_FILE_NOT_FOUND);
      return false;
   }
   entry.attributes = info->FileAttributes;
   entry.index = static_cast<uint64_t>(info->FileId.QuadPart);
   return true;
}

bool KindMatches(uint32_t attributes, ChildOpen::Kind kind)
{
   const bool folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
   return kind == ChildOpen::Any || (kind == ChildOpen::Folder) == folder;
}

bool IsPlain(HANDLE child, const ListedEntry& listed, ChildOpen::Kind kind, FileIdentity& identity)
{
   if (!Util_GetIdentity(child, identity)) {
      return false;
   }
   const bool link = ((identity.attributes | listed.attributes) & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
   const bool same = listed.index == 0 || listed.index == identity.index;
   return !link && same && KindMatches(identity.attributes, kind);
}

struct Entry {
   std::wstring name;
   ListedEntry listed;
};

bool ReadListing(HANDLE folder, std::vector<Entry>& entries)
{
   UniqueHandle listing = OpenForListing(folder);
   if (!listing) {
      return false;
   }
   std::vector<BYTE> buffer(kListingBytes);
   FILE_INFO_BY_HANDLE_CLASS request = FileIdBothDirectoryRestartInfo;
   while (GetFileInformationByHandleEx(listing.get(), request, buffer.data(), kListingBytes)) {
      request = FileIdBothDirectoryInfo;
      for (size_t offset = 0;;) {
         const auto* info = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(buffer.data() + offset);
         std::wstring name(info->FileName, info->FileNameLength / sizeof(wchar_t));
         if (name != L"." && name != L"..") {
            entries.push_back({std::move(name), {info->FileAttributes, static_cast<uint64_t>(info->FileId.QuadPart)}});
         }
         if (info->NextEntryOffset == 0) {
            break;
         }
         offset += info->NextEntryOffset;
      }
   }
   return GetLastError() == ERROR_NO_MORE_FILES;
}

bool EmptyFolder(HANDLE folder, const std::string& shown, unsigned flags, unsigned depth);
bool EndsAtName(HANDLE folder, HANDLE file, const std::wstring& name);

// An entry opened to be deleted is held without delete sharing: nobody can rename it, or a
// folder holding it, away while the deletion runs (where the system deletes on close by the name
// the file had when it was opened, as Wine does, a rename would turn the deletion on whatever
// took that name).
ChildOpen ForDeletion()
{
   ChildOpen how;
   how.access = DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | FILE_LIST_DIRECTORY | FILE_TRAVERSE;
   how.share = FILE_SHARE_READ | FILE_SHARE_WRITE;
   return how;
}

// One entry of a folder being emptied. The entry is opened as itself and must still be what the
// listing showed; a link is removed only through a handle that is the link.
bool DeleteEntry(HANDLE folder, const std::string& shown, const Entry& entry, unsigned flags, unsigned depth)
{
   const std::string name = Win32U_ToUtf8(entry.name).value_or("?");
   const std::string child = shown + "\\" + name;
   const bool listedFolder = (entry.listed.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
   const bool listedLink = (entry.listed.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
   if (!(flags & DeleteDirFiles) && !(listedFolder && !listedLink && (flags & DeleteDirRecurse))) {
      return false; // not asked to delete this kind of entry; it stays, and so does the folder
   }
   Util_RunDeletionHookForTest(child);
   UniqueHandle handle = OpenRelative(folder, entry.name, ForDeletion(), nullptr);
   if (!handle) {
      Inst_LogLastWinError(LOG_WARNING, GetLastError(), "Util_DeleteDirectory: Cannot open [%s]", child.c_str());
      return false;
   }
   FileIdentity identity;
   if (!Util_GetIdentity(handle.get(), identity)) {
      return false;
   }
   if (listedLink || (identity.attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      Inst_Log(LOG_DETAIL, "Util_DeleteDirectory: Removing link [%s] without following it", child.c_str());
      if (!(identity.attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
         // The system followed the link on open: this handle is its target, which stays.
         Inst_Log(LOG_WARNING, "Util_DeleteDirectory: The link [%s] cannot be removed without following it; left",
                  child.c_str());
         return false;
      }
      return Util_DeleteByHandle(handle.get());
   }
   if (entry.listed.index != 0 && entry.listed.index != identity.index) {
      Inst_Log(LOG_WARNING, "Util_DeleteDirectory: [%s] was replaced while the folder was emptied; left",
               child.c_str());
      return false;
   }
   if (!EndsAtName(folder, handle.get(), entry.name)) {
      // A system that follows a link to a file on open, and lists it as a plain file (Wine).
      Inst_Log(LOG_WARNING, "Util_DeleteDirectory: The link [%s] cannot be removed without following it; left",
               child.c_str());
      return false;
   }
   if (identity.attributes & FILE_ATTRIBUTE_DIRECTORY) {
      if (!(flags & DeleteDirRecurse)) {
         return false;
      }
      if (depth >= kMaxDepth) {
         Inst_Log(LOG_WARNING, "Util_DeleteDirectory: [%s] lies deeper than %u folders; not entered", child.c_str(),
                  kMaxDepth);
         return false;
      }
      EmptyFolder(handle.get(), child, flags, depth + 1);
   }
   return Util_DeleteByHandle(handle.get());
}

bool EmptyFolder(HANDLE folder, const std::string& shown, unsigned flags, unsigned depth)
{
   std::vector<Entry> entries;
   if (!ReadListing(folder, entries)) {
      Inst_LogLastWinError(LOG_DETAIL, GetLastError(),
                           "Util_DeleteDirectory: Failed to find any child files or directories for %s", shown.c_str());
      return false;
   }
   Inst_Log(LOG_DETAIL, "Util_DeleteDirectory: Deleting [%s]", shown.c_str());
   bool all = true;
   for (const Entry& entry : entries) {
      all = DeleteEntry(folder, shown, entry, flags, depth) && all;
   }
   return all;
}

} // namespace

bool Util_GetIdentity(HANDLE file, FileIdentity& identity)
{
   BY_HANDLE_FILE_INFORMATION info;
   FILE_ATTRIBUTE_TAG_INFO tag{};
   if (!GetFileInformationByHandle(file, &info) ||
       !GetFileInformationByHandleEx(file, FileAttributeTagInfo, &tag, sizeof tag)) {
      return false;
   }
   identity.volume = info.dwVolumeSerialNumber;
   identity.index = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
   identity.attributes = info.dwFileAttributes | tag.FileAttributes;
   identity.links = info.nNumberOfLinks;
   identity.size = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
   return true;
}

bool Util_SameFile(const FileIdentity& a, const FileIdentity& b)
{
   return a.volume == b.volume && a.index == b.index;
}

UniqueHandle Util_OpenChild(HANDLE parent, const std::string& name, const ChildOpen& how, bool* created)
{
   const auto wide = Win32U_ToWide(name);
   if (!wide || !IsOneComponent(*wide)) {
      SetLastError(ERROR_INVALID_NAME);
      return UniqueHandle();
   }
   return OpenRelative(parent, *wide, how, created);
}

bool Util_FindListedEntry(HANDLE parent, const std::string& name, ListedEntry& entry)
{
   const auto wide = Win32U_ToWide(name);
   if (!wide || !IsOneComponent(*wide)) {
      SetLastError(ERROR_INVALID_NAME);
      return false;
   }
   return FindEntry(parent, *wide, entry);
}

bool Util_IsPlainChild(HANDLE parent, const std::string& name, HANDLE child, ChildOpen::Kind kind)
{
   ListedEntry listed;
   FileIdentity identity;
   return Util_FindListedEntry(parent, name, listed) && IsPlain(child, listed, kind, identity);
}

namespace
{

std::wstring FinalPath(HANDLE handle)
{
   std::wstring path(MAX_PATH, L'\0');
   for (;;) {
      const DWORD length = GetFinalPathNameByHandleW(handle, &path[0], static_cast<DWORD>(path.size()), 0);
      if (length == 0) {
         return std::wstring();
      }
      if (length < path.size()) {
         path.resize(length);
         return path;
      }
      path.resize(length + 1);
   }
}

// Whether the file the handle reaches is `name` inside `folder` itself. Wine follows a link to a
// file on open and lists that link with neither the reparse bit nor an index of its own; only the
// name the handle ended at shows where it led. Where either name cannot be read there is
// nothing to compare.
bool EndsAtName(HANDLE folder, HANDLE file, const std::wstring& name)
{
   std::wstring expected = FinalPath(folder);
   const std::wstring reached = FinalPath(file);
   if (expected.empty() || reached.empty()) {
      return true;
   }
   if (expected.back() != L'\\') {
      expected += L'\\';
   }
   expected += name;
   return CompareStringOrdinal(expected.c_str(), static_cast<int>(expected.size()), reached.c_str(),
                               static_cast<int>(reached.size()), TRUE) == CSTR_EQUAL;
}

} // namespace

UniqueHandle Util_OpenPlainFile(HANDLE folder, const std::string& name, const ChildOpen& how, PlainFileRefusal& refusal)
{
   refusal = PlainFileRefusal::None;
   ChildOpen open = how;
   open.kind = ChildOpen::File;
   if (how.disposition == FILE_OPEN_IF) {
      open.disposition = FILE_OPEN;
   }
   UniqueHandle file = Util_OpenChild(folder, name, open);
   if (!file && how.disposition == FILE_OPEN_IF && GetLastError() == ERROR_FILE_NOT_FOUND) {
      open.disposition = FILE_CREATE;
      file = Util_OpenChild(folder, name, open);
      const DWORD error = GetLastError();
      if (!file && (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS)) {
         // Missing to an open, there to a create: a link whose target does not exist (or a name
         // made in between, which is no more ours than a link).
         refusal = PlainFileRefusal::Link;
         SetLastError(ERROR_CANT_ACCESS_FILE);
         return UniqueHandle();
      }
   }
   if (!file) {
      const DWORD error = GetLastError();
      const bool missing = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
      refusal = missing ? PlainFileRefusal::Missing : PlainFileRefusal::Failed;
      return UniqueHandle();
   }
   FileIdentity identity;
   if (!Util_IsPlainChild(folder, name, file.get(), ChildOpen::File) ||
       !EndsAtName(folder, file.get(), Win32U_ToWide(name).value_or(std::wstring()))) {
      refusal = PlainFileRefusal::Link;
      SetLastError(ERROR_CANT_ACCESS_FILE);
      return UniqueHandle();
   }
   if (!Util_GetIdentity(file.get(), identity)) {
      refusal = PlainFileRefusal::Failed;
      return UniqueHandle();
   }
   if (identity.links > 1) {
      refusal = PlainFileRefusal::HardLinked;
      SetLastError(ERROR_CANT_ACCESS_FILE);
      return UniqueHandle();
   }
   return file;
}

bool Util_BuildAdminsAndSystemAcl(std::vector<BYTE>& acl, const char* who)
{
   OwnedSid admins = W32Util_GetLocalAdminGroupSid();
   SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
   PSID systemSid = nullptr;
   if (!admins || !W32Util_SecurityCalls().allocateAndInitializeSid(&nt, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0,
                                                                    0, &systemSid)) {
      Inst_LogLastWinError(LOG_ERROR, GetLastError(), "%s: Cannot look up the group SIDs", who);
      return false;
   }
   OwnedSid system(systemSid);
   const DWORD aceBase = sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD);
   acl.assign(sizeof(ACL) + 2 * aceBase + GetLengthSid(admins.get()) + GetLengthSid(system.get()), 0);
   auto* header = reinterpret_cast<PACL>(acl.data());
   if (!InitializeAcl(header, static_cast<DWORD>(acl.size()), ACL_REVISION) ||
       !AddAccessAllowedAceEx(header, ACL_REVISION, kInheritToAll, kFullControl, admins.get()) ||
       !AddAccessAllowedAceEx(header, ACL_REVISION, kInheritToAll, kFullControl, system.get())) {
      Inst_LogLastWinError(LOG_ERROR, GetLastError(), "%s: Cannot build the descriptor", who);
      return false;
   }
   return true;
}

bool Util_BuildAdminOnlySecurity(AdminOnlySecurity& security)
{
   const char kWho[] = "Util_BuildAdminOnlySecurity";
   if (!Util_BuildAdminsAndSystemAcl(security.acl, kWho)) {
      return false;
   }
   OwnedSid admins = W32Util_GetLocalAdminGroupSid();
   if (!admins) {
      Inst_LogLastWinError(LOG_ERROR, GetLastError(), "%s: Cannot look up the group SIDs", kWho);
      return false;
   }
   const auto* adminBytes = static_cast<const BYTE*>(admins.get());
   security.owner.assign(adminBytes, adminBytes + GetLengthSid(admins.get()));
   if (!InitializeSecurityDescriptor(&security.descriptor, SECURITY_DESCRIPTOR_REVISION) ||
       !SetSecurityDescriptorOwner(&security.descriptor, security.owner.data(), FALSE) ||
       !SetSecurityDescriptorDacl(&security.descriptor, TRUE, reinterpret_cast<PACL>(security.acl.data()), FALSE) ||
       !SetSecurityDescriptorControl(&security.descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED)) {
      Inst_LogLastWinError(LOG_ERROR, GetLastError(), "%s: Cannot build the descriptor", kWho);
      return false;
   }
   return true;
}

UniqueHandle Util_OpenFolder(const std::string& path)
{
   return UniqueHandle(Win32U_CreateFile(path.c_str(), FILE_TRAVERSE | FILE_LIST_DIRECTORY | SYNCHRONIZE,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                         FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

UniqueHandle Util_OpenFolderNoFollow(const std::string& path, DWORD access, DWORD share, UniqueHandle* parentOut)
{
   std::string trimmed = path;
   while (trimmed.size() > 1 && (trimmed.back() == '\\' || trimmed.back() == '/')) {
      trimmed.pop_back();
   }
   const size_t slash = trimmed.find_last_of("\\/");
   if (slash == std::string::npos || slash + 1 >= trimmed.size()) {
      SetLastError(ERROR_INVALID_NAME);
      return UniqueHandle();
   }
   std::string parentPath = trimmed.substr(0, slash + 1);
   const std::string leaf = trimmed.substr(slash + 1);
   UniqueHandle parent = Util_OpenFolder(parentPath);
   if (!parent) {
      return UniqueHandle();
   }
   ChildOpen how;
   how.access = access | FILE_READ_ATTRIBUTES;
   how.share = share;
   how.kind = ChildOpen::Folder;
   UniqueHandle folder = Util_OpenChild(parent.get(), leaf, how);
   if (!folder) {
      return UniqueHandle();
   }
   if (!Util_IsPlainChild(parent.get(), leaf, folder.get(), ChildOpen::Folder)) {
      SetLastError(ERROR_CANT_ACCESS_FILE);
      return UniqueHandle();
   }
   if (parentOut != nullptr) {
      *parentOut = std::move(parent);
   }
   return folder;
}

bool Util_DeleteByHandle(HANDLE file)
{
   FILE_DISPOSITION_INFO disposition{TRUE};
   if (SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition)) {
      return true;
   }
   const DWORD error = GetLastError();
   FILE_BASIC_INFO basic{};
   if (error == ERROR_ACCESS_DENIED && GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic) &&
       (basic.FileAttributes & FILE_ATTRIBUTE_READONLY)) {
      basic.FileAttributes &= ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
      if (basic.FileAttributes == 0) {
         basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
      }
      if (SetFileInformationByHandle(file, FileBasicInfo, &basic, sizeof basic) &&
          SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition)) {
         return true;
      }
   }
   SetLastError(error);
   return false;
}

bool Util_RenameByHandle(HANDLE file, HANDLE folder, const std::string& newName)
{
   const auto wide = Win32U_ToWide(newName);
   if (!wide || !IsOneComponent(*wide)) {
      SetLastError(ERROR_INVALID_NAME);
      return false;
   }
   const size_t nameBytes = wide->size() * sizeof(wchar_t);
   std::vector<BYTE> buffer(sizeof(FILE_RENAME_INFO) + nameBytes, 0);
   auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
   info->ReplaceIfExists = FALSE;
   info->RootDirectory = folder;
   info->FileNameLength = static_cast<DWORD>(nameBytes);
   memcpy(info->FileName, wide->data(), nameBytes);
   // The system call itself: Wine's SetFileInformationByHandle makes a relative name a full path
   // of the working folder, which then clashes with the folder handle.
   if (Nt().setInformation == nullptr) {
      SetLastError(ERROR_PROC_NOT_FOUND);
      return false;
   }
   IO_STATUS_BLOCK io{};
   const NTSTATUS status =
       Nt().setInformation(file, &io, info, static_cast<ULONG>(buffer.size()), kFileRenameInformation);
   if (status < 0) {
      SetErrorFromStatus(status);
      return false;
   }
   return true;
}

bool Util_DeleteChild(HANDLE parent, const std::string& leaf, const std::string& shown, unsigned flags,
                      const FileIdentity* expected)
{
   const char* path = shown.c_str();
   ListedEntry listed;
   if (!Util_FindListedEntry(parent, leaf, listed)) {
      Inst_LogLastWinError(LOG_WARNING, GetLastError(),
                           "Util_DeleteDirectory: Cannot read the attributes of [%s]; not looking inside it", path);
      return false;
   }
   Util_RunDeletionHookForTest(shown);
   UniqueHandle folder = Util_OpenChild(parent, leaf, ForDeletion());
   FileIdentity identity;
   if (!folder || !Util_GetIdentity(folder.get(), identity)) {
      Inst_LogLastWinError(LOG_WARNING, GetLastError(),
                           "Util_DeleteDirectory: Cannot read the attributes of [%s]; not looking inside it", path);
      return false;
   }
   if ((listed.attributes | identity.attributes) & FILE_ATTRIBUTE_REPARSE_POINT) {
      Inst_Log(LOG_DETAIL, "Util_DeleteDirectory: Removing link [%s] without following it", path);
      if (!(identity.attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
         Inst_Log(LOG_WARNING, "Util_DeleteDirectory: The link [%s] cannot be removed without following it; left",
                  path);
         return false;
      }
      return Util_DeleteByHandle(folder.get());
   }
   if ((listed.index != 0 && listed.index != identity.index) ||
       (expected != nullptr && !Util_SameFile(*expected, identity))) {
      Inst_Log(LOG_WARNING, "Util_DeleteDirectory: [%s] was replaced while it was opened; left", path);
      return false;
   }
   if (!(identity.attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      SetLastError(ERROR_DIRECTORY);
      Inst_LogLastWinError(LOG_ERROR, GetLastError(), "Util_DeleteDirectory: Failed to remove directory");
      return false;
   }
   EmptyFolder(folder.get(), shown, flags, 0);
   if (Util_DeleteByHandle(folder.get())) {
      return true;
   }
   Inst_LogLastWinError(LOG_ERROR, GetLastError(), "Util_DeleteDirectory: Failed to remove directory");
   return false;
}

bool Util_EmptyFolder(HANDLE folder, const std::string& shown, unsigned flags)
{
   return EmptyFolder(folder, shown, flags, 0);
}

void Util_SetDeletionHookForTest(void (*hook)(const std::string& path))
{
   deletionHook = hook;
}

void Util_RunDeletionHookForTest(const std::string& path)
{
   if (deletionHook != nullptr) {
      deletionHook(path);
   }
}

bool Util_IsFolderEmpty(HANDLE folder, bool& empty)
{
   std::vector<Entry> entries;
   if (!ReadListing(folder, entries)) {
      return false;
   }
   empty = entries.empty();
   return true;
}

namespace
{

DWORD RealOwner(HANDLE object, PSID* owner, PSECURITY_DESCRIPTOR* descriptor)
{
   return GetSecurityInfo(object, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, owner, nullptr, nullptr, nullptr,
                          descriptor);
}

OwnerQuery ownerQuery = RealOwner;

} // namespace

bool Util_IsOwnedByAdminsOrSystem(HANDLE object)
{
   PSID owner = nullptr;
   PSECURITY_DESCRIPTOR raw = nullptr;
   if (ownerQuery(object, &owner, &raw) != ERROR_SUCCESS) {
      return false;
   }
   const bool admin = owner != nullptr && IsValidSid(owner) &&
                      (IsWellKnownSid(owner, WinBuiltinAdministratorsSid) || IsWellKnownSid(owner, WinLocalSystemSid));
   LocalFree(raw);
   return admin;
}

void Util_SetOwnerQueryForTest(OwnerQuery query)
{
   ownerQuery = query != nullptr ? query : RealOwner;
}

bool Util_CopyByHandle(HANDLE source, HANDLE target)
{
   LARGE_INTEGER start{};
   if (!SetFilePointerEx(source, start, nullptr, FILE_BEGIN)) {
      return false;
   }
   std::vector<char> buffer(64 * 1024);
   DWORD read = 0;
   while (ReadFile(source, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr) && read > 0) {
      DWORD written = 0;
      if (!WriteFile(target, buffer.data(), read, &written, nullptr) || written != read) {
         return false;
      }
   }
   return read == 0;
}

std::string Util_NameOfOwn(const std::string& name)
{
   const size_t dot = name.rfind('.');
   const std::string stem = dot == std::string::npos ? name : name.substr(0, dot);
   const std::string ending = dot == std::string::npos ? std::string() : name.substr(dot);
   return Str_Format("%s_%lu%s", stem.c_str(), static_cast<unsigned long>(GetCurrentProcessId()), ending.c_str());
}
