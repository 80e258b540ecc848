// The virtual environment check. The probe's trap meets bare hardware in one of two ways: the
// registers come back unchanged, or the processor raises an exception in this thread. mingw's
// compiler has no __try, so a vectored handler steps over that one trapping instruction while a
// guard is active on the faulting thread, whatever the exception's code; every other exception
// passes on untouched.
#include "lib/rpc/vmCheck.h"

#include <windows.h>

#include "lib/rpc/backdoor.h"
#include "lib/rpc/rpcDebug.h"

namespace {

constexpr uint64_t kVersionRequest = 0xFFFF000A; // get version, 0xFFFF in bits 16-31
constexpr uint32_t kNoVersion = 0xFFFFFFFF;
const char kIncompatibleText[] = "The version of this program is incompatible with your %s.\n"
                                 "For information on updating your Tessix Tools please see the\n"
                                 "'Upgrading Tessix Tools' section of the 'Tessix Tools User Guide'\n"
                                 "at https://docs.tessix.com/tools/user-guide\n\n";

struct ProbeGuard {
   bool active;
   bool faulted;
};
thread_local ProbeGuard t_guard = {false, false};

// Which exception bare hardware raises for the trapped read is the system's choice (an illegal
// or privileged instruction, an access fault...; Windows on Arm does not document it), so the
// code is not looked at: whatever is raised at the probe's own instruction while the guard is
// active is the trap's answer. Exceptions anywhere else, of other threads, or outside the guard
// pass on untouched.
LONG CALLBACK StepOverProbeTrap(EXCEPTION_POINTERS* info)
{
   const EXCEPTION_RECORD* record = info->ExceptionRecord;
   if (!t_guard.active || (record->ExceptionFlags & EXCEPTION_NONCONTINUABLE) != 0 ||
       !Backdoor_StepOverProbeTrap(record->ExceptionAddress, info->ContextRecord)) {
      return EXCEPTION_CONTINUE_SEARCH;
   }
   t_guard.faulted = true;
   return EXCEPTION_CONTINUE_EXECUTION;
}

} // namespace

bool VmCheck_ProbeGuarded(bool (*probe)())
{
   // Touch the guard before the handler can run, so the handler never allocates it.
   t_guard = ProbeGuard{true, false};
   void* handler = AddVectoredExceptionHandler(1, StepOverProbeTrap);
   bool result = false;
   if (handler != nullptr) {
      result = probe();
      RemoveVectoredExceptionHandler(handler);
   }
   const bool faulted = t_guard.faulted;
   t_guard = ProbeGuard{false, false};
   return result && !faulted;
}

bool VmCheck_IsVirtualWorld()
{
   if (!VmCheck_ProbeGuarded(Backdoor_Probe)) {
      Rpc_Debug("%s: backdoor not detected.\n", "VmCheck_IsVirtualWorld");
      return false;
   }
   BackdoorRegs regs{};
   regs.bx = kBackdoorMagicComplement;
   regs.cx = kVersionRequest;
   Backdoor_Call(&regs);
   const uint32_t version = Backdoor_Low32(regs.ax);
   if (version == kNoVersion || Backdoor_Low32(regs.bx) != kBackdoorMagic) {
      Rpc_Debug("%s: VmCheck_GetVersion failed.\n", "VmCheck_IsVirtualWorld");
      return false;
   }
   if (version == kVmCheckHypervisorVersion) {
      return true;
   }
   Rpc_Debug(kIncompatibleText, "Tessix software");
   return false;
}

void VmCheck_LegacyQuery(uint32_t values[3])
{
   values[0] = 0;
   values[1] = 0;
   values[2] = 0;
}

bool VmCheck_LegacyProbe()
{
   uint32_t values[3];
   VmCheck_LegacyQuery(values);
   return values[0] == kVmCheckHypervisorVersion;
}
