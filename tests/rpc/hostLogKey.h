// The key that switches the logger's host forwarding on, present for the life of the object:
// volatile and in the 64-bit view, as the launcher creates it when the host asks for its log;
// and where in a log the forwarding starts.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Forwarding starts with the launcher's own logging (tag "BootStrapper-build-"): the index of
// that first line in a log split into lines, or the log's size when there is none.
inline size_t FirstTaggedLine(const std::vector<std::string>& log)
{
   for (size_t i = 0; i < log.size(); i++) {
      if (log[i].find("| BootStrapper-build-") != std::string::npos) {
         return i;
      }
   }
   return log.size();
}

// The notes the archiving step writes into the log after logging has ended (a kept copy it did not
// make, and why) never reach the host: the lines a forwarding run sent end before them.
inline void DropArchiveNotes(std::vector<std::string>& log)
{
   while (!log.empty() && log.back().find(": Util_ArchiveLogFile: ") != std::string::npos) {
      log.pop_back();
   }
}

class CHostLogKey {
public:
   CHostLogKey()
   {
      HKEY key = nullptr;
      if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Tessix, Inc.", 0, nullptr, 0,
                          KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr, &key, nullptr) != ERROR_SUCCESS) {
         return;
      }
      RegCloseKey(key);
      created_ = RegCreateKeyExW(HKEY_LOCAL_MACHINE, kPath, 0, nullptr, REG_OPTION_VOLATILE,
                                 KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr, &key, nullptr) == ERROR_SUCCESS;
      if (created_) {
         RegCloseKey(key);
      }
   }
   ~CHostLogKey() { RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kPath, KEY_WOW64_64KEY, 0); }
   CHostLogKey(const CHostLogKey&) = delete;
   CHostLogKey& operator=(const CHostLogKey&) = delete;

   bool created() const { return created_; }

private:
   static constexpr wchar_t kPath[] = L"SOFTWARE\\Tessix, Inc.\\TxmLog";
   bool created_ = false;
};
