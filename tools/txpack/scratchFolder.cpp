#include "tools/txpack/scratchFolder.h"

#include <windows.h>

#include "lib/install/log.h"
#include "lib/misc/handle.h"
#include "lib/misc/win32u.h"
#include "lib/string/str.h"
#include "tools/txpack/packFiles.h"

namespace
{

const char kLogName[] = "txpack-check.log";
const char kLogTitle[] = "txpack";
constexpr int kNameAttempts = 100;

void RemoveTree(const std::wstring& path)
{
   WIN32_FIND_DATAW data;
   const UniqueFindHandle find(FindFirstFileW((path + L"*").c_str(), &data));
   if (find) {
      do {
         const std::wstring name = data.cFileName;
         if (name == L"." || name == L"..") {
            continue;
         }
         if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
             !(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
            RemoveTree(path + name + L"\\");
         } else if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            RemoveDirectoryW((path + name).c_str());
         } else {
            DeleteFileW((path + name).c_str());
         }
      } while (FindNextFileW(find.get(), &data));
   }
   RemoveDirectoryW(path.c_str());
}

} // namespace

ScratchFolder::ScratchFolder()
{
   const std::string temp = Win32U_GetTempPath();
   DWORD error = ERROR_PATH_NOT_FOUND;
   for (int attempt = 0; attempt < kNameAttempts && path_.empty() && !temp.empty(); attempt++) {
      const std::string candidate =
          temp + Str_Format("txpack-%lu-%d\\", static_cast<unsigned long>(GetCurrentProcessId()), attempt);
      if (CreateDirectoryW(Pack_LongPath(candidate).c_str(), nullptr)) {
         path_ = candidate;
      } else {
         error = GetLastError();
      }
   }
   if (path_.empty()) {
      Pack_Report("cannot create a scratch folder in the temporary folder \"" + temp + "\": " + Pack_ErrorText(error));
      return;
   }
   // The log goes here by name, never wherever the temporary folder of the moment is.
   Inst_SetLogFolder(path_);
   Inst_SetupLogging(kLogTitle, kLogTitle, kLogName, (path_ + kLogName).c_str());
}

ScratchFolder::~ScratchFolder()
{
   if (path_.empty()) {
      return;
   }
   Inst_EndLogging();
   Inst_SetLogFolder(std::string());
   RemoveTree(Pack_LongPath(path_));
}

std::string ScratchFolder::Log() const
{
   InputFile log;
   std::string text;
   if (path_.empty() || !log.Open(path_ + kLogName, "the check's log", FILE_SHARE_READ | FILE_SHARE_WRITE) ||
       !log.Read(text, log.size)) {
      return std::string();
   }
   return text;
}
