// WinTrust and CryptoAPI, bound at run time from the system folder: neither is a KnownDLL, so a
// static import would be resolved from the launcher's own folder before any hardening could run.
// One table per library, bound once; an entry is null when the library or the function is
// missing, and every user treats that as a plain failure. (The version library's table is
// FileVersion_Api.)
#pragma once

#include <windows.h>

#include <wincrypt.h>
#include <wintrust.h>

#include "lib/misc/handle.h"

struct WintrustApi {
   decltype(&WinVerifyTrust) winVerifyTrust = nullptr;
   decltype(&WTHelperProvDataFromStateData) provDataFromStateData = nullptr;
   decltype(&WTHelperGetProvSignerFromChain) provSignerFromChain = nullptr;
   decltype(&WTHelperGetProvCertFromChain) provCertFromChain = nullptr;
};

struct Crypt32Api {
   decltype(&CertDuplicateCertificateContext) duplicateCertificate = nullptr;
   decltype(&CertFreeCertificateContext) freeCertificate = nullptr;
   decltype(&CertCompareCertificate) compareCertificate = nullptr;
};

const WintrustApi& SigLib_Wintrust();
const Crypt32Api& SigLib_Crypt32();

struct CertContextTraits {
   static PCCERT_CONTEXT Invalid() { return nullptr; }
   static bool IsValid(PCCERT_CONTEXT c) { return c != nullptr; }
   static void Close(PCCERT_CONTEXT c);
};
using UniqueCertContext = UniqueResource<PCCERT_CONTEXT, CertContextTraits>;
