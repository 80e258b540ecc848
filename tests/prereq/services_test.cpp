// Starting the tools service against a real service of the Wine prefix, the start-pending
// wait over a simulated clock, and stopping services through the Restart Manager.
#include "lib/install/serviceUtil.h"

#include <gtest/gtest.h>

#include "tests/prereq/prereqSupport.h"

namespace
{

class Services : public ::testing::Test, protected LoggedTest
{
 protected:
   InstalledTools tools_;
};

// A service that reports the given statuses in turn, and the time the wait slept.
struct ScriptedService {
   std::vector<ServiceProgress> script;
   size_t next = 0;
   DWORD slept = 0;

   DWORD Wait(ServiceProgress first)
   {
      return Inst_WaitWhileStartPending(
          first,
          [this](ServiceProgress& status) {
             if (next >= script.size()) {
                return false;
             }
             status = script[next++];
             return true;
          },
          [this](DWORD ms) { slept += ms; });
   }
};

} // namespace

TEST_F(Services, StartsAStoppedServiceAndWaitsUntilItRuns)
{
   ASSERT_TRUE(tools_.RegisterService(1500));
   EXPECT_TRUE(Inst_StartService("TXTools"));
   EXPECT_EQ(tools_.ServiceState(), static_cast<DWORD>(SERVICE_RUNNING));
   const std::string log = Log();
   ExpectLines(log, {"Inst_StartService: Attempting to start service: TXTools",
                     "Inst_StartService: Service has been started",
                     "Inst_StartService: service status: SERVICE_START_PENDING cp=0x",
                     "Inst_StartService: Updating sleep hint: 1000", "Inst_StartService: Service is running"});

   // Started once more, it is already running: still a success.
   EXPECT_TRUE(Inst_StartService("TXTools"));
   EXPECT_TRUE(Contains(Log(), "Inst_StartService: Service is already running")) << Log();
}

TEST_F(Services, AMissingServiceIsAFailure)
{
   EXPECT_FALSE(Inst_StartService("TXTools"));
   EXPECT_FALSE(Inst_StartService(nullptr));
   const std::string log = Log();
   ExpectLines(log, {"Inst_StartService: Service could not be opened: ERROR_SERVICE_DOES_NOT_EXIST",
                     "Inst_StartService: Attempting to open service using reduced permissions",
                     "Inst_StartService: invalid parameter"});
   EXPECT_FALSE(Contains(log, "Service has been started")) << log;
}

TEST(ServiceWait, GivesUpAfterThirtySecondsEvenWhileTheCheckPointGrows)
{
   LoggedTest logged;
   ScriptedService stuck;
   stuck.script.assign(100, ServiceProgress{SERVICE_START_PENDING, 1, 2000});
   EXPECT_EQ(stuck.Wait({SERVICE_START_PENDING, 1, 2000}), static_cast<DWORD>(SERVICE_START_PENDING));
   EXPECT_EQ(stuck.slept, 30000u);

   ScriptedService progressing;
   for (DWORD cp = 2; cp < 200; cp++) {
      progressing.script.push_back({SERVICE_START_PENDING, cp, 1000});
   }
   EXPECT_EQ(progressing.Wait({SERVICE_START_PENDING, 1, 1000}), static_cast<DWORD>(SERVICE_START_PENDING));
   EXPECT_EQ(progressing.slept, 30000u) << "a growing check point resets the hint, not the limit";

   const std::string log = logged.Log();
   ExpectLines(log, {"Inst_StartService: Slept hint duration without any progress",
                     "Inst_StartService: Not giving up yet since haven't slept for 30 seconds: 2500",
                     "Inst_StartService: Slept for 30 seconds, giving up"});
}

TEST(ServiceWait, EndsWhenTheServiceLeavesStartPending)
{
   LoggedTest logged;
   ScriptedService starting;
   starting.script = {{SERVICE_START_PENDING, 2, 1000}, {SERVICE_RUNNING, 0, 0}};
   EXPECT_EQ(starting.Wait({SERVICE_START_PENDING, 1, 1000}), static_cast<DWORD>(SERVICE_RUNNING));
   EXPECT_EQ(starting.slept, 1000u);

   ScriptedService unreadable; // the status cannot be read again: the last state stands
   EXPECT_EQ(unreadable.Wait({SERVICE_START_PENDING, 1, 1000}), static_cast<DWORD>(SERVICE_START_PENDING));
   EXPECT_EQ(unreadable.slept, 500u);
   EXPECT_TRUE(Contains(logged.Log(), "Inst_StartService: Could not query service status")) << logged.Log();
}

