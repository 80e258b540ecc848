// What every handler registered with MsiSetExternalUIW does before its object sees a message:
// a null context is answered 0, a context that is not an object of the handler's kind -1 (the
// signature is each handler class's first field, so it sits at the same place in both).
#pragma once

#include <windows.h>

#include <cstdint>

#include "lib/install/log.h"
#include "lib/misc/win32u.h"

template <typename Ui>
int DispatchInstallerMessage(void* context, uint32_t signature, const char* noContextLine,
                             const char* wrongContextPrefix, UINT type, const wchar_t* message)
{
   if (context == nullptr) {
      Inst_LogMsg("%s", noContextLine);
      return 0;
   }
   auto* ui = static_cast<Ui*>(context);
   if (ui->signature != signature) {
      Inst_LogMsg("%s%p", wrongContextPrefix, context);
      return -1;
   }
   if (message == nullptr) {
      return ui->OnMessage(type, nullptr);
   }
   const auto text = Win32U_ToUtf8(message);
   return ui->OnMessage(type, text ? text->c_str() : "");
}
