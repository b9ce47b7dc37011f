#include "platform/tick_count.h"

#include <gtest/gtest.h>

#include <time.h>

#include <chrono>
#include <thread>

namespace plat {
namespace {

TEST(TickCount, FollowsTheMonotonicClockInMilliseconds) {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  DWORD expected = static_cast<DWORD>(static_cast<uint64_t>(now.tv_sec) * 1000u +
                                      static_cast<uint64_t>(now.tv_nsec) / 1000000u);
  DWORD first = GetTickCount();
  EXPECT_LT(first - expected, 100u);  // modulo 2^32, like every tick difference

  std::this_thread::sleep_for(std::chrono::milliseconds(60));
  DWORD second = GetTickCount();
  EXPECT_GE(second - first, 55u);
  EXPECT_LT(second - first, 2000u);
}

}  // namespace
}  // namespace plat
