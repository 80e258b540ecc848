// The hostsim program attached to this process and its children, for end-to-end runs: started
// on a fresh pipe, named in TX_HOSTSIM_PIPE for every program started afterwards, and ended
// (with the variable removed) when the object goes.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

class CHostSimProcess {
public:
   // `options` are hostsim's simulator options ("--log-state info", "--faulting", ...). The
   // record of RPCI commands goes to `recordPath`.
   CHostSimProcess(const std::string& hostsimPath, const std::string& options, const std::string& recordPath);
   ~CHostSimProcess();
   CHostSimProcess(const CHostSimProcess&) = delete;
   CHostSimProcess& operator=(const CHostSimProcess&) = delete;

   bool ready() const { return ready_; }
   // The commands the host received so far, one per line as recorded.
   std::vector<std::string> Record() const;

private:
   PROCESS_INFORMATION process_{};
   std::string recordPath_;
   bool ready_ = false;
};
