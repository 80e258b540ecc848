// The sample product that the packed test launchers install: its product code, the folder a
// run extracts it to, what the host hears of a silent install, and its removal between tests.
#pragma once

#include <windows.h>

#include <msi.h>

#include <string>
#include <vector>

inline const wchar_t kSampleProduct[] = L"{8C3E6F2A-4B1D-4E7A-9F05-3D2C1B0A9E81}";
inline const char kExtractionFolder[] = "{8C3E6F2A-4B1D-4E7A-9F05-3D2C1B0A9E81}~setup";

// The status lines a successful silent install of the sample sends the host, in order; the
// command line as the launcher received it (without the program name).
inline std::vector<std::string> SampleInstallHostLines(const std::string& commandLine)
{
   return {
       "log Command line: " + commandLine,
       "log Installing Tessix Tools 13.0.1.0 (build-" + std::to_string(TX_BUILD_NUMBER) + ")",
       "info-set guestinfo.toolsInstallErrCode Invalid",
       "toolinstall.installerActive 1",
       "info-set guestinfo.toolsInstallErrCode 0",
       "toolinstall.installerActive 0",
   };
}

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
