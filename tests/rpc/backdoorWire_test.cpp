// The emulation messages: what a call carries to the host and what an answer may change.
#include "lib/rpc/backdoorWire.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(BackdoorWire, ALowBandwidthCallCarriesSixWordsAndNeverBp)
{
   BackdoorRegs regs{1, 2, 3, 4, 5, 6, 0xB0B0};
   const BackdoorWireCall call = BackdoorWire_MakeCall(kBackdoorOpLowBandwidth, regs);
   EXPECT_EQ(call.regs.di, 6u);
   EXPECT_EQ(call.regs.bp, 0u) << "bp is not passed on a low-bandwidth call";

   BackdoorWireAnswer answer;
   answer.action = BackdoorAnswer::Answered;
   answer.regs = BackdoorRegs{10, 20, 30, 40, 50, 60, 70};
   EXPECT_EQ(BackdoorWire_Apply(kBackdoorOpLowBandwidth, answer, &regs), BackdoorAnswer::Answered);
   EXPECT_EQ(regs.di, 60u);
   EXPECT_EQ(regs.bp, 0xB0B0u) << "nor does it come back";
}

TEST(BackdoorWire, HighBandwidthCarriesSevenWordsAndThePayloadBothWays)
{
   const char payload[] = "payload";
   BackdoorRegs out{kBackdoorMagic, 0x10000, 7, kBackdoorHbPort, reinterpret_cast<uintptr_t>(payload), 8, 9};
   const BackdoorWireCall call = BackdoorWire_MakeCall(kBackdoorOpHbOut, out);
   EXPECT_EQ(call.regs.bp, 9u);
   EXPECT_EQ(std::string(call.bytes.begin(), call.bytes.end()), "payload");

   // An answer with more bytes than the guest offered fills only what it offered.
   char buffer[8];
   memset(buffer, '#', sizeof buffer);
   BackdoorRegs in{kBackdoorMagic, 0x10000, 5, kBackdoorHbPort, 1, reinterpret_cast<uintptr_t>(buffer), 2};
   BackdoorWireAnswer answer;
   answer.action = BackdoorAnswer::Answered;
   answer.regs = in;
   answer.regs.bp = 77;
   answer.bytes.assign({'a', 'b', 'c', 'd', 'e', 'f', 'g'});
   BackdoorWire_Apply(kBackdoorOpHbIn, answer, &in);
   EXPECT_EQ(std::string(buffer, sizeof buffer), "abcde###");
   EXPECT_EQ(in.bp, 77u);
}

TEST(BackdoorWire, AnUnansweredTrapLeavesTheRegisters)
{
   BackdoorRegs regs{1, 2, 3, 4, 5, 6, 7};
   BackdoorWireAnswer answer;
   answer.action = BackdoorAnswer::Unanswered;
   answer.regs = BackdoorRegs{};
   EXPECT_EQ(BackdoorWire_Apply(kBackdoorOpLowBandwidth, answer, &regs), BackdoorAnswer::Unanswered);
   EXPECT_EQ(regs.bx, 2u);
}

TEST(BackdoorWire, EncodingRoundTripsAndRejectsDamagedMessages)
{
   BackdoorWireCall call;
   call.op = kBackdoorOpHbOut;
   call.regs = BackdoorRegs{1, 2, 3, 4, 5, 6, 7};
   call.bytes = {9, 8, 7};
   std::vector<uint8_t> encoded = BackdoorWire_EncodeCall(call);
   BackdoorWireCall decoded;
   ASSERT_TRUE(BackdoorWire_DecodeCall(encoded.data(), encoded.size(), &decoded));
   EXPECT_EQ(decoded.op, call.op);
   EXPECT_EQ(decoded.regs.bp, 7u);
   EXPECT_EQ(decoded.bytes, call.bytes);

   EXPECT_FALSE(BackdoorWire_DecodeCall(encoded.data(), encoded.size() - 1, &decoded)) << "cut short";
   BackdoorWireAnswer answer;
   EXPECT_FALSE(BackdoorWire_DecodeAnswer(encoded.data(), encoded.size(), &answer)) << "a call is not an answer";
   answer.action = static_cast<BackdoorAnswer>(9);
   encoded = BackdoorWire_EncodeAnswer(answer);
   EXPECT_FALSE(BackdoorWire_DecodeAnswer(encoded.data(), encoded.size(), &answer)) << "unknown action";
}
