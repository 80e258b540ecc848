// The emulation transport's messages (a call to the host simulator, its answer) decoded from
// any bytes. Checks that whatever decodes encodes back to exactly the same bytes, and that an
// answer applied to a call never writes more than the receive buffer the call offered.
#include <cstring>
#include <vector>

#include "fuzz/fuzzCheck.h"
#include "lib/rpc/backdoorWire.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
   BackdoorWireCall call;
   if (BackdoorWire_DecodeCall(data, size, &call)) {
      const std::vector<uint8_t> encoded = BackdoorWire_EncodeCall(call);
      FUZZ_CHECK(encoded.size() == size && std::memcmp(encoded.data(), data, size) == 0);
   }
   BackdoorWireAnswer answer;
   if (!BackdoorWire_DecodeAnswer(data, size, &answer)) {
      return 0;
   }
   const std::vector<uint8_t> encoded = BackdoorWire_EncodeAnswer(answer);
   FUZZ_CHECK(encoded.size() == size && std::memcmp(encoded.data(), data, size) == 0);

   // A high-bandwidth receive into a buffer of its own size: the answer may bring more bytes.
   for (uint64_t op : {kBackdoorOpLowBandwidth, kBackdoorOpHbIn, kBackdoorOpHbOut}) {
      std::vector<uint8_t> buffer(answer.regs.ax % 64);
      BackdoorRegs regs{};
      regs.cx = buffer.size();
      regs.di = reinterpret_cast<uintptr_t>(buffer.data());
      const BackdoorAnswer action = BackdoorWire_Apply(op, answer, &regs);
      FUZZ_CHECK(action == answer.action);
      if (action == BackdoorAnswer::Answered && op == kBackdoorOpLowBandwidth) {
         FUZZ_CHECK(regs.ax == answer.regs.ax && regs.di == answer.regs.di && regs.bp == 0);
      }
   }
   return 0;
}
