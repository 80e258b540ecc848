#include "lib/misc/sysLib.h"

HMODULE SysLib_Load(const wchar_t* name)
{
   return LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
}
