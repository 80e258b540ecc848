// The payload digests key, read from any text as the launcher reads it. Checks that an accepted
// value holds only plain, distinct names and writes back to a value that reads the same, and that
// the digest of the input fed in two pieces is the digest of the whole.
#include <string>

#include "apps/install/setup/payloadDigest.h"
#include "fuzz/fuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
   const std::string_view text(reinterpret_cast<const char*>(data), size);
   PayloadHash split;
   split.Update(data, size / 3);
   split.Update(data + size / 3, size - size / 3);
   FUZZ_CHECK(split.Digest() == Payload_Hash(text));

   std::string problem;
   const auto digests = Payload_ParseDigests(text, &problem);
   if (!digests) {
      FUZZ_CHECK(!problem.empty());
      return 0;
   }
   FUZZ_CHECK(!digests->empty() && digests->size() <= kMaxPayloadDigests);
   const auto again = Payload_ParseDigests(Payload_FormatDigests(*digests), nullptr);
   FUZZ_CHECK(again && again->size() == digests->size());
   for (size_t i = 0; i < digests->size(); i++) {
      FUZZ_CHECK((*again)[i].name == (*digests)[i].name && (*again)[i].digest == (*digests)[i].digest);
      FUZZ_CHECK(Payload_FindDigest(*digests, (*digests)[i].name) == &(*digests)[i]);
   }
   return 0;
}
