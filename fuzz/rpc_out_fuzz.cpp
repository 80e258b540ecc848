// RPC out and the message channel under it, against a host whose every answer comes from the
// fuzz input: status bits, reply types, sizes, reply bytes, in 4-byte pieces or high bandwidth.
// Checks that the guest keeps to the protocol (port, channel, cookies, one close per open),
// never writes past a buffer, delivers exactly what it sent, and reports success only for a
// reply that the host carried out.
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/fuzzCheck.h"
#include "lib/rpc/guestLogText.h"
#include "lib/rpc/msgChannel.h"
#include "lib/rpc/rpcOut.h"

namespace
{

constexpr uint32_t kCookieHigh = 0xC0C0A1A1;
constexpr uint32_t kCookieLow = 0x5EED0042;
constexpr uint32_t kMaxReply = 4096;

struct Host {
   FuzzedDataProvider* input = nullptr;
   bool open = false;
   uint16_t id = 0;
   bool cookies = false;
   unsigned opened = 0;
   unsigned closed = 0;
   uint32_t sendSize = 0;
   std::string sent;  // what the guest delivered in its latest send attempt
   std::string reply; // what the host announced in its latest receive attempt
   size_t replyPos = 0;
};
Host g_host;

uint64_t WithHigh16(uint64_t word, uint16_t high)
{
   return (word & ~0xFFFF0000ull) | static_cast<uint64_t>(high) << 16;
}

void CheckChannel(const BackdoorRegs& regs, uint64_t cookieHigh, uint64_t cookieLow)
{
   FUZZ_CHECK(g_host.open && Backdoor_High16(regs.dx) == g_host.id);
   if (g_host.cookies) {
      FUZZ_CHECK(cookieHigh == kCookieHigh && cookieLow == kCookieLow);
   }
}

void LowBandwidth(BackdoorRegs* regs)
{
   FuzzedDataProvider& in = *g_host.input;
   FUZZ_CHECK(Backdoor_Low32(regs->ax) == kBackdoorMagic && (regs->dx & 0xFFFF) == kBackdoorPort);
   FUZZ_CHECK((regs->cx & 0xFFFF) == kBackdoorCmdMessage);
   const uint16_t subcommand = Backdoor_High16(regs->cx);
   const uint16_t status = in.ConsumeIntegral<uint16_t>();
   if (subcommand != kMsgOpen) {
      CheckChannel(*regs, regs->si, regs->di);
   }
   switch (subcommand) {
   case kMsgOpen:
      FUZZ_CHECK(!g_host.open);
      if (status & kMsgStatusSuccess) {
         g_host.open = true;
         g_host.opened++;
         g_host.id = in.ConsumeIntegral<uint16_t>();
         g_host.cookies = (regs->bx & kMsgAskForCookies) != 0;
         regs->dx = WithHigh16(regs->dx, g_host.id);
         regs->si = g_host.cookies ? kCookieHigh : 0;
         regs->di = g_host.cookies ? kCookieLow : 0;
      }
      break;
   case kMsgSendSize:
      g_host.sendSize = Backdoor_Low32(regs->bx);
      g_host.sent.clear();
      break;
   case kMsgSendPayload: {
      FUZZ_CHECK(g_host.sent.size() < g_host.sendSize);
      const size_t count = std::min<size_t>(4, g_host.sendSize - g_host.sent.size());
      for (size_t i = 0; i < count; i++) {
         g_host.sent.push_back(static_cast<char>(regs->bx >> (8 * i)));
      }
      break;
   }
   case kMsgReceiveSize:
      if (status & kMsgStatusReplyWaiting) {
         const uint32_t size = in.ConsumeIntegralInRange<uint32_t>(0, kMaxReply);
         g_host.reply = in.ConsumeBytesAsString(size);
         g_host.reply.resize(size, ' ');
         g_host.replyPos = 0;
         regs->bx = size;
         regs->dx = WithHigh16(regs->dx, in.ConsumeBool() ? kMsgReplyTypeSize : in.ConsumeIntegral<uint16_t>());
      }
      break;
   case kMsgReceivePayload: {
      uint32_t word = 0;
      for (size_t i = 0; i < 4 && g_host.replyPos < g_host.reply.size(); i++) {
         word |= static_cast<uint32_t>(static_cast<uint8_t>(g_host.reply[g_host.replyPos++])) << (8 * i);
      }
      regs->bx = word;
      regs->dx = WithHigh16(regs->dx, in.ConsumeBool() ? kMsgReplyTypePayload : in.ConsumeIntegral<uint16_t>());
      break;
   }
   case kMsgReceiveStatus:
      break;
   case kMsgClose:
      g_host.open = false;
      g_host.closed++;
      break;
   default:
      FUZZ_CHECK(!"an unknown message request");
   }
   regs->cx = WithHigh16(regs->cx, status);
}

void HighBandwidthOut(BackdoorRegs* regs)
{
   FUZZ_CHECK(Backdoor_Low32(regs->ax) == kBackdoorMagic && (regs->dx & 0xFFFF) == kBackdoorHbPort);
   CheckChannel(*regs, regs->bp, regs->di);
   // Reading every byte the guest offers: a short buffer shows up as an overflow here.
   FUZZ_CHECK(regs->cx == g_host.sendSize);
   g_host.sent.assign(reinterpret_cast<const char*>(static_cast<uintptr_t>(regs->si)), regs->cx);
   regs->bx = WithHigh16(regs->bx, g_host.input->ConsumeIntegral<uint16_t>());
}

void HighBandwidthIn(BackdoorRegs* regs)
{
   FUZZ_CHECK(Backdoor_Low32(regs->ax) == kBackdoorMagic && (regs->dx & 0xFFFF) == kBackdoorHbPort);
   CheckChannel(*regs, regs->si, regs->bp);
   // The guest asks for exactly the announced size, and its buffer must take all of it.
   FUZZ_CHECK(regs->cx == g_host.reply.size());
   std::memcpy(reinterpret_cast<char*>(static_cast<uintptr_t>(regs->di)), g_host.reply.data(), g_host.reply.size());
   regs->bx = WithHigh16(regs->bx, g_host.input->ConsumeIntegral<uint16_t>());
}

const BackdoorDoor kFuzzedHost = {LowBandwidth, HighBandwidthOut, HighBandwidthIn};

void StartHost(FuzzedDataProvider& input)
{
   g_host = Host{};
   g_host.input = &input;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
   FuzzedDataProvider input(data, size);
   const std::string request = input.ConsumeRandomLengthString(256);
   const bool ownBuffer = input.ConsumeBool();
   const size_t bufferSize = ownBuffer ? input.ConsumeIntegralInRange<size_t>(0, 64) : 0;
   const bool wantReply = input.ConsumeBool();

   // Exactly the offered size on the heap, so that one byte too many is caught.
   std::vector<char> buffer(bufferSize);
   char* callerBuffer = ownBuffer ? buffer.data() : nullptr;
   char* reply = nullptr;
   size_t replyLength = SIZE_MAX;
   StartHost(input);
   const bool ok = RpcOut_SendRequest(kFuzzedHost, request.data(), request.size(), callerBuffer, bufferSize,
                                      wantReply ? &reply : nullptr, wantReply ? &replyLength : nullptr);

   FUZZ_CHECK(g_host.opened <= 1 && g_host.closed == g_host.opened && !g_host.open);
   if (g_host.opened == 0 && callerBuffer != nullptr && bufferSize > 0) {
      FUZZ_CHECK(std::memchr(callerBuffer, '\0', bufferSize) != nullptr);
   }
   if (reply != nullptr) {
      FUZZ_CHECK(replyLength != SIZE_MAX && reply[replyLength] == '\0');
   }
   if (ok) {
      // Carried out: the host got the whole request and said "1 "; the reply is its text.
      FUZZ_CHECK(g_host.sent == request);
      FUZZ_CHECK(g_host.reply.size() >= 2 && g_host.reply.compare(0, 2, "1 ") == 0);
      FUZZ_CHECK(!wantReply || std::string(reply, replyLength) == g_host.reply.substr(2));
   }
   free(reply);

   StartHost(input);
   const uint32_t level = GuestLog_GetHostLevel(kFuzzedHost);
   FUZZ_CHECK(level == kGuestLogLevelOff || level == kGuestLogLevelInfo || level == kGuestLogLevelVerbose ||
              level == kGuestLogLevelTrivia);
   FUZZ_CHECK(g_host.closed == g_host.opened && !g_host.open);
   return 0;
}
