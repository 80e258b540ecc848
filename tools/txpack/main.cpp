// txpack: turns a built setup.exe into a product installer (see the README, "Packing a release").
#include <windows.h>

#include <cstdio>

#include "lib/misc/win32u.h"
#include "tools/txpack/inspect.h"
#include "tools/txpack/packer.h"

int wmain(int argc, wchar_t** argv)
{
   std::vector<std::string> args;
   for (int i = 1; i < argc; i++) {
      const auto arg = Win32U_ToUtf8(argv[i]);
      if (!arg) {
         std::fprintf(stderr, "txpack: argument %d is not valid text\n", i);
         return 2;
      }
      args.push_back(*arg);
   }
   PackOptions options;
   std::string error;
   if (!Pack_ParseArguments(args, options, error)) {
      std::fprintf(stderr, "txpack: %s\n%s", error.c_str(), kPackUsage);
      return 2;
   }
   if (options.help) {
      std::fputs(kPackUsage, stdout);
      return 0;
   }
   if (!options.show.empty()) {
      return Pack_Show(options.show);
   }
   if (!options.verify.empty()) {
      return Pack_Verify(options.verify);
   }
   return Pack_Run(options);
}