TEST(ServiceWait, StateNames)
{
   EXPECT_STREQ(ServiceStateName(0), "INVALID");
   EXPECT_STREQ(ServiceStateName(SERVICE_STOPPED), "SERVICE_STOPPED");
   EXPECT_STREQ(ServiceStateName(SERVICE_RUNNING), "SERVICE_RUNNING");
   EXPECT_STREQ(ServiceStateName(SERVICE_PAUSED), "SERVICE_PAUSED");
   EXPECT_STREQ(ServiceStateName(8), "INVALID");
}

TEST_F(Services, RestartManagerStopsTheRegisteredServices)
{
   ASSERT_TRUE(tools_.RegisterService());
   ASSERT_TRUE(Inst_StartService("TXTools"));
   const wchar_t* names[] = {L"TXTools", L"TGAuthService", L"txvss"};
   FakeRestartManager::Install(FakeRestartManager::FailAt::Nothing);
   EXPECT_TRUE(Util_StopFilesInUse(3, names));
   FakeRestartManager::Remove();
   EXPECT_EQ(FakeRestartManager::registered, (std::vector<std::wstring>{L"TXTools", L"TGAuthService", L"txvss"}));
   EXPECT_TRUE(FakeRestartManager::sessionEnded);
   EXPECT_EQ(tools_.ServiceState(), static_cast<DWORD>(SERVICE_STOPPED));
   EXPECT_TRUE(Contains(Log(), "Util_StopFilesInUse: Util_StopFilesInUse returning success")) << Log();
}

TEST_F(Services, RestartManagerFailuresAreLoggedAndReported)
{
   const wchar_t* names[] = {L"TXTools"};
   const struct {
      FakeRestartManager::FailAt failAt;
      bool result;
      bool ended;
      const char* line;
   } cases[] = {
       {FakeRestartManager::FailAt::Start, false, false, "Util_StopFilesInUse: RmStartSession failed"},
       {FakeRestartManager::FailAt::Register, false, true, "Util_StopFilesInUse: RmRegisterSession failed"},
       {FakeRestartManager::FailAt::Shutdown, false, true, "Util_StopFilesInUse: RmShutdown failed"},
       {FakeRestartManager::FailAt::End, true, true, "Util_StopFilesInUse: RmEndSession failed"},
   };
   for (const auto& c : cases) {
      FakeRestartManager::Install(c.failAt);
      EXPECT_EQ(Util_StopFilesInUse(1, names), c.result) << c.line;
      EXPECT_EQ(FakeRestartManager::sessionEnded, c.ended) << c.line;
      EXPECT_TRUE(Contains(Log(), c.line)) << c.line;
   }
   FakeRestartManager::Remove();

   // An export the library lacks.
   static const RestartManagerApi noShutdown{
       [](DWORD* s, DWORD, WCHAR*) -> DWORD { return *s = 1, 0u; },
       [](DWORD, UINT, LPCWSTR*, UINT, RM_UNIQUE_PROCESS*, UINT, LPCWSTR*) -> DWORD { return 0; }, nullptr,
       [](DWORD) -> DWORD { return 0; }};
   Util_SetRestartManagerForTest(&noShutdown);
   EXPECT_FALSE(Util_StopFilesInUse(1, names));
   Util_SetRestartManagerForTest(nullptr);
   EXPECT_TRUE(Contains(Log(), "Util_StopFilesInUse: Failed to get RmShutdown function pointer")) << Log();

   EXPECT_FALSE(Util_StopFilesInUse(0, names));
   EXPECT_TRUE(Contains(Log(), "Util_StopFilesInUse: Number of services to stop is zero")) << Log();
}

TEST_F(Services, WinesRestartManagerAcceptsTheSession)
{
   // The real library: Wine's sessions succeed without shutting anything down.
   const wchar_t* names[] = {L"TXTools", L"TGAuthService", L"txvss"};
   EXPECT_TRUE(Util_StopFilesInUse(3, names)) << Log();
}
