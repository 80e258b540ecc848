// The guest half of the message channel against the simulated host.
#include "lib/rpc/msgChannel.h"

#include <gtest/gtest.h>

#include <cstring>

#include "tests/rpc/simDoor.h"

namespace
{

struct Exchange {
   bool opened = false;
   bool sent = false;
   bool received = false;
   std::string reply;
   bool terminated = false;
   bool closed = false;
};

// Open, send, receive, close, as one RPC does.
Exchange RoundTrip(CHostSim& sim, const std::string& command, char* buffer = nullptr, size_t bufferSize = 0)
{
   CSimDoor door(sim);
   Exchange result;
   MsgChannel channel{};
   result.opened = MsgChannel_Open(door.door(), kMsgProtocolRpci, &channel, buffer, bufferSize);
   if (!result.opened) {
      return result;
   }
   result.sent = MsgChannel_Send(&channel, command.data(), command.size());
   char* bytes = nullptr;
   size_t size = 0;
   result.received = result.sent && MsgChannel_Receive(&channel, &bytes, &size);
   if (result.received) {
      result.reply.assign(bytes, size);
      result.terminated = bytes[size] == '\0';
   }
   result.closed = MsgChannel_Close(&channel);
   return result;
}

std::vector<HostSimTrace> Steps(const CHostSim& sim, HostSimStep step)
{
   std::vector<HostSimTrace> found;
   for (const auto& t : sim.trace()) {
      if (t.step == step) {
         found.push_back(t);
      }
   }
   return found;
}

// A host that answers the size request with the payload's reply type.
const BackdoorDoor* simulated = nullptr;

void LowWithWrongSizeType(BackdoorRegs* regs)
{
   const bool sizeRequest = (regs->cx & 0xFFFF) == kBackdoorCmdMessage && Backdoor_High16(regs->cx) == kMsgReceiveSize;
   simulated->lowBandwidth(regs);
   if (sizeRequest) {
      regs->dx = (regs->dx & ~0xFFFF0000ULL) | (static_cast<uint64_t>(kMsgReplyTypePayload) << 16);
   }
}

} // namespace

TEST(MsgChannel, ASixByteRequestWithoutHighBandwidthGoesAsASizeAndTwoPieces)
{
   HostSimConfig config;
   config.highBandwidth = false;
   CHostSim sim(config);
   ASSERT_TRUE(RoundTrip(sim, "abcdef").received);
   const auto size = Steps(sim, HostSimStep::SendSize);
   const auto pieces = Steps(sim, HostSimStep::SendPayload);
   ASSERT_EQ(size.size(), 1u);
   EXPECT_EQ(size[0].bx, 6u);
   ASSERT_EQ(pieces.size(), 2u);
   EXPECT_EQ(pieces[0].bx, 0x64636261u);
   EXPECT_EQ(pieces[1].bx, 0x6665u) << "the last piece holds the 2 remaining bytes in its low bytes";
   EXPECT_EQ(sim.commands(), std::vector<std::string>{"abcdef"});
}

TEST(MsgChannel, CommandsAndRepliesOfEveryLengthArriveWholeInBothTransferModes)
{
   for (const bool highBandwidth : {false, true}) {
      for (const bool cookies : {false, true}) {
         for (size_t length = 0; length <= 9; length++) {
            SCOPED_TRACE(::testing::Message()
                         << "hb " << highBandwidth << " cookies " << cookies << " length " << length);
            HostSimConfig config;
            config.highBandwidth = highBandwidth;
            config.cookies = cookies;
            const std::string command = std::string("cmd-") + std::string(length, 'c');
            const std::string reply = std::string(length, 'r') + "\xC3\xA9";
            config.replies[command] = reply;
            CHostSim sim(config);
            const Exchange run = RoundTrip(sim, command);
            EXPECT_TRUE(run.opened && run.sent && run.received && run.closed);
            EXPECT_EQ(sim.commands(), std::vector<std::string>{command});
            EXPECT_EQ(run.reply, reply);
            EXPECT_TRUE(run.terminated);
            EXPECT_EQ(sim.openChannels(), 0u);
            EXPECT_EQ(sim.Count(highBandwidth ? HostSimStep::HbIn : HostSimStep::ReceivePayload) > 0, true);
         }
      }
   }
}

