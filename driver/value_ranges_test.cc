#include "driver/value_ranges.h"

#include <gtest/gtest.h>

namespace {

ValueRange Parse(const std::string& name, bool* ok) {
  ValueRange r;
  *ok = ParseValueRange(name, name.find(";range="), &r);
  return r;
}

TEST(ValueRanges, ReadsPartsAndTheLastPart) {
  bool ok = false;
  ValueRange r = Parse("member;range=0-1499", &ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(r.start, 0u);
  EXPECT_EQ(r.end, 1499u);
  EXPECT_FALSE(r.last);
  r = Parse("member;range=1500-*", &ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(r.start, 1500u);
  EXPECT_TRUE(r.last);
}

TEST(ValueRanges, MalformedRangesAreRefused) {
  bool ok = true;
  for (const char* name : {"member;range=", "member;range=0", "member;range=-5", "member;range=a-5",
                           "member;range=5-x", "member;range=5-", "member;range=9-3",
                           "member;range=0-99999999999"}) {
    Parse(name, &ok);
    EXPECT_FALSE(ok) << name;
  }
}

TEST(ValueRanges, NextRequestAlwaysMovesForward) {
  ValueRange r{0, 99, false};
  std::string request;
  unsigned long next = 0;
  ASSERT_TRUE(NextRangeRequest("member", r, &request, &next));
  EXPECT_EQ(request, "member;range=100-*");
  EXPECT_EQ(next, 100u);
  // A part of one value still moves on.
  r = {7, 7, false};
  ASSERT_TRUE(NextRangeRequest("member", r, &request, &next));
  EXPECT_EQ(next, 8u);
  r.last = true;
  EXPECT_FALSE(NextRangeRequest("member", r, &request, &next));
}

}  // namespace
