// Log text to the host, one command per line, against the in-process simulated host (with or
// without cookies and high bandwidth, with one transfer interrupted). Checks that every line
// arrives whole and in order, that no command carries a line break or is empty, and that the
// bytes after the last line break are not sent.
#include <string>

#include "fuzz/fuzzCheck.h"
#include "lib/install/logFormat.h"
#include "lib/rpc/guestLogText.h"
#include "lib/rpc/msgChannel.h"
#include "tests/rpc/simDoor.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
   FuzzedDataProvider input(data, size);
   HostSimConfig config;
   config.cookies = input.ConsumeBool();
   config.highBandwidth = input.ConsumeBool();
   if (input.ConsumeBool()) {
      // The transfer steps that the guest restarts after an interruption (a size step that
      // fails, interrupted or not, fails the send or the receive).
      constexpr HostSimStep kRestartable[] = {HostSimStep::SendPayload, HostSimStep::ReceivePayload,
                                              HostSimStep::ReceiveStatus, HostSimStep::HbOut, HostSimStep::HbIn};
      const HostSimStep step = input.PickValueInArray(kRestartable);
      config.faults.push_back({step, input.ConsumeIntegralInRange<uint32_t>(1, 8), kMsgStatusInterrupted});
   }
   const size_t cut = input.ConsumeIntegral<uint16_t>();
   const std::string text = input.ConsumeRemainingBytesAsString();
   // The logger forwards one built line at a time, never more than a line's budget.
   const size_t length = std::min({size_t{cut}, text.size(), kLogLineBudget});

   CHostSim host(config);
   CSimDoor door(host, CSimDoor::Wire::Direct);
   const bool ok = GuestLog_ForwardText(door.door(), text.c_str(), length);
   FUZZ_CHECK(ok);

   // What the host should have seen: the text up to the length or a NUL, up to its last line
   // break, without the breaks.
   const std::string walked = text.substr(0, length).substr(0, text.substr(0, length).find('\0'));
   const size_t lastBreak = walked.find_last_of("\r\n");
   std::string expected;
   for (char c : walked.substr(0, lastBreak == std::string::npos ? 0 : lastBreak)) {
      if (c != '\r' && c != '\n') {
         expected += c;
      }
   }
   std::string received;
   const std::string prefix = kGuestLogLinePrefix;
   for (const std::string& command : host.commands()) {
      FUZZ_CHECK(command.size() > prefix.size() && command.compare(0, prefix.size(), prefix) == 0);
      FUZZ_CHECK(command.find_first_of(std::string("\r\n\0", 3), prefix.size()) == std::string::npos);
      received += command.substr(prefix.size());
   }
   FUZZ_CHECK(received == expected);
   FUZZ_CHECK(host.openChannels() == 0);
   return 0;
}