TEST(MsgChannel, AHostThatRefusesCookiesIsAskedAgainWithoutThem)
{
   HostSimConfig config;
   config.cookies = false;
   CHostSim sim(config);
   EXPECT_TRUE(RoundTrip(sim, "x").received);
   const auto opens = Steps(sim, HostSimStep::Open);
   ASSERT_EQ(opens.size(), 2u);
   EXPECT_EQ(opens[0].bx, 0xC9435052u);
   EXPECT_EQ(opens[0].status, 0u);
   EXPECT_EQ(opens[1].bx, 0x49435052u);
   EXPECT_EQ(opens[1].status, 1u);
}

TEST(MsgChannel, NoHostMeansNoChannel)
{
   HostSimConfig config;
   config.trap = BackdoorAnswer::Unanswered;
   CHostSim sim(config);
   EXPECT_FALSE(RoundTrip(sim, "x").opened);
}

TEST(MsgChannel, AnInterruptedTransferRestartsFromItsSizeStep)
{
   struct Case {
      HostSimStep step;
      uint32_t occurrence;
      bool highBandwidth;
      HostSimStep sizeStep;
   };
   const Case cases[] = {
       {HostSimStep::SendPayload, 2, false, HostSimStep::SendSize},
       {HostSimStep::HbOut, 1, true, HostSimStep::SendSize},
       {HostSimStep::ReceivePayload, 2, false, HostSimStep::ReceiveSize},
       {HostSimStep::HbIn, 1, true, HostSimStep::ReceiveSize},
       {HostSimStep::ReceiveStatus, 1, false, HostSimStep::ReceiveSize},
   };
   for (const Case& c : cases) {
      SCOPED_TRACE(HostSim_StepName(c.step));
      HostSimConfig config;
      config.highBandwidth = c.highBandwidth;
      config.replies["a command of some length"] = "1 a reply of some length";
      config.faults.push_back({c.step, c.occurrence, 0x0010});
      CHostSim sim(config);
      const Exchange run = RoundTrip(sim, "a command of some length");
      EXPECT_TRUE(run.received);
      EXPECT_EQ(run.reply, "1 a reply of some length");
      EXPECT_EQ(sim.commands(), std::vector<std::string>{"a command of some length"});
      EXPECT_EQ(sim.Count(c.sizeStep), 2u);
   }
}

TEST(MsgChannel, AHostThatInterruptsEveryAttemptIsGivenUpOn)
{
   for (const HostSimStep step : {HostSimStep::SendPayload, HostSimStep::HbOut}) {
      HostSimConfig config;
      config.highBandwidth = step == HostSimStep::HbOut;
      config.faults.push_back({step, 0, 0x0010});
      CHostSim sim(config);
      const Exchange run = RoundTrip(sim, "abcdefgh");
      EXPECT_TRUE(run.opened);
      EXPECT_FALSE(run.sent);
      EXPECT_EQ(sim.Count(HostSimStep::SendSize), 17u) << "one attempt and 16 restarts";
      EXPECT_TRUE(run.closed);
   }
   HostSimConfig config;
   config.highBandwidth = false;
   config.faults.push_back({HostSimStep::ReceivePayload, 0, 0x0010});
   CHostSim sim(config);
   const Exchange run = RoundTrip(sim, "abcdefgh");
   EXPECT_TRUE(run.sent);
   EXPECT_FALSE(run.received);
   EXPECT_EQ(sim.Count(HostSimStep::ReceiveSize), 17u);
}

