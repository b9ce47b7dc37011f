#include "driver/switch_sources.h"

#include <gtest/gtest.h>

namespace {

using Lines = std::vector<std::string>;

TEST(SwitchFileTextTest, LinesAsTextModeReadsThem) {
  EXPECT_EQ(SplitSwitchFileText("-b dc=x\ncn sn\n\n"), (Lines{"-b dc=x", "cn sn", "", ""}));
  EXPECT_EQ(SplitSwitchFileText("a\r\nb\rc\r"), (Lines{"a", "b\rc\r"}));
  EXPECT_EQ(SplitSwitchFileText("a\n\x1a" "b\n"), (Lines{"a", ""}));
  EXPECT_EQ(SplitSwitchFileText(""), (Lines{""}));
}

}  // namespace
