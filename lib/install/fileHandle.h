// Files and folders used through handles, for places that a standard user, or an unelevated
// program of the same user, can change: opened without following links, relative to a folder
// already held open, checked to be the very entry that folder lists under that name, and
// deleted through the handle that was checked. A path found earlier is never acted on again.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "lib/misc/handle.h"

// What a handle refers to: its volume and file index, and its attributes as the file system
// keeps them (a link opened as itself shows FILE_ATTRIBUTE_REPARSE_POINT).
struct FileIdentity {
   uint32_t volume = 0;
   uint64_t index = 0;
   uint32_t attributes = 0;
   uint32_t links = 0; // names the file has (hard links)
   uint64_t size = 0;
};
bool Util_GetIdentity(HANDLE file, FileIdentity& identity);
bool Util_SameFile(const FileIdentity& a, const FileIdentity& b);

// How to open one name inside a held folder.
struct ChildOpen {
   DWORD access = 0;
   DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
   DWORD disposition = FILE_OPEN; // FILE_OPEN, FILE_CREATE (never an existing name) or FILE_OPEN_IF
   enum Kind { Any, Folder, File } kind = Any;
   PSECURITY_DESCRIPTOR security = nullptr; // for a new file or folder
};

// Opens `name` (one component: no separator) inside the folder `parent` without following a
// link at that name. Null with the Win32 error set on failure; `created` tells whether this
// call made it.
UniqueHandle Util_OpenChild(HANDLE parent, const std::string& name, const ChildOpen& how, bool* created = nullptr);

// The listing entry of `parent` under `name`, as the folder holds it now.
struct ListedEntry {
   uint32_t attributes = 0;
   uint64_t index = 0; // 0 where the file system gives listings no file index
};
bool Util_FindListedEntry(HANDLE parent, const std::string& name, ListedEntry& entry);

// True when `child`, opened from `parent` as `name`, is no link, has the wanted kind, and is
// the entry that `parent` lists under `name` now. Both views are taken: the handle's own
// attributes (Windows opens a link itself and shows it as one) and the listing (a system that
// follows the link on open shows the target's file index, or a link in the listing).
bool Util_IsPlainChild(HANDLE parent, const std::string& name, HANDLE child, ChildOpen::Kind kind);

// True when Administrators or SYSTEM own the file or folder: only an administrator (or a program
// running as SYSTEM) can have made it, where anybody could have made something of that name.
bool Util_IsOwnedByAdminsOrSystem(HANDLE object);

// Tests: stands in for GetSecurityInfo's owner query (Wine keeps no owners: every file reports
// the user who runs it). Null restores the real one.
using OwnerQuery = DWORD (*)(HANDLE object, PSID* owner, PSECURITY_DESCRIPTOR* descriptor);
void Util_SetOwnerQueryForTest(OwnerQuery query);

// Why Util_OpenPlainFile gave no handle.
enum class PlainFileRefusal { None, Missing, Link, HardLinked, Failed };

// Opens the file `name` of `folder` as Util_OpenChild does and keeps it only when it is plain
// (Util_IsPlainChild) and has no other name: a hard link made by someone who cannot read the
// file would hand its text to whoever reads ours. FILE_OPEN_IF opens an existing name first and
// creates only a missing one, so a dangling link is never followed to create its target. Null
// with the Win32 error set, and `refusal` saying why.
UniqueHandle Util_OpenPlainFile(HANDLE folder, const std::string& name, const ChildOpen& how,
                                PlainFileRefusal& refusal);

// A descriptor for folders made where others could have been first: owned by Administrators,
// full control to Administrators and SYSTEM only, inherited by what is made inside, protected
// from what the parent would pass on. Kept in memory so that it can be checked there (Wine
// keeps no descriptor it is given).
struct AdminOnlySecurity {
   AdminOnlySecurity() = default;
   AdminOnlySecurity(const AdminOnlySecurity&) = delete;
   AdminOnlySecurity& operator=(const AdminOnlySecurity&) = delete;

   std::vector<BYTE> owner;
   std::vector<BYTE> acl;
   SECURITY_DESCRIPTOR descriptor{};
};
bool Util_BuildAdminOnlySecurity(AdminOnlySecurity& security);

// The access list both descriptors above share: full control to Administrators and to SYSTEM,
// inherited by files and folders, nobody else anything. `who` names the caller in the log line.
bool Util_BuildAdminsAndSystemAcl(std::vector<BYTE>& acl, const char* who);

// The folder `path` names, as named (a link on the way is followed), held for opening names inside
// it: the temporary folder, ProgramData, a drive's root, the parent of a folder to delete.
UniqueHandle Util_OpenFolder(const std::string& path);

// The text of `source`, from its start, written to `target` at its position. False when a read
// or a write failed.
bool Util_CopyByHandle(HANDLE source, HANDLE target);

// `name` made the run's own: the process id before its ending ("txinst.log" is "txinst_<pid>.log"),
// for when the usual name is a link or is taken.
std::string Util_NameOfOwn(const std::string& name);

// Opens the folder `path` names: its parent as named, the last component relative to it without
// following a link, checked plain. `parentOut`, when given, receives the parent's handle.
UniqueHandle Util_OpenFolderNoFollow(const std::string& path, DWORD access, DWORD share,
                                     UniqueHandle* parentOut = nullptr);

// Deletes what `file` refers to (a file, an empty folder, or a link opened as itself); the
// handle needs DELETE and, for a read-only file, FILE_WRITE_ATTRIBUTES.
bool Util_DeleteByHandle(HANDLE file);

// Renames the file `file` refers to into `newName` inside the folder `folder` (never over an
// existing name). The handle needs DELETE.
bool Util_RenameByHandle(HANDLE file, HANDLE folder, const std::string& newName);

// Empties the folder held by `folder` (opened with FILE_LIST_DIRECTORY). Each entry is opened
// relative to it and checked; a link is removed as a link, or left where that cannot be done
// without following it; a folder is entered only through the handle just opened and checked.
// `flags` are Util_DeleteDirectory's; `shown` names the folder in log lines. True when nothing
// was left that the flags ask to delete.
bool Util_EmptyFolder(HANDLE folder, const std::string& shown, unsigned flags);

// Deletes the folder `leaf` of `parent` as Util_DeleteDirectory does (`shown` names it in log
// lines): opened as itself and checked, emptied through its handle, removed through it. A link
// there is removed as a link, never followed.
// With `expected`, only that very folder is deleted.
bool Util_DeleteChild(HANDLE parent, const std::string& leaf, const std::string& shown, unsigned flags,
                      const FileIdentity* expected = nullptr);

// Whether the folder held by `folder` has no entries; false when it cannot be listed.
bool Util_IsFolderEmpty(HANDLE folder, bool& empty);

// Tests: called with each path just before deletion opens it (a swap planted there shows what a
// program racing the deletion can do). Null removes it.
void Util_SetDeletionHookForTest(void (*hook)(const std::string& path));
void Util_RunDeletionHookForTest(const std::string& path);
