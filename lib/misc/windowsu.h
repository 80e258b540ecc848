// Composite Win32 utilities of the portability layer.
#pragma once

#include <windows.h>

#include <aclapi.h>

#include <memory>
#include <vector>

struct SidFree {
   void operator()(void* sid) const { FreeSid(sid); }
};
using OwnedSid = std::unique_ptr<void, SidFree>;

// The local Administrators group (NT authority, 32, 544). Null on failure (logged).
OwnedSid W32Util_GetLocalAdminGroupSid();

// The DACL that gives `sid` full control (0x101F0000) with object and container inheritance
// and nobody else anything: revision 2, sized as the SID plus 16 bytes. Empty on failure
// (logged). Exposed so that the descriptor can be checked in memory.
std::vector<BYTE> W32Util_BuildAdminsOnlyAcl(PSID sid);

// Makes `path` owned by and accessible only to the local Administrators group. Refuses reparse
// points: a link cannot be secured, only what it points to.
bool W32Util_SetAdminsGrpAccessOnly(const char* path);
// The same through a handle opened with READ_CONTROL, WRITE_DAC and WRITE_OWNER. On false the
// last error says why.
bool W32Util_SetAdminsGrpAccessOnlyOn(HANDLE object);

// The security calls that build the well-known SIDs and apply a descriptor. Tests put a table of
// their own in front of the real one (null restores it) for the refusals Windows gives where
// Wine's calls never refuse (Wine keeps no descriptors).
struct W32UtilSecurityCalls {
   decltype(&AllocateAndInitializeSid) allocateAndInitializeSid;
   decltype(&SetSecurityInfo) setSecurityInfo;
};
const W32UtilSecurityCalls& W32Util_SecurityCalls();
void W32Util_SetSecurityCallsForTest(const W32UtilSecurityCalls* calls);
