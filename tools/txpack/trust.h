// The Authenticode verdict of one file as the launcher asks WinVerifyTrust for it, with the
// status behind it, so that a failed signature says why it failed.
#pragma once

#include <windows.h>

#include <string>

#include "apps/install/setup/signature.h"

struct FileTrust {
   SignatureCheckResult result = SignatureCheckResult::InvalidArg;
   LONG status = 0; // what WinVerifyTrust answered (0 when it was not asked)
   UniqueCertContext certificate;
};

FileTrust Pack_CheckTrust(const std::string& path);

// Why a signature is not valid, in words, with WinVerifyTrust's status:
// "it was changed after it was signed (... 0x80096010)".
std::string Pack_TrustProblem(const FileTrust& trust);