TEST(MsgChannel, AFailedReceiveTellsTheHostOnTheStepStillExpected)
{
   struct Case {
      const char* name;
      bool highBandwidth;
      HostSimFault fault;
      HostSimStep toldOn; // the step that carried bx = 0
   };
   const Case cases[] = {
       {"piece refused", false, {HostSimStep::ReceivePayload, 2, 0}, HostSimStep::ReceivePayload},
       {"high-bandwidth refused", true, {HostSimStep::HbIn, 1, 0}, HostSimStep::ReceivePayload},
       {"status refused after all pieces", false, {HostSimStep::ReceiveStatus, 1, 0}, HostSimStep::ReceiveStatus},
       {"status refused after high bandwidth", true, {HostSimStep::ReceiveStatus, 1, 0}, HostSimStep::ReceivePayload},
   };
   for (const Case& c : cases) {
      SCOPED_TRACE(c.name);
      HostSimConfig config;
      config.highBandwidth = c.highBandwidth;
      config.replies["command"] = "1 a reply of several pieces";
      config.faults.push_back(c.fault);
      CHostSim sim(config);
      EXPECT_FALSE(RoundTrip(sim, "command").received);
      const HostSimTrace last = sim.trace()[sim.trace().size() - 2]; // before the close
      EXPECT_EQ(last.step, c.toldOn);
      EXPECT_EQ(last.bx, 0u);
   }
}

TEST(MsgChannel, AReplyTooBigForTheCallersBufferFailsWithoutWritingPastIt)
{
   HostSimConfig config;
   config.highBandwidth = false;
   config.replies["x"] = "1 twelve bytes";
   CHostSim sim(config);
   char buffer[16];
   memset(buffer, '#', sizeof buffer);
   const Exchange run = RoundTrip(sim, "x", buffer, 8);
   EXPECT_TRUE(run.sent);
   EXPECT_FALSE(run.received);
   EXPECT_EQ(std::string(buffer, sizeof buffer), std::string(16, '#'));
   const HostSimTrace last = sim.trace()[sim.trace().size() - 2];
   EXPECT_EQ(last.step, HostSimStep::ReceivePayload);
   EXPECT_EQ(last.bx, 0u);

   // The same reply fits a buffer one byte longer than it, with its NUL.
   CHostSim fits(config);
   const Exchange ok = RoundTrip(fits, "x", buffer, 15);
   EXPECT_TRUE(ok.received);
   EXPECT_EQ(std::string(buffer), "1 twelve bytes");
}

TEST(MsgChannel, NothingWaitingIsAnEmptyReply)
{
   HostSimConfig config;
   config.unanswered.push_back("x");
   CHostSim sim(config);
   const Exchange run = RoundTrip(sim, "x");
   EXPECT_TRUE(run.received);
   EXPECT_EQ(run.reply, "");
}

TEST(MsgChannel, AWrongReplyTypeInTheSizeAnswerFailsWithoutTellingTheHost)
{
   for (const bool highBandwidth : {false, true}) {
      SCOPED_TRACE(highBandwidth ? "high bandwidth" : "4-byte pieces");
      HostSimConfig config;
      config.highBandwidth = highBandwidth;
      config.replies["x"] = "1 reply";
      CHostSim sim(config);
      CSimDoor door(sim);
      simulated = &door.door();
      const BackdoorDoor wrong = {LowWithWrongSizeType, simulated->highBandwidthOut, simulated->highBandwidthIn};
      MsgChannel channel{};
      ASSERT_TRUE(MsgChannel_Open(wrong, kMsgProtocolRpci, &channel, nullptr, 0));
      ASSERT_TRUE(MsgChannel_Send(&channel, "x", 1));
      char* bytes = nullptr;
      size_t size = 0;
      EXPECT_FALSE(MsgChannel_Receive(&channel, &bytes, &size));
      EXPECT_EQ(sim.trace().back().step, HostSimStep::ReceiveSize);
      EXPECT_EQ(sim.Count(HostSimStep::ReceiveStatus), 0u);
      EXPECT_EQ(sim.Count(HostSimStep::ReceivePayload), 0u);
      EXPECT_TRUE(MsgChannel_Close(&channel));
   }
}
