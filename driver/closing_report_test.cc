#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/cmdline.h"
#include "common/process_state.h"
#include "common/zqtimer.h"
#include "directory/scripted_ldap_server.h"
#include "directory/sid_account_lookup.h"
#include "driver/search_phases.h"
#include "platform/ldap_client.h"
#include "platform/sid.h"

namespace {

uint32_t g_now = 1000;
uint32_t Now() { return g_now; }

// A run that has searched: the run's stopwatch set with its phase labels and
// the search stopwatch "T1", on a tick count the test moves by hand.
class ClosingReport : public testing::Test {
 protected:
  void SetUp() override {
    previous_ = SetTickSource(&Now);
    g_Quiet = g_Debug = g_StatsReceived = false;
    char program[] = "quelby";
    char* argv[] = {program, nullptr};
    cmdLine_ = std::make_unique<CCmdLine>(1, argv, std::vector<std::string>{}, false);
    g_now = 1000;
    timers_ = std::make_unique<CZQTimer>("");
    timers_->Start("OVERALL");
    g_now = 1100;
    timers_->Start("LDAP_OPEN");
    g_now = 1150;
    timers_->Stop("LDAP_OPEN");
    timers_->Start("LDAP_GET_PAGES");
    run_.reset(new QueryRun{*cmdLine_, settings_, timers_.get()});
    run_->search.searchTimer = std::make_unique<CZQTimer>("T1");
    run_->search.objectCount = 3;
    g_now = 1400;
  }
  void TearDown() override {
    SetTickSource(previous_);
    g_Quiet = g_Debug = g_StatsReceived = false;
  }

  std::string Report() {
    testing::internal::CaptureStdout();
    PrintClosingReport(*run_);
    return testing::internal::GetCapturedStdout();
  }

  TickSource previous_ = nullptr;
  QuerySettings settings_;
  std::unique_ptr<CCmdLine> cmdLine_;
  std::unique_ptr<CZQTimer> timers_;
  std::unique_ptr<QueryRun> run_;
};

TEST_F(ClosingReport, CountLineInTheDefaultLayout) {
  EXPECT_EQ(Report(), "\n3 Objects returned\n");
}

TEST_F(ClosingReport, QuietLayoutsPrintTheCountOnlyWithCountOnly) {
  g_Quiet = true;
  EXPECT_EQ(Report(), "");
  settings_.countOnly = true;
  EXPECT_EQ(Report(), "\n3 Objects returned\n");
}

TEST_F(ClosingReport, QuotedDnsHaveNoCountLine) {
  settings_.quotedDn = true;
  EXPECT_EQ(Report(), "");
}

TEST_F(ClosingReport, ElapsedLinesOfTheSearchStopwatch) {
  settings_.elapsedMs = true;
  settings_.elapsed = true;
  EXPECT_EQ(Report(), "\n3 Objects returned\nElapsed MS: 250\nTime Elapsed (sec): 0.25\n");
}

TEST_F(ClosingReport, StatisticsOnlyLeavesOutCountAndElapsedButNotTheStatistics) {
  settings_.statsOnly = settings_.stats = true;
  settings_.countOnly = settings_.elapsed = true;
  EXPECT_EQ(Report(), "No STATS information was returned.\n");
}

TEST_F(ClosingReport, StopwatchListingInStartOrderInSeconds) {
  settings_.stopwatchesSeconds = true;
  settings_.stopwatchesMs = true;  // seconds win
  timers_->Start("LDAP_OPEN");     // a label started twice is listed twice
  g_now = 1500;
  EXPECT_EQ(Report(),
            "\n3 Objects returned\n"
            "\nElapsed Times:\n"
            "   OVERALL                    0.5\n"
            "   LDAP_OPEN                  0.1\n"
            "   LDAP_GET_PAGES             0.35\n"
            "   LDAP_OPEN                  0.1\n"
            "   LDAP_UNBIND                0\n"
            "\n");
}

TEST_F(ClosingReport, StopwatchListingInMilliseconds) {
  settings_.stopwatchesMs = true;
  g_Quiet = true;
  EXPECT_EQ(Report(),
            "\nElapsed Times:\n"
            "   OVERALL                    400\n"
            "   LDAP_OPEN                  50\n"
            "   LDAP_GET_PAGES             250\n"
            "   LDAP_UNBIND                0\n"
            "\n");
}

TEST_F(ClosingReport, DebugLinesOfAStopwatchComeBeforeItsLine) {
  g_Debug = true;
  settings_.elapsedMs = true;
  EXPECT_EQ(Report(), "\n3 Objects returned\nStart: 1150\nEnd  : 1400\nDelta: 250\nElapsed MS: 250\n");
}

// Last in this file: after it the directory is not asked for SIDs again in
// this process.
TEST_F(ClosingReport, ASidLookupThatGotNoAnswerMakesTheRunFail) {
  settings_.resultCode = 0;
  Report();
  EXPECT_EQ(settings_.resultCode, 0);
  ScriptedLdapServer server({});
  server.StallAtSearch(0);
  plat::LDAP* ld = plat::ldap_sslinit("127.0.0.1", static_cast<ULONG>(server.port()), 0);
  ULONG one = 1;
  plat::ldap_set_option(ld, plat::LDAP_OPT_WAIT_LIMIT, &one);
  std::vector<BYTE> sid;
  ASSERT_TRUE(plat::ConvertStringSidToSidA("S-1-5-21-1-2-3-500", &sid));
  std::string domain;
  std::string name;
  testing::internal::CaptureStderr();
  EXPECT_EQ(LookupSidInDirectory(ld, sid.data(), &domain, &name), 0);
  testing::internal::GetCapturedStderr();
  plat::ldap_unbind(ld);
  Report();
  EXPECT_EQ(settings_.resultCode, 0x55);
  // A failure of the search itself keeps its own code.
  settings_.resultCode = 32;
  Report();
  EXPECT_EQ(settings_.resultCode, 32);
}

}  // namespace
