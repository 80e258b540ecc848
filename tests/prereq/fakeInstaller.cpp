// Stands in for a VC runtime installer or a Windows Installer engine upgrader in tests. A copy
// is placed under the name the launcher expects; next to it, "<name>.exitcode" holds the exit
// code it returns (0 when absent). It appends "<its file name>|<its command line>" to the file
// named by TX_STANDIN_LOG, so a test sees which packages ran, in which order, with which
// arguments. Tests give each copy the version resource they need.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int wmain()
{
   wchar_t self[MAX_PATH];
   const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
   const std::wstring path(self, length);

   int exitCode = 0;
   if (FILE* codeFile = _wfopen((path + L".exitcode").c_str(), L"r")) {
      if (std::fscanf(codeFile, "%d", &exitCode) != 1) {
         exitCode = 0;
      }
      std::fclose(codeFile);
   }

   wchar_t logPath[MAX_PATH];
   if (GetEnvironmentVariableW(L"TX_STANDIN_LOG", logPath, MAX_PATH) > 0) {
      if (FILE* log = _wfopen(logPath, L"ab")) {
         const std::wstring name = path.substr(path.find_last_of(L'\\') + 1);
         const std::wstring line = name + L"|" + GetCommandLineW() + L"\n";
         char utf8[4096];
         const int bytes = WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), utf8,
                                               sizeof utf8, nullptr, nullptr);
         std::fwrite(utf8, 1, static_cast<size_t>(bytes), log);
         std::fclose(log);
      }
   }
   return exitCode;
}
