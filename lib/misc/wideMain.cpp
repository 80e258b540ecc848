// Entry of console programs for toolchains that ignore -municode (zig's clang for arm64): the C
// runtime calls main, which hands wmain the wide arguments as the wide start-up code would.
#if defined(TX_NARROW_ENTRY)
#include <windows.h>
// after windows.h
#include <shellapi.h>

int wmain(int argc, wchar_t** argv);

int main()
{
   int argc = 0;
   wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
   if (argv == nullptr) {
      return 2;
   }
   const int result = wmain(argc, argv);
   LocalFree(argv);
   return result;
}
#endif
