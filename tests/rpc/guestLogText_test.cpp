// Log text to host commands, and the host's log level.
#include "lib/rpc/guestLogText.h"

#include <gtest/gtest.h>

#include <cstring>

#include "tests/rpc/simDoor.h"

namespace {

std::string Line(const std::string& text)
{
   return std::string(kGuestLogLinePrefix) + text;
}

} // namespace

TEST(GuestLogText, OnlyWholeNonEmptyLinesAreSent)
{
   struct Case {
      const char* name;
      std::string text;
      size_t length;
      std::vector<std::string> sent;
   };
   const std::string longLine(3000, 'L');
   const Case cases[] = {
       {"CR LF ends one line", "abc\r\n", 5, {Line("abc")}},
       {"no line break sends nothing", "no break", 8, {}},
       {"each break ends a line", "one\ntwo\rthree\n", 14, {Line("one"), Line("two"), Line("three")}},
       {"a cut-off line is not sent", "one\ntwo\n", 6, {Line("one")}},
       {"bytes after the last break stay", "one\ntail", 8, {Line("one")}},
       {"the walk ends at a NUL", std::string("one\0two\n", 8), 8, {}},
       {"only breaks", "\n\r\n\r", 4, {}},
       {"a long line goes whole", longLine + "\n", 3001, {Line(longLine)}},
       {"nothing", "", 0, {}},
   };
   for (const Case& c : cases) {
      SCOPED_TRACE(c.name);
      CHostSim sim;
      CSimDoor door(sim);
      EXPECT_TRUE(GuestLog_ForwardText(door.door(), c.text.data(), c.length));
      EXPECT_EQ(sim.commands(), c.sent);
   }
}

TEST(GuestLogText, TheTextIsOnlyRead)
{
   // The logger hands over fixed notices that live in read-only memory.
   static const char notice[] = "The following message is truncated:\n";
   CHostSim sim;
   CSimDoor door(sim);
   EXPECT_TRUE(GuestLog_ForwardText(door.door(), notice, sizeof notice - 1));
   EXPECT_EQ(sim.commands(), std::vector<std::string>{Line("The following message is truncated:")});
}

TEST(GuestLogText, AFailedLineFailsTheResultButNotTheRest)
{
   HostSimConfig config;
   config.replies[Line("first")] = "0 refused";
   CHostSim sim(config);
   CSimDoor door(sim);
   EXPECT_FALSE(GuestLog_ForwardText(door.door(), "first\nsecond\n", 13));
   EXPECT_EQ(sim.commands(), (std::vector<std::string>{Line("first"), Line("second")}));
}

TEST(GuestLogText, ANullTextIsReportedToTheHost)
{
   CHostSim sim;
   CSimDoor door(sim);
   EXPECT_FALSE(GuestLog_ForwardText(door.door(), nullptr, 10));
   EXPECT_EQ(sim.commands(), std::vector<std::string>{"log buf is NULL"});
}

TEST(GuestLogText, TheHostLevelComesFromItsExactWord)
{
   const std::pair<const char*, uint32_t> words[] = {
       {"info", 5}, {"verbose", 6}, {"trivia", 7}, {"off", 1}, {"Verbose", 1}, {"info ", 1}, {"", 1},
   };
   for (const auto& [word, level] : words) {
      SCOPED_TRACE(word);
      HostSimConfig config;
      config.logState = word;
      CHostSim sim(config);
      CSimDoor door(sim);
      EXPECT_EQ(GuestLog_GetHostLevel(door.door()), level);
      EXPECT_EQ(sim.commands(), std::vector<std::string>{"guest.log.state"});
   }
}

TEST(GuestLogText, AHostThatDoesNotAnswerTheLevelLeavesForwardingOff)
{
   HostSimConfig refusing;
   refusing.replies["guest.log.state"] = "0 verbose";
   HostSimConfig absent;
   absent.trap = BackdoorAnswer::Unanswered;
   for (const HostSimConfig& config : {refusing, absent}) {
      CHostSim sim(config);
      CSimDoor door(sim);
      EXPECT_EQ(GuestLog_GetHostLevel(door.door()), kGuestLogLevelOff);
   }
}
