// Log text to host commands, and the level word of the host's answer.
#include "lib/rpc/guestLogText.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "lib/rpc/rpcOut.h"

uint32_t GuestLog_LevelFromWord(std::string_view word)
{
   if (word == "info") {
      return kGuestLogLevelInfo;
   }
   if (word == "verbose") {
      return kGuestLogLevelVerbose;
   }
   if (word == "trivia") {
      return kGuestLogLevelTrivia;
   }
   return kGuestLogLevelOff;
}

uint32_t GuestLog_GetHostLevel(const BackdoorDoor& door)
{
   char* reply = nullptr;
   size_t length = 0;
   uint32_t level = kGuestLogLevelOff;
   if (RpcOut_SendFormatted(door, &reply, &length, "guest.log.state") && reply != nullptr) {
      level = GuestLog_LevelFromWord(std::string_view(reply, length));
   }
   free(reply);
   return level;
}

bool GuestLog_ForwardText(const BackdoorDoor& door, const char* text, size_t length)
{
   if (text == nullptr) {
      RpcOut_SendFormatted(door, nullptr, nullptr, "log buf is NULL");
      return false;
   }
   // One command buffer for every line: the prefix stays, the line behind it changes. It grows
   // with the line, so a line of any length is sent whole.
   std::string command(kGuestLogLinePrefix);
   const size_t prefixLength = command.size();
   bool allSent = true;
   size_t lineStart = 0;
   for (size_t i = 0; i < length && text[i] != '\0'; i++) {
      if (text[i] != '\r' && text[i] != '\n') {
         continue;
      }
      if (i > lineStart) {
         command.replace(prefixLength, std::string::npos, text + lineStart, i - lineStart);
         if (!RpcOut_SendRequest(door, command.data(), command.size(), nullptr, 0, nullptr, nullptr)) {
            allSent = false;
         }
      }
      lineStart = i + 1;
   }
   return allSent;
}
