// A DLL that must never be loaded: copied under the names of system libraries into the
// launcher's folder and its working folder, it leaves "<its own file name>.loaded" beside
// itself when a process loads it. It also answers GetTempPath2W with a folder of its own, so
// a test can hand the launcher's temporary-folder choice a module that has that call.
#include <windows.h>

#include <cwchar>

extern "C" BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID)
{
   if (reason == DLL_PROCESS_ATTACH) {
      wchar_t path[MAX_PATH + 8];
      const DWORD n = GetModuleFileNameW(self, path, MAX_PATH);
      if (n > 0 && n < MAX_PATH) {
         wcscat(path, L".loaded");
         HANDLE marker = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
         if (marker != INVALID_HANDLE_VALUE) {
            CloseHandle(marker);
         }
      }
   }
   return TRUE;
}

extern "C" __declspec(dllexport) DWORD WINAPI GetTempPath2W(DWORD size, LPWSTR buffer)
{
   static const wchar_t kFolder[] = L"C:\\CanarySystemTemp\\";
   const DWORD length = static_cast<DWORD>(wcslen(kFolder));
   if (size <= length) {
      return length + 1;
   }
   wcscpy(buffer, kFolder);
   return length;
}
