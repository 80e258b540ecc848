// hostsim: the simulated host of the hypervisor channel as a program, for end-to-end runs.
//   hostsim --pipe \\.\pipe\NAME [--record FILE] [options of HostSim_ParseOptions]
// Guests reach it through the TX_HOSTSIM_PIPE environment variable; it serves until it is ended.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "lib/misc/win32u.h"
#include "tools/hostsim/hostSimServer.h"

int wmain(int argc, wchar_t** argv)
{
   std::string pipe;
   std::string record;
   std::vector<std::string> options;
   for (int i = 1; i < argc; i++) {
      const std::string word = Win32U_Utf8(argv[i]);
      if ((word == "--pipe" || word == "--record") && i + 1 < argc) {
         (word == "--pipe" ? pipe : record) = Win32U_Utf8(argv[++i]);
      } else {
         options.push_back(word);
      }
   }
   HostSimConfig config;
   const std::string bad = HostSim_ParseOptions(options, &config);
   if (pipe.empty() || !bad.empty()) {
      fprintf(stderr, "hostsim: %s\nusage: hostsim --pipe \\\\.\\pipe\\NAME [--record FILE] [options]\n",
              bad.empty() ? "no --pipe given" : ("unknown option " + bad).c_str());
      return 2;
   }
   CHostSimServer server(config, pipe, record);
   if (!server.Listen()) {
      fprintf(stderr, "hostsim: cannot create pipe %s (error %lu)\n", pipe.c_str(), GetLastError());
      return 1;
   }
   server.Serve();
   return 0;
}
