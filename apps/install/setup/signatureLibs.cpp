#include "apps/install/setup/signatureLibs.h"

#include "lib/misc/sysLib.h"

// The libraries stay loaded for the life of the process: the tables point into them.

const WintrustApi& SigLib_Wintrust()
{
   static const WintrustApi api = [] {
      WintrustApi a;
      const HMODULE module = SysLib_Load(L"wintrust.dll");
      SysLib_Bind(module, "WinVerifyTrust", a.winVerifyTrust);
      SysLib_Bind(module, "WTHelperProvDataFromStateData", a.provDataFromStateData);
      SysLib_Bind(module, "WTHelperGetProvSignerFromChain", a.provSignerFromChain);
      SysLib_Bind(module, "WTHelperGetProvCertFromChain", a.provCertFromChain);
      return a;
   }();
   return api;
}

const Crypt32Api& SigLib_Crypt32()
{
   static const Crypt32Api api = [] {
      Crypt32Api a;
      const HMODULE module = SysLib_Load(L"crypt32.dll");
      SysLib_Bind(module, "CertDuplicateCertificateContext", a.duplicateCertificate);
      SysLib_Bind(module, "CertFreeCertificateContext", a.freeCertificate);
      SysLib_Bind(module, "CertCompareCertificate", a.compareCertificate);
      return a;
   }();
   return api;
}

void CertContextTraits::Close(PCCERT_CONTEXT c)
{
   if (const auto freeCertificate = SigLib_Crypt32().freeCertificate) {
      freeCertificate(c);
   }
}
