// Entry for toolchains that ignore -municode (zig's clang for arm64): the C runtime calls the
// narrow WinMain, which hands wWinMain the wide command line without the program name, exactly
// as the wide start-up code would.
#if defined(TX_NARROW_ENTRY)
#include <windows.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, LPWSTR commandLine, int show);

namespace {
// The start-up code's rule: a quoted program name ends at the closing quote, an unquoted one at
// the first blank or tab; the blanks and tabs after it are skipped.
wchar_t* SkipProgramName(wchar_t* line)
{
   if (*line == L'"') {
      line++;
      while (*line != L'\0' && *line != L'"') {
         line++;
      }
      if (*line == L'"') {
         line++;
      }
   } else {
      while (*line > L' ') {
         line++;
      }
   }
   while (*line != L'\0' && *line <= L' ') {
      line++;
   }
   return line;
}
} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR /*narrow*/, int /*show*/)
{
   STARTUPINFOW si{};
   si.cb = sizeof si;
   GetStartupInfoW(&si);
   const int show = (si.dwFlags & STARTF_USESHOWWINDOW) ? si.wShowWindow : SW_SHOWDEFAULT;
   return wWinMain(instance, previous, SkipProgramName(GetCommandLineW()), show);
}
#endif
