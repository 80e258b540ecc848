// RPC out against the simulated host: reply forms, failures and what the caller gets back.
#include "lib/rpc/rpcOut.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "tests/rpc/simDoor.h"

namespace {

struct Result {
   bool ok;
   bool gotReply;
   std::string reply;
   size_t length;
};

Result Send(CHostSim& sim, const std::string& request)
{
   CSimDoor door(sim);
   char* reply = nullptr;
   size_t length = 12345;
   const bool ok = RpcOut_SendRequest(door.door(), request.data(), request.size(), nullptr, 0, &reply, &length);
   Result result{ok, reply != nullptr, reply ? std::string(reply, length) : std::string(), length};
   free(reply);
   return result;
}

} // namespace

TEST(RpcOut, TheReplyFormDecidesTheResult)
{
   struct Case {
      const char* hostReply; // null: nothing waiting after the command
      bool ok;
      const char* reply;
   };
   const Case cases[] = {
       {"1 ", true, ""},
       {"1 done", true, "done"},
       {"1 two  blanks ", true, "two  blanks "},
       {"0 refused here", false, "refused here"},
       {"0 ", false, ""},
       {"2 odd", false, kRpcOutInvalidReply},
       {"1", false, kRpcOutInvalidReply},
       {"", false, kRpcOutInvalidReply},
       {"1-x", false, kRpcOutInvalidReply},
       {nullptr, false, kRpcOutInvalidReply},
   };
   for (const Case& c : cases) {
      SCOPED_TRACE(c.hostReply ? c.hostReply : "(nothing waiting)");
      HostSimConfig config;
      if (c.hostReply) {
         config.replies["cmd"] = c.hostReply;
      } else {
         config.unanswered.push_back("cmd");
      }
      CHostSim sim(config);
      const Result r = Send(sim, "cmd");
      EXPECT_EQ(r.ok, c.ok);
      ASSERT_TRUE(r.gotReply);
      EXPECT_EQ(r.reply, c.reply);
      EXPECT_EQ(r.length, strlen(c.reply));
      EXPECT_EQ(sim.openChannels(), 0u) << "every command closes its channel";
   }
}

TEST(RpcOut, AFailedStepBecomesItsTextAndFalse)
{
   struct Case {
      HostSimFault fault;
      const char* reply;
   };
   const Case cases[] = {
       {{HostSimStep::SendSize, 1, 0}, kRpcOutSendFailed},
       {{HostSimStep::ReceiveSize, 1, 0}, kRpcOutReceiveFailed},
   };
   for (const Case& c : cases) {
      SCOPED_TRACE(c.reply);
      HostSimConfig config;
      config.faults.push_back(c.fault);
      CHostSim sim(config);
      const Result r = Send(sim, "cmd");
      EXPECT_FALSE(r.ok);
      EXPECT_EQ(r.reply, c.reply);
      EXPECT_EQ(sim.Count(HostSimStep::Close), 1u);
   }
}

TEST(RpcOut, AChannelThatDoesNotCloseLosesTheReply)
{
   HostSimConfig config;
   config.replies["cmd"] = "1 fine";
   config.faults.push_back({HostSimStep::Close, 1, 0});
   CHostSim sim(config);
   const Result r = Send(sim, "cmd");
   EXPECT_FALSE(r.ok);
   EXPECT_FALSE(r.gotReply);
}

TEST(RpcOut, WithoutAChannelTheCallersBufferGetsTheTextCutToItsSize)
{
   HostSimConfig config;
   config.trap = BackdoorAnswer::Unanswered;
   CHostSim sim(config);
   CSimDoor door(sim);

   char buffer[16];
   memset(buffer, '#', sizeof buffer);
   char* reply = reinterpret_cast<char*>(1);
   EXPECT_FALSE(RpcOut_SendRequest(door.door(), "cmd", 3, buffer, 10, &reply, nullptr));
   EXPECT_EQ(reply, nullptr);
   EXPECT_EQ(std::string(buffer), "RpcOut: U");
   EXPECT_EQ(buffer[10], '#');

   // A zero-sized buffer is left alone rather than written before its start.
   memset(buffer, '#', sizeof buffer);
   EXPECT_FALSE(RpcOut_SendRequest(door.door(), "cmd", 3, buffer + 8, 0, nullptr, nullptr));
   EXPECT_EQ(std::string(buffer, sizeof buffer), std::string(16, '#'));
}

TEST(RpcOut, TheReplyLandsInTheCallersBufferWhenGiven)
{
   HostSimConfig config;
   config.replies["cmd"] = "1 in place";
   CHostSim sim(config);
   CSimDoor door(sim);
   char buffer[32];
   size_t length = 0;
   char* reply = nullptr;
   EXPECT_TRUE(RpcOut_SendRequest(door.door(), "cmd", 3, buffer, sizeof buffer, &reply, &length));
   EXPECT_EQ(std::string(buffer), "1 in place");
   ASSERT_NE(reply, nullptr);
   EXPECT_EQ(std::string(reply, length), "in place");
   free(reply);
}

TEST(RpcOut, FormattedCommandsGoWithTheirOwnLength)
{
   CHostSim sim;
   CSimDoor door(sim);
   EXPECT_TRUE(RpcOut_SendFormatted(door.door(), nullptr, nullptr, "info-set guestinfo.toolsInstallErrCode %u", 1603u));
   EXPECT_TRUE(RpcOut_SendFormatted(door.door(), nullptr, nullptr, "%s", "log 100% done"));
   EXPECT_EQ(sim.commands(),
             (std::vector<std::string>{"info-set guestinfo.toolsInstallErrCode 1603", "log 100% done"}));
}
