// The simulated host on a named pipe: one guest call per pipe message (the emulation transport's
// format), answered by a CHostSim. Every RPCI command is also appended to a record file, one line
// each, when a record path is given.
#pragma once

#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tools/hostsim/hostSim.h"

class CHostSimServer {
public:
   CHostSimServer(HostSimConfig config, std::string pipeName, std::string recordPath = std::string());
   ~CHostSimServer();
   CHostSimServer(const CHostSimServer&) = delete;
   CHostSimServer& operator=(const CHostSimServer&) = delete;

   // Creates the pipe; guests can connect from then on.
   bool Listen();
   // Answers calls on the calling thread until Stop.
   void Serve();
   // Listen, then Serve on a thread of its own.
   bool Start();
   void Stop();

   // A look at the simulator between calls (it is locked meanwhile).
   template <typename Fn> auto With(Fn fn)
   {
      std::lock_guard<std::mutex> lock(mutex_);
      return fn(sim_);
   }

private:
   void ServeOne();
   void Record();

   std::mutex mutex_;
   CHostSim sim_;
   std::wstring pipeName_;
   std::string recordPath_;
   size_t recorded_ = 0;
   HANDLE pipe_ = INVALID_HANDLE_VALUE;
   std::atomic<bool> stop_{false};
   std::thread thread_;
};
