// Helpers for the Windows-side tests: scratch folders, a private temporary folder, files.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// The test program's n-th command-line argument (after gtest's own were removed).
std::string TestArg(size_t index);

// A Unix path as Wine's Z: drive shows it.
std::string WinePath(const std::string& unixPath);

// A symbolic link made or removed by the Linux kernel itself, standing in for a junction (which
// any user may make on Windows). Wine gives Windows programs no call that makes a link, and its
// rename and delete calls act on a link's target, so a test that plants one asks the kernel
// directly. Unix paths; x86-64 only (false elsewhere).
bool PlantUnixLink(const std::string& target, const std::string& link);
bool RemoveUnixLink(const std::string& link);
// The Unix path of a Windows path, as Wine maps it (the last component need not exist); empty
// when Wine gives none.
std::string UnixPath(const std::string& windowsPath);

// A fresh, empty folder (ending without a back-slash) removed with its contents at the end.
class ScratchDir
{
 public:
   explicit ScratchDir(const char* tag = "t");
   ~ScratchDir();
   const std::string& path() const { return path_; }
   std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

 private:
   std::string path_;
};

// Points TMP and TEMP at a folder for the life of the object.
class TempFolderOverride
{
 public:
   explicit TempFolderOverride(const std::string& folder);
   ~TempFolderOverride();

 private:
   std::wstring oldTmp_;
   std::wstring oldTemp_;
};

bool WriteTextFile(const std::string& path, const std::string& text);
std::string ReadTextFile(const std::string& path); // binary read; empty when missing
bool PathExists(const std::string& path);
std::vector<std::string> ListFolder(const std::string& folder); // names, without "." and ".."
void RemoveTree(const std::string& path);
std::vector<std::string> SplitLines(const std::string& text);
// A test failure for each text of `lines` that `log` does not hold after the previous one.
void ExpectLinesInOrder(const std::string& log, const std::vector<std::string>& lines);

// Stands in for GetSecurityInfo's owner query (hand it to Util_SetOwnerQueryForTest): every file
// reads as owned by the owner of `ReportedOwner` (SDDL: "O:BA", "O:SY", "O:S-1-5-21-..."), as
// Windows would report it; Wine keeps no owners.
extern const wchar_t* ReportedOwner;
DWORD OwnerAsWindowsReports(HANDLE object, PSID* owner, PSECURITY_DESCRIPTOR* descriptor);
