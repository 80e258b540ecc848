// A program of the same user racing an elevated launcher for its extraction folder: shared by
// the x64 and arm64 runs.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "lib/misc/win32u.h"
#include "tests/e2e/runSupport.h"
#include "tests/e2e/sampleProduct.h"
#include "tests/unit/testSupport.h"

inline uint64_t FileSize(const std::string& path)
{
   WIN32_FILE_ATTRIBUTE_DATA data;
   if (!GetFileAttributesExW(Win32U_Wide(path).c_str(), GetFileExInfoStandard, &data)) {
      return UINT64_MAX;
   }
   return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// A program of the same user, running unelevated beside an elevated launcher: it owns the
// temporary folder, so Windows lets it rename anything in it, even a folder only Administrators
// may open. The moment the payload's first file is complete it tries to put a folder of its own
// (a "runtime installer" and a "package" of its own) where the launcher unpacks: first by
// renaming the folder aside, then by renaming the finished file aside. 0 is a rename that worked.
class Swapper
{
 public:
   Swapper(const std::string& temp, const std::string& firstFile, uint64_t firstSize)
       : folder_(temp + "\\" + kExtractionFolder), first_(folder_ + "\\" + firstFile), firstSize_(firstSize),
         aside_(temp + "\\aside")
   {
      thread_ = CreateThread(nullptr, 0, Run, this, 0, nullptr);
   }
   ~Swapper()
   {
      stop_ = true;
      WaitForSingleObject(thread_, INFINITE);
      CloseHandle(thread_);
   }
   void Finish()
   {
      stop_ = true;
      WaitForSingleObject(thread_, INFINITE);
   }
   bool sawFirstFile = false;
   DWORD folderRename = ERROR_NOT_READY;
   DWORD fileRename = ERROR_NOT_READY;

 private:
   static DWORD WINAPI Run(void* self)
   {
      static_cast<Swapper*>(self)->Watch();
      return 0;
   }
   void Watch()
   {
      while (!stop_ && FileSize(first_) != firstSize_) {
         Sleep(0);
      }
      if (stop_) {
         return;
      }
      sawFirstFile = true;
      folderRename = MoveFileExW(Win32U_Wide(folder_).c_str(), Win32U_Wide(aside_).c_str(), 0) ? 0 : GetLastError();
      if (folderRename == 0) {
         CreateDirectoryW(Win32U_Wide(folder_).c_str(), nullptr);
         WriteTextFile(folder_ + "\\vcredist_arm64.exe", "planted");
         WriteTextFile(first_, "planted");
         return;
      }
      fileRename = MoveFileExW(Win32U_Wide(first_).c_str(), Win32U_Wide(aside_).c_str(), 0) ? 0 : GetLastError();
      if (fileRename == 0) {
         WriteTextFile(first_, "planted");
      }
   }

   std::string folder_;
   std::string first_;
   uint64_t firstSize_;
   std::string aside_;
   volatile bool stop_ = false;
   HANDLE thread_ = nullptr;
};

// Both renames were refused on a sharing violation, and the run installed its own package.
inline void ExpectTheSwapRefused(Swapper& swapper, const LauncherRun& run)
{
   swapper.Finish();
   ASSERT_TRUE(swapper.sawFirstFile) << run.log;
   EXPECT_EQ(swapper.folderRename, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
   EXPECT_EQ(swapper.fileRename, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
   EXPECT_EQ(run.exitCode, 0u) << run.log;
   EXPECT_TRUE(SampleInstalled());
}
