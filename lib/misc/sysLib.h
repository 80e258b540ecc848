// Run-time binding of system libraries that are not KnownDLLs. A static import of such a
// library would be resolved by the loader before any hardening runs, from the application's
// folder first: a DLL-planting hole. Each user keeps one small table of function pointers.
#pragma once

#include <windows.h>

// Loads `name` from the system folder only. Null on failure (last error set).
HMODULE SysLib_Load(const wchar_t* name);

template <typename Fn>
bool SysLib_Bind(HMODULE module, const char* name, Fn& out)
{
   out = module ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
   return out != nullptr;
}

// One entry of `library` (from the system folder), null when the library or the entry is
// missing. Callers keep the result in a static: the lookup is made once.
template <typename Fn>
Fn SysLib_Find(const wchar_t* library, const char* name)
{
   Fn fn = nullptr;
   SysLib_Bind(SysLib_Load(library), name, fn);
   return fn;
}
