#include "lib/install/driverStore.h"

#include <windows.h>

#include <string>

#include "lib/install/fileUtil.h"
#include "lib/install/log.h"
#include "lib/misc/handle.h"
#include "lib/misc/win32u.h"

namespace
{

constexpr size_t kMaxPathChars = 260;
const char kOperation[] = "RemoveDriverPackageInDrvStore";

// The name becomes part of a search pattern: a wildcard or a folder separator in it would
// reach folders that are not this driver's packages.
bool IsPlainName(const std::string& name)
{
   return !name.empty() && name.find_first_of("\\/:*?") == std::string::npos;
}

} // namespace

bool RemoveDriverPackageInDrvStore(const char* driverName, bool& reboot)
{
   const std::string name = driverName != nullptr ? driverName : "";
   Inst_LogMsg("Enter %s for %s", kOperation, name.c_str());
   if (!IsPlainName(name)) {
      Inst_LogMsg("%s: invalid driver name [%s], cancel.", kOperation, name.c_str());
      return false;
   }
   const std::string system = Win32U_GetSystemDirectory();
   if (system.empty() || system.size() >= kMaxPathChars) {
      Inst_LogMsg("%s: GetSystemDirectory failed %d", kOperation, static_cast<int>(GetLastError()));
      return false;
   }
   const std::string store = system + "\\DRVSTORE\\";
   const std::string pattern = store + name + "_*";
   // A pattern cut to fit would match other names, so a long one is refused instead.
   if (pattern.size() >= kMaxPathChars) {
      Inst_LogMsg("%s: retrieve drvstore path failed, cancel.", kOperation);
      return false;
   }
   Win32U_FindData entry;
   UniqueFindHandle find(Win32U_FindFirstFileEx(pattern.c_str(), &entry));
   if (!find) {
      const DWORD error = GetLastError();
      // No driver-store folder at all leaves no package behind either.
      if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
         Inst_LogMsg("%s: There has no remained driver package in drvstore.", kOperation);
         return true;
      }
      Inst_LogMsg("%s: unable to find drvstore directory [%s]", kOperation, pattern.c_str());
      return false;
   }
   bool ok = true;
   int removed = 0;
   do {
      if ((entry.attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
         continue;
      }
      if (!entry.nameConverted) {
         Inst_LogMsg("%s: delete driver package in [%s] failed.", kOperation, store.c_str());
         ok = false;
         break;
      }
      if (store.size() + entry.fileName.size() >= kMaxPathChars) {
         Inst_LogMsg("%s: search pattern too long [%s] [%s]", kOperation, store.c_str(), entry.fileName.c_str());
         ok = false;
         break;
      }
      const std::string package = store + entry.fileName;
      Inst_LogMsg("%s: try to delete directory %s.", kOperation, package.c_str());
      if (!Util_DeleteDirectory(package.c_str(), DeleteDirRecurse | DeleteDirFiles)) {
         Inst_LogMsg("%s: delete driver package in [%s] failed.", kOperation, package.c_str());
         ok = false;
         break;
      }
      removed++;
   } while (Win32U_FindNextFile(find.get(), &entry));
   find.reset();
   reboot = false;
   Inst_LogMsg("%s: removed %d driver package for %s", kOperation, removed, name.c_str());
   return ok;
}
