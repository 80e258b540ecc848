#include "lib/install/rebootUtil.h"

#include <windows.h>

#include "lib/install/fileUtil.h"
#include "lib/install/log.h"
#include "lib/install/regUtil.h"
#include "lib/misc/win32u.h"
#include "lib/string/str.h"

namespace
{
constexpr size_t kTempPathChars = 260;
constexpr unsigned kMarkerDeleteRetries = 5;
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

void Util_ConvertRebootFileToRebootComponent(const char* fileName)
{
   std::string folder = Win32U_GetTempPath();
   if (folder.empty() || folder.size() > kTempPathChars) {
      Inst_Log(LOG_WARNING, "Util_ConvertRebootFileToRebootComponent: Failed to get temp path");
      folder = "C:";
   }
   // The folder already ends with a back-slash; Windows accepts the doubled separator.
   const std::string path = Str_Format("%s\\%s", folder.c_str(), fileName);
   if (!Util_FileExists(path)) {
      Inst_Log(LOG_INFO, "Util_ConvertRebootFileToRebootComponent: The reboot file does not exist");
      return;
   }
   Util_SetReboot(fileName);
   const std::string text = Util_GetFileContents(path);
   Util_DeleteFile(path, kMarkerDeleteRetries, true);
   if (!text.empty()) {
      Util_SetReboot(text.c_str());
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
