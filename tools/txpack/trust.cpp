#include "tools/txpack/trust.h"

#include "lib/misc/win32u.h"
#include "lib/string/str.h"

namespace
{

struct StatusText {
   LONG status;
   const char* text;
};

constexpr StatusText kStatusTexts[] = {
    {static_cast<LONG>(TRUST_E_NOSIGNATURE), "it carries no signature"},
    {static_cast<LONG>(TRUST_E_BAD_DIGEST), "it was changed after it was signed: its digest is not the signed one"},
    {static_cast<LONG>(CERT_E_UNTRUSTEDROOT), "its certificate chains to a root this machine does not trust"},
    {static_cast<LONG>(CERT_E_CHAINING), "its certificate does not chain to a trusted root"},
    {static_cast<LONG>(CERT_E_EXPIRED), "its certificate has expired and the signature carries no time stamp"},
    {static_cast<LONG>(TRUST_E_EXPLICIT_DISTRUST), "its certificate is marked as not trusted"},
    {static_cast<LONG>(TRUST_E_CERT_SIGNATURE), "the signature of its certificate does not verify"},
    {static_cast<LONG>(TRUST_E_SUBJECT_FORM_UNKNOWN), "it is not a kind of file Authenticode signs"},
    {static_cast<LONG>(TRUST_E_PROVIDER_UNKNOWN), "WinTrust cannot check it on this machine"},
};

// The status of the last verification (not of the state release that follows it).
LONG lastStatus = 0;
decltype(&WinVerifyTrust) realVerifyTrust = nullptr;

LONG WINAPI RecordingVerifyTrust(HWND window, GUID* action, LPVOID data)
{
   const LONG status = realVerifyTrust(window, action, data);
   if (static_cast<WINTRUST_DATA*>(data)->dwStateAction == WTD_STATEACTION_VERIFY) {
      lastStatus = status;
   }
   return status;
}

} // namespace

FileTrust Pack_CheckTrust(const std::string& path)
{
   FileTrust trust;
   const auto wide = Win32U_ToWide(path);
   if (!wide) {
      return trust;
   }
   WintrustApi recording = SigLib_Wintrust();
   if (recording.winVerifyTrust != nullptr) {
      realVerifyTrust = recording.winVerifyTrust;
      recording.winVerifyTrust = RecordingVerifyTrust;
   }
   lastStatus = 0;
   trust.result = CheckFileTrustWith(recording, wide->c_str(), &trust.certificate);
   trust.status = lastStatus;
   return trust;
}

std::string Pack_TrustProblem(const FileTrust& trust)
{
   if (trust.result == SignatureCheckResult::WintrustNotOnMachine && trust.status == 0) {
      return "WinTrust is not available on this machine";
   }
   if (trust.result == SignatureCheckResult::InvalidArg) {
      return "its path cannot be handed to WinTrust";
   }
   const std::string code = Str_Format("WinVerifyTrust 0x%08lX", static_cast<unsigned long>(trust.status));
   for (const StatusText& known : kStatusTexts) {
      if (known.status == trust.status) {
         return std::string(known.text) + " (" + code + ")";
      }
   }
   const std::string system = Win32U_FormatMessage(static_cast<DWORD>(trust.status), 0);
   return (system.empty() ? std::string("the signature is not valid") : system) + " (" + code + ")";
}
