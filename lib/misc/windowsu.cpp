#include "lib/misc/windowsu.h"

#include <aclapi.h>

#include <string>

#include "lib/misc/handle.h"
#include "lib/misc/panic.h"
#include "lib/misc/win32u.h"

namespace
{
constexpr DWORD kAdminsFullControl = 0x101F0000; // GENERIC_ALL plus all standard rights
constexpr SECURITY_INFORMATION kOwnerAndProtectedDacl =
    PROTECTED_DACL_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION | OWNER_SECURITY_INFORMATION;
const char kSetAdminsOp[] = "W32Util_SetAdminsGrpAccessOnly";

const W32UtilSecurityCalls* testSecurityCalls = nullptr;

// The debugger output leaves the last error alone only by chance: a failure's error is kept.
template <typename... Args> void DebugKeepingError(const char* format, Args... args)
{
   const DWORD error = GetLastError();
   Debug(format, args...);
   SetLastError(error);
}
} // namespace

const W32UtilSecurityCalls& W32Util_SecurityCalls()
{
   static const W32UtilSecurityCalls system = {AllocateAndInitializeSid, SetSecurityInfo};
   return testSecurityCalls != nullptr ? *testSecurityCalls : system;
}

void W32Util_SetSecurityCallsForTest(const W32UtilSecurityCalls* calls)
{
   testSecurityCalls = calls;
}

OwnedSid W32Util_GetLocalAdminGroupSid()
{
   SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
   PSID sid = nullptr;
   if (!W32Util_SecurityCalls().allocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS,
                                                         0, 0, 0, 0, 0, 0, &sid)) {
      DebugKeepingError("%s: AllocateAndInitializeSid: %d\n", "W32Util_GetLocalAdminGroupSid",
                        static_cast<int>(GetLastError()));
      return nullptr;
   }
   return OwnedSid(sid);
}

std::vector<BYTE> W32Util_BuildAdminsOnlyAcl(PSID sid)
{
   std::vector<BYTE> acl(GetLengthSid(sid) + 16);
   auto* header = reinterpret_cast<PACL>(acl.data());
   if (!InitializeAcl(header, static_cast<DWORD>(acl.size()), ACL_REVISION)) {
      DebugKeepingError("%s: Couldn't init ACL, error: %u\n", kSetAdminsOp, static_cast<unsigned>(GetLastError()));
      return {};
   }
   if (!AddAccessAllowedAceEx(header, ACL_REVISION, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE, kAdminsFullControl,
                              sid)) {
      DebugKeepingError("%s: Couldn't add SID to DACL, error: %u\n", kSetAdminsOp,
                        static_cast<unsigned>(GetLastError()));
      return {};
   }
   return acl;
}

bool W32Util_SetAdminsGrpAccessOnly(const char* path)
{
   std::string target(path != nullptr ? path : "");
   while (!target.empty() && (target.back() == '\\' || target.back() == '/')) {
      target.pop_back();
   }

   // Wine shows a directory link as a reparse point only by its path, and opens its target
   // even when asked not to follow it: check the path first, then the opened object.
   const DWORD pathAttributes = Win32U_GetFileAttributes(target.c_str());
   if (pathAttributes != INVALID_FILE_ATTRIBUTES && (pathAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      Debug("%s: Found reparse point, the path can't be secured \"%s\"\n", kSetAdminsOp, target.c_str());
      return false;
   }
   UniqueHandle object(Win32U_CreateFile(target.c_str(), READ_CONTROL | WRITE_DAC | WRITE_OWNER,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                         FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
   if (!object) {
      Debug("%s: Failed to open file or directory \"%s\", error: %u\n", kSetAdminsOp, target.c_str(),
            static_cast<unsigned>(GetLastError()));
      return false;
   }
   BY_HANDLE_FILE_INFORMATION info;
   if (!GetFileInformationByHandle(object.get(), &info)) {
      Debug("%s: Unable to get file attributes for '%s' (%u)", kSetAdminsOp, target.c_str(),
            static_cast<unsigned>(GetLastError()));
      return false;
   }
   if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
      Debug("%s: Found reparse point, the path can't be secured \"%s\"\n", kSetAdminsOp, target.c_str());
      return false;
   }

   return W32Util_SetAdminsGrpAccessOnlyOn(object.get());
}

bool W32Util_SetAdminsGrpAccessOnlyOn(HANDLE object)
{
   OwnedSid admins = W32Util_GetLocalAdminGroupSid();
   if (!admins) {
      DebugKeepingError("%s: Can't look up Admin group: %u\n", kSetAdminsOp, static_cast<unsigned>(GetLastError()));
      return false;
   }
   std::vector<BYTE> acl = W32Util_BuildAdminsOnlyAcl(admins.get());
   if (acl.empty()) {
      return false;
   }
   const DWORD result =
       W32Util_SecurityCalls().setSecurityInfo(object, SE_FILE_OBJECT, kOwnerAndProtectedDacl, admins.get(), nullptr,
                                               reinterpret_cast<PACL>(acl.data()), nullptr);
   if (result != ERROR_SUCCESS) {
      Debug("%s: SetSecurityInfo failed: %u\n", kSetAdminsOp, static_cast<unsigned>(result));
      SetLastError(result);
      return false;
   }
   return true;
}
