#include "driver/query_switches.h"

#include <gtest/gtest.h>

namespace {

using Lines = std::vector<std::string>;

TEST(SplitUserListTest, DelimitersAndEmptyPieces) {
  EXPECT_EQ(SplitUserList("a;b;", ";", false), (Lines{"a", "b"}));
  EXPECT_EQ(SplitUserList(";a;;b", ";", false), (Lines{"", "a", "", "b"}));
  EXPECT_EQ(SplitUserList(";a;;b", ";", true), (Lines{"a", "b"}));
  EXPECT_EQ(SplitUserList("a;b", "", false), (Lines{"a;b"}));
  EXPECT_EQ(SplitUserList("", "", false), Lines{});
  EXPECT_EQ(SplitUserList("a::b", "::", false), (Lines{"a", "b"}));
}

}  // namespace
