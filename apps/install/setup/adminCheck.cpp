#include "apps/install/setup/adminCheck.h"

#include <vector>

#include "lib/misc/handle.h"
#include "lib/misc/sysLib.h"
#include "lib/misc/windowsu.h"

namespace {
constexpr DWORD kFirstGroupsBytes = 1024;
}

bool IsUserAdmin(bool skip, DWORD majorVersion)
{
   if (skip) {
      return true;
   }
   OwnedSid admins = W32Util_GetLocalAdminGroupSid();
   if (!admins) {
      return false;
   }
   if (majorVersion >= 5) {
      using CheckTokenMembershipFn = BOOL(WINAPI*)(HANDLE, PSID, PBOOL);
      CheckTokenMembershipFn check = nullptr;
      if (!SysLib_Bind(GetModuleHandleW(L"advapi32.dll"), "CheckTokenMembership", check)) {
         return false;
      }
      BOOL member = FALSE;
      return check(nullptr, admins.get(), &member) && member;
   }
   UniqueHandle token;
   if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) {
      return false;
   }
   std::vector<BYTE> groups(kFirstGroupsBytes);
   DWORD needed = 0;
   if (!GetTokenInformation(token.get(), TokenGroups, groups.data(), static_cast<DWORD>(groups.size()), &needed)) {
      if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
         return false;
      }
      groups.resize(needed);
      if (!GetTokenInformation(token.get(), TokenGroups, groups.data(), static_cast<DWORD>(groups.size()), &needed)) {
         return false;
      }
   }
   const auto* list = reinterpret_cast<const TOKEN_GROUPS*>(groups.data());
   for (DWORD i = 0; i < list->GroupCount; i++) {
      if (EqualSid(list->Groups[i].Sid, admins.get())) {
         return true;
      }
   }
   return false;
}
