// The sample product that the packed test launchers install: its product code, the folder a
// run extracts it to, and its removal between tests.
#pragma once

#include <windows.h>

#include <msi.h>

inline const wchar_t kSampleProduct[] = L"{8C3E6F2A-4B1D-4E7A-9F05-3D2C1B0A9E81}";
inline const char kExtractionFolder[] = "{8C3E6F2A-4B1D-4E7A-9F05-3D2C1B0A9E81}~setup";

inline bool SampleInstalled()
{
   return MsiQueryProductStateW(kSampleProduct) == INSTALLSTATE_DEFAULT;
}

inline void RemoveSample()
{
   MsiSetInternalUI(INSTALLUILEVEL_NONE, nullptr);
   if (SampleInstalled()) {
      MsiConfigureProductExW(kSampleProduct, INSTALLLEVEL_DEFAULT, INSTALLSTATE_ABSENT, L"");
   }
}
