// The summary information of a structured-storage file (a Windows Installer package or patch):
// title, subject, author, creating application and the rest, read as text.
#pragma once

#include <windows.h>

#include <objbase.h>
#include <propidl.h>

#include <array>
#include <string>

class FileSummary
{
 public:
   // Reads the properties PIDSI_TITLE (2) to PIDSI_DOC_SECURITY (19). Returns S_OK, or the code
   // of the step that failed.
   HRESULT Read(const char* path);
   // The text of property `id` (2 to 19), at most 1024 characters; empty when absent.
   const std::string& Get(PROPID id) const;

 private:
   static constexpr PROPID kFirst = 2;
   static constexpr PROPID kLast = 19;
   std::array<std::string, kLast - kFirst + 1> texts_;
};
