// Stands in for a VC runtime installer or a Windows Installer engine upgrader in tests. A copy
// is placed under the name the launcher expects; next to it, "<name>.exitcode" holds the exit
// code it returns. A copy extracted by a packed launcher has no such file: then the variable
// TX_STANDIN_EXITCODES ("<name>=<code>;...") gives it, and 0 when it names nothing for it.
// It appends "<its file name>|<its command line>" to the file named by TX_STANDIN_LOG, so a
// test sees which packages ran, in which order, with which arguments. Tests give each copy the version resource they
// need. A copy whose name TX_STANDIN_HANG lists ("<name>;...") never ends: it waits to be killed.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int wmain()
{
   wchar_t self[MAX_PATH];
   const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
   const std::wstring path(self, length);

   const std::wstring name = path.substr(path.find_last_of(L'\\') + 1);
   int exitCode = 0;
   wchar_t codes[1024];
   const DWORD codesLength = GetEnvironmentVariableW(L"TX_STANDIN_EXITCODES", codes, 1024);
   if (codesLength > 0 && codesLength < 1024) {
      const std::wstring list = L";" + std::wstring(codes, codesLength);
      const size_t at = list.find(L";" + name + L"=");
      if (at != std::wstring::npos) {
         exitCode = _wtoi(list.c_str() + at + name.size() + 2);
      }
   }
   if (FILE* codeFile = _wfopen((path + L".exitcode").c_str(), L"r")) {
      if (std::fscanf(codeFile, "%d", &exitCode) != 1) {
         exitCode = 0;
      }
      std::fclose(codeFile);
   }

   wchar_t logPath[MAX_PATH];
   if (GetEnvironmentVariableW(L"TX_STANDIN_LOG", logPath, MAX_PATH) > 0) {
      if (FILE* log = _wfopen(logPath, L"ab")) {
         const std::wstring line = name + L"|" + GetCommandLineW() + L"\n";
         char utf8[4096];
         const int bytes = WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), utf8,
                                               sizeof utf8, nullptr, nullptr);
         std::fwrite(utf8, 1, static_cast<size_t>(bytes), log);
         std::fclose(log);
      }
   }
   wchar_t hang[1024];
   const DWORD hangLength = GetEnvironmentVariableW(L"TX_STANDIN_HANG", hang, 1024);
   if (hangLength > 0 && hangLength < 1024 &&
       (L";" + std::wstring(hang, hangLength) + L";").find(L";" + name + L";") != std::wstring::npos) {
      Sleep(INFINITE);
   }
   return exitCode;
}
