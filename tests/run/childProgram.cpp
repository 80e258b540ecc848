// A child program for launch tests: exits with the code given as its first argument, after
// sleeping the milliseconds given as its second.
#include <windows.h>

#include <cstdlib>

int wmain(int argc, wchar_t** argv)
{
   if (argc > 2) {
      Sleep(static_cast<DWORD>(_wtoi(argv[2])));
   }
   return argc > 1 ? _wtoi(argv[1]) : 0;
}
