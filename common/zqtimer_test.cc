#include "common/zqtimer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "common/process_state.h"

namespace {

uint32_t g_fakeNow = 0;
uint32_t FakeTicks() { return g_fakeNow; }

class CZQTimerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = SetTickSource(FakeTicks);
    g_fakeNow = 1000;
  }
  void TearDown() override {
    SetTickSource(previous_);
    g_Debug = false;
  }
  TickSource previous_ = nullptr;
};

TEST_F(CZQTimerTest, LabelsAreCaseInsensitive) {
  CZQTimer t("");
  EXPECT_TRUE(t.timers.empty());
  EXPECT_TRUE(t.labels.empty());
  EXPECT_TRUE(t.Start("overall"));
  g_fakeNow = 1250;
  EXPECT_EQ(t.Delta("OVERALL"), 250u);
  EXPECT_EQ(t.labels, (std::vector<std::string>{"OVERALL"}));
}

TEST_F(CZQTimerTest, ConstructorStartsItsLabel) {
  CZQTimer t("t1");
  ASSERT_EQ(t.timers.count("T1"), 1u);
  EXPECT_EQ(t.timers["T1"].first, 1000u);
  EXPECT_EQ(t.timers["T1"].second, 0u);  // running
}

TEST_F(CZQTimerTest, ReadingARunningStopwatchStopsIt) {
  CZQTimer t("A");
  g_fakeNow = 1400;
  EXPECT_EQ(t.Delta("a"), 400u);
  g_fakeNow = 9000;
  EXPECT_EQ(t.Delta("a"), 400u);
  EXPECT_EQ(t.ElapsedMs("a"), 400u);
  EXPECT_DOUBLE_EQ(static_cast<double>(t.ElapsedSeconds("a")), 0.4);
  // A second stop moves the end forward.
  EXPECT_TRUE(t.Stop("a"));
  EXPECT_EQ(t.Delta("a"), 8000u);
}

TEST_F(CZQTimerTest, RestartForgetsEarlierTimesAndIsListedAgain) {
  CZQTimer t("A");
  g_fakeNow = 2000;
  t.Stop("A");
  g_fakeNow = 5000;
  t.Start("a");
  g_fakeNow = 5030;
  EXPECT_EQ(t.Delta("A"), 30u);
  EXPECT_EQ(t.labels, (std::vector<std::string>{"A", "A"}));
}

TEST_F(CZQTimerTest, NeverStartedGivesZeroAndCannotBeStopped) {
  CZQTimer t("A");
  EXPECT_FALSE(t.Stop("never"));
  EXPECT_FALSE(t.Stop(""));
  EXPECT_FALSE(t.Start(""));
  EXPECT_EQ(t.Delta("never"), 0u);
  EXPECT_EQ(t.ElapsedMs("never"), 0u);
  EXPECT_EQ(t.ElapsedSeconds("never"), 0.0L);
  EXPECT_EQ(t.timers.count("NEVER"), 0u);
}

TEST_F(CZQTimerTest, ElapsedAcrossTheTickWrap) {
  g_fakeNow = 0xFFFFFFFFu - 295;  // 296 ms before the counter wraps
  CZQTimer t("wrap");
  g_fakeNow = 704;
  EXPECT_EQ(t.Delta("wrap"), 1000u);
}

TEST_F(CZQTimerTest, TickOfZeroIsAnExactReading) {
  g_fakeNow = 0;
  CZQTimer t("Z");
  g_fakeNow = 500;
  EXPECT_EQ(t.Delta("Z"), 500u);
  g_fakeNow = 0xFFFFFFFFu - 99;  // 100 ms before the wrap
  t.Start("E");
  g_fakeNow = 0;
  EXPECT_EQ(t.Delta("E"), 100u);
  g_fakeNow = 200;
  EXPECT_EQ(t.Delta("E"), 100u);  // stopped at tick 0, not running
  EXPECT_TRUE(t.Stop("E"));
  EXPECT_EQ(t.Delta("E"), 300u);
}

TEST_F(CZQTimerTest, DebugPrintsTicks) {
  CZQTimer t("A");
  g_fakeNow = 1300;
  t.Stop("A");
  g_Debug = true;
  testing::internal::CaptureStdout();
  EXPECT_EQ(t.ElapsedMs("a"), 300u);
  std::fflush(stdout);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Start: 1000\nEnd  : 1300\nDelta: 300\n");
}

TEST(GetTicksTest, SystemSourceMovesForward) {
  uint32_t a = GetTicks();
  uint32_t b = GetTicks();
  EXPECT_LT(b - a, 1000u);  // modulo 2^32: never goes backwards
}

}  // namespace
