// Version comparison (installed product against the package, upgrade / same / newer) over any
// version texts. Checks that it is a consistent order, and that it orders the texts of fixed
// four-part versions as the numbers themselves.
#include <string>
#include <tuple>

#include "apps/install/setup/prereqRules.h"
#include "apps/install/setup/productVersion.h"
#include "fuzz/fuzzCheck.h"

namespace
{

int Sign(int value)
{
   return value < 0 ? -1 : value > 0 ? 1 : 0;
}

std::tuple<uint32_t, uint32_t, uint32_t, uint32_t> Parts(FourPartVersion v)
{
   return {v.high >> 16, v.high & 0xFFFF, v.low >> 16, v.low & 0xFFFF};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
   FuzzedDataProvider input(data, size);
   const FourPartVersion v1{input.ConsumeIntegral<uint32_t>(), input.ConsumeIntegral<uint32_t>()};
   const FourPartVersion v2{input.ConsumeIntegral<uint32_t>(), input.ConsumeIntegral<uint32_t>()};
   const std::string a = input.ConsumeRandomLengthString(64);
   const std::string b = input.ConsumeRandomLengthString(64);
   const std::string c = input.ConsumeRemainingBytesAsString();

   FUZZ_CHECK(CompareProductVersions(a, a) == 0);
   const int ab = Sign(CompareProductVersions(a, b));
   const int bc = Sign(CompareProductVersions(b, c));
   const int ac = Sign(CompareProductVersions(a, c));
   FUZZ_CHECK(ab == -Sign(CompareProductVersions(b, a)));
   if (ab <= 0 && bc <= 0) {
      FUZZ_CHECK(ac <= 0 && (ac < 0 || (ab == 0 && bc == 0)));
   }
   if (ab == 0) {
      FUZZ_CHECK(ac == bc);
   }

   const std::string t1 = Prereq_VersionText(v1);
   const std::string t2 = Prereq_VersionText(v2);
   const int expected = Parts(v1) < Parts(v2) ? -1 : Parts(v2) < Parts(v1) ? 1 : 0;
   FUZZ_CHECK(Sign(CompareProductVersions(t1, t2)) == expected);
   // A missing part counts as 0: "1.2" equals "1.2.0.0".
   FUZZ_CHECK(CompareProductVersions(t1 + ".7", t1) == 0);
   return 0;
}
