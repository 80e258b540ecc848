#include "lib/install/rebootUtil.h"

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "lib/install/fileHandle.h"
#include "lib/install/log.h"
#include "lib/install/regUtil.h"
#include "lib/misc/win32u.h"
#include "lib/string/str.h"

namespace
{
constexpr size_t kTempPathChars = 260;
constexpr unsigned kMarkerDeleteRetries = 5;
constexpr DWORD kMarkerRetryPauseMs = 1000;
constexpr unsigned kMarkerNames = 16;
constexpr size_t kMarkerNameChars = 64;
constexpr size_t kMarkerTextBytes = kMarkerNames * (kMarkerNameChars + 2); // names, each with a line end
} // namespace

bool Util_SetReboot(const char* component)
{
   if (component == nullptr) {
      Inst_Log(LOG_ERROR, "Util_SetReboot: Null parameter detected.");
      return false;
   }
   if (*component == '\0') {
      Inst_Log(LOG_ERROR, "Util_SetReboot: Empty string detected");
      return false;
   }
   Inst_Log(LOG_WARNING, "Util_SetReboot: Reboot needed by [%s]", component);
   if (!Util_DoesKeyExist(HKEY_LOCAL_MACHINE, kRebootParentKey, false) &&
       !Util_CreateKey(HKEY_LOCAL_MACHINE, kRebootParentKey, REG_OPTION_NON_VOLATILE, false)) {
      return false;
   }
   std::string list;
   Util_GetKeyValueString(HKEY_LOCAL_MACHINE, kRebootListKey, kRebootListValue, list, false, false);
   if (!list.empty()) {
      list += ";";
   }
   list += component;
   Inst_Log(LOG_INFO, "Util_SetReboot:   List of components [%s]", list.c_str());
   if (!Util_SetKeyValue(HKEY_LOCAL_MACHINE, kRebootListKey, kRebootListValue, REG_SZ, list.c_str(),
                         static_cast<DWORD>(list.size() + 1), REG_OPTION_VOLATILE, false)) {
      return false;
   }
   Inst_Log(LOG_INFO, "Util_SetReboot: Reboot requested by %s", component);
   return true;
}

