// Is this program running under the expected hypervisor? Asked before anything is sent to the
// host; every negative outcome, bare hardware included, is a plain false.
#pragma once

#include <cstdint>

// The hypervisor version this program talks to.
constexpr uint32_t kVmCheckHypervisorVersion = 6;

// Calls `probe`; a processor exception raised by the probe's trap (no hypervisor handles it)
// makes the answer false instead of ending the process.
bool VmCheck_ProbeGuarded(bool (*probe)());

// The probe, then a version request: true only for a hypervisor that reports version 6.
bool VmCheck_IsVirtualWorld();

// The main flow's legacy probe: three values from the hypervisor's legacy query, a virtual
// machine when the first is 6. This processor architecture has no legacy query, so the values
// are always 0 and the answer is always false; no call reaches the hypervisor.
void VmCheck_LegacyQuery(uint32_t values[3]);
bool VmCheck_LegacyProbe();
