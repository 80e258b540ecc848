#include "apps/install/setup/payloadRoom.h"

#include <gtest/gtest.h>

namespace
{
constexpr uint64_t kMiB = 1048576;
}

TEST(PayloadRoom, TheShippedConfiguration)
{
   RuntimeResources runtimes;
   runtimes.vcRuntime64 = true;
   const uint64_t room = Room_Required(36544512 + 11585656, std::nullopt, runtimes);
   EXPECT_EQ(room, 89213481u); // 57 756 201 + 6 291 456 + 25 165 824
   EXPECT_EQ(Room_Megabytes(room), 86u);
}

TEST(PayloadRoom, RuntimeEstimateOrRequestedMegabytes)
{
   RuntimeResources all{true, true, true, true};
   EXPECT_EQ(Room_Required(0, std::nullopt, all), 6 * kMiB + 2 * 20 * kMiB + 2 * 24 * kMiB);
   EXPECT_EQ(Room_Required(0, std::nullopt, RuntimeResources{}), 6 * kMiB);
   EXPECT_EQ(Room_Required(0, 100u, all), 106 * kMiB) << "REQ_MB_SPACE replaces the estimate";
   EXPECT_EQ(Room_Required(0, 0u, all), 6 * kMiB) << "REQ_MB_SPACE 0 adds nothing at all";
   EXPECT_EQ(Room_Required(1000, std::nullopt, RuntimeResources{}), 1200 + 6 * kMiB);
}

TEST(PayloadRoom, SaturatesInsteadOfWrapping)
{
   EXPECT_EQ(Room_Required(UINT64_MAX, std::nullopt, RuntimeResources{true, true, true, true}), UINT64_MAX);
   EXPECT_EQ(Room_Required(15370000000000000000u, 4294967295u, RuntimeResources{}), UINT64_MAX);
}

TEST(PayloadRoom, Megabytes)
{
   EXPECT_EQ(Room_Megabytes(0), 0u);
   EXPECT_EQ(Room_Megabytes(1), 1u);
   EXPECT_EQ(Room_Megabytes(kMiB - 1), 1u);
   EXPECT_EQ(Room_Megabytes(kMiB), 2u);
}