namespace
{

bool IsNameCharacter(char c)
{
   return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-' ||
          c == '.';
}

bool IsSeparator(char c)
{
   return c == ';' || c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Any unelevated program of the user can write a marker, and its text lands in a value under
// HKLM that the launcher reads back: only a short list of plain names is taken. Empty when
// there is none or the text holds anything else.
std::optional<std::string> MarkerComponents(const std::string& text)
{
   std::string list;
   unsigned names = 0;
   for (size_t i = 0; i < text.size();) {
      if (IsSeparator(text[i])) {
         i++;
         continue;
      }
      size_t end = i;
      while (end < text.size() && IsNameCharacter(text[end])) {
         end++;
      }
      if (end == i || (end < text.size() && !IsSeparator(text[end])) || end - i > kMarkerNameChars ||
          ++names > kMarkerNames) {
         return std::nullopt;
      }
      list += (list.empty() ? "" : ";") + text.substr(i, end - i);
      i = end;
   }
   return list;
}

// Opens the marker for reading and deletion, waiting a little for a program that holds it
// without sharing deletion; after that, for reading only.
UniqueHandle OpenMarker(HANDLE folder, const char* fileName, PlainFileRefusal& refusal, bool& deletable)
{
   ChildOpen how;
   how.access = GENERIC_READ | DELETE;
   for (unsigned attempt = 0;; attempt++) {
      UniqueHandle marker = Util_OpenPlainFile(folder, fileName, how, refusal);
      deletable = true;
      if (marker || GetLastError() != ERROR_SHARING_VIOLATION) {
         return marker;
      }
      if (attempt >= kMarkerDeleteRetries) {
         break;
      }
      Sleep(kMarkerRetryPauseMs);
   }
   deletable = false;
   how.access = GENERIC_READ;
   return Util_OpenPlainFile(folder, fileName, how, refusal);
}

std::string ReadMarker(HANDLE marker, bool& tooLong)
{
   std::string text(kMarkerTextBytes + 1, '\0');
   DWORD read = 0;
   DWORD total = 0;
   while (total < text.size() &&
          ReadFile(marker, &text[total], static_cast<DWORD>(text.size() - total), &read, nullptr) && read > 0) {
      total += read;
   }
   tooLong = total > kMarkerTextBytes;
   text.resize(total);
   return text;
}

// `shared`: the Windows temporary folder seen from a run that has a folder of its own (SYSTEM),
// where every user can make files.
void ConvertMarkerIn(const std::string& folder, const char* fileName, bool shared)
{
   const std::string path = Str_Format("%s%s%s", folder.c_str(), folder.back() == '\\' ? "" : "\\", fileName);
   UniqueHandle temp = Util_OpenFolder(folder);
   PlainFileRefusal refusal = PlainFileRefusal::Missing;
   bool deletable = false;
   UniqueHandle marker = temp ? OpenMarker(temp.get(), fileName, refusal, deletable) : UniqueHandle();
   if (refusal == PlainFileRefusal::Missing) {
      Inst_Log(LOG_INFO, "Util_ConvertRebootFileToRebootComponent: The reboot file does not exist");
      return;
   }
   if (refusal == PlainFileRefusal::Link || refusal == PlainFileRefusal::HardLinked) {
      // A marker is a file of its own: a link, or a second name of another file, is someone's
      // way to have that file read, or deleted as SYSTEM at the restart.
      Inst_Log(LOG_WARNING, "Util_ConvertRebootFileToRebootComponent: %s is a link or has other names; not used",
               path.c_str());
      return;
   }
   if (!marker) {
      Inst_LogLastWinError(LOG_WARNING, GetLastError(), "Util_ConvertRebootFileToRebootComponent: Cannot open %s",
                           path.c_str());
      return;
   }
   if (shared && !Util_IsOwnedByAdminsOrSystem(marker.get())) {
      // There only what SYSTEM or an administrator wrote (the package's custom actions) asks for
      // the restart; a user's file is left as it is.
      Inst_Log(LOG_WARNING,
               "Util_ConvertRebootFileToRebootComponent: %s is not owned by Administrators or SYSTEM; not used",
               path.c_str());
      return;
   }
   Util_SetReboot(fileName);
   bool tooLong = false;
   const std::string text = ReadMarker(marker.get(), tooLong);
   // Never scheduled for deletion at the restart: by then the name may be a link to a file that
   // SYSTEM would delete.
   if (!deletable || !Util_DeleteByHandle(marker.get())) {
      Inst_LogLastWinError(LOG_WARNING, deletable ? GetLastError() : ERROR_SHARING_VIOLATION,
                           "Util_ConvertRebootFileToRebootComponent: Cannot delete %s; left in place", path.c_str());
   }
   marker.reset();
   const std::optional<std::string> components = tooLong ? std::nullopt : MarkerComponents(text);
   if (!components) {
      Inst_Log(LOG_WARNING,
               "Util_ConvertRebootFileToRebootComponent: The text of %s is not a list of component names; ignored",
               path.c_str());
   } else if (!components->empty()) {
      Util_SetReboot(components->c_str());
   }
}

bool SameFolder(std::string a, std::string b)
{
   for (std::string* path : {&a, &b}) {
      while (!path->empty() && path->back() == '\\') {
         path->pop_back();
      }
   }
   const std::wstring wideA = Win32U_Wide(a);
   const std::wstring wideB = Win32U_Wide(b);
   return CompareStringOrdinal(wideA.c_str(), static_cast<int>(wideA.size()), wideB.c_str(),
                               static_cast<int>(wideB.size()), TRUE) == CSTR_EQUAL;
}

} // namespace

std::vector<std::string> Util_RebootMarkerFolders()
{
   std::string folder = Win32U_GetTempPath();
   if (folder.empty() || folder.size() > kTempPathChars) {
      Inst_Log(LOG_WARNING, "Util_ConvertRebootFileToRebootComponent: Failed to get temp path");
      folder = "C:\\";
   }
   std::vector<std::string> folders = {folder};
   const std::string older = Win32U_GetOlderTempPath();
   if (!older.empty() && older.size() <= kTempPathChars && !SameFolder(folder, older)) {
      folders.push_back(older);
   }
   return folders;
}

bool Util_RebootMarkerPresent(const char* fileName)
{
   const std::vector<std::string> folders = Util_RebootMarkerFolders();
   for (size_t i = 0; i < folders.size(); i++) {
      UniqueHandle folder = Util_OpenFolder(folders[i]);
      ChildOpen how;
      how.access = FILE_READ_ATTRIBUTES | READ_CONTROL;
      PlainFileRefusal refusal = PlainFileRefusal::Failed;
      UniqueHandle marker = folder ? Util_OpenPlainFile(folder.get(), fileName, how, refusal) : UniqueHandle();
      if (marker && (i == 0 || Util_IsOwnedByAdminsOrSystem(marker.get()))) {
         return true;
      }
   }
   return false;
}

void Util_ConvertRebootFileToRebootComponent(const char* fileName)
{
   const std::vector<std::string> folders = Util_RebootMarkerFolders();
   for (size_t i = 0; i < folders.size(); i++) {
      ConvertMarkerIn(folders[i], fileName, i > 0);
   }
}

bool Util_GetRebootComponents(std::string& list)
{
   list.clear();
   Util_ConvertRebootFileToRebootComponent(kRebootMarkerFile);
   Util_ConvertRebootFileToRebootComponent(kRebootMarkerFileAlt);
   return Util_GetKeyValueString(HKEY_LOCAL_MACHINE, kRebootListKey, kRebootListValue, list, false, false) &&
          !list.empty();
}

bool Util_NeedReboot()
{
   std::string scratch;
   const bool needed = Util_GetRebootComponents(scratch);
   Inst_Log(LOG_INFO, "Util_NeedReboot: Reboot %s", needed ? "required!" : "not needed.");
   return needed;
}
