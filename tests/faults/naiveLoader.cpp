// The control of the planting test: a program without the launcher's hardening that loads
// each library named on its command line by bare name, as a careless program would. Planted
// copies that it picks up show which names the loader would take from the program's folder.
#include <windows.h>

int wmain(int argc, wchar_t** argv)
{
   for (int i = 1; i < argc; i++) {
      LoadLibraryW(argv[i]);
   }
   return 0;
}
