#include "driver/switch_sources.h"

#include <gtest/gtest.h>

#include "driver/query_switches.h"
#include "driver/switch_definitions.h"

namespace {

using Lines = std::vector<std::string>;

TEST(SwitchFileTextTest, LinesAsTextModeReadsThem) {
  EXPECT_EQ(SplitSwitchFileText("-b dc=x\ncn sn\n\n"), (Lines{"-b dc=x", "cn sn", "", ""}));
  EXPECT_EQ(SplitSwitchFileText("a\r\nb\rc\r"), (Lines{"a", "b\rc\r"}));
  EXPECT_EQ(SplitSwitchFileText("a\n\x1a" "b\n"), (Lines{"a", ""}));
  EXPECT_EQ(SplitSwitchFileText(""), (Lines{""}));
}

TEST(SplitUserListTest, DelimitersAndEmptyPieces) {
  EXPECT_EQ(SplitUserList("a;b;", ";", false), (Lines{"a", "b"}));
  EXPECT_EQ(SplitUserList(";a;;b", ";", false), (Lines{"", "a", "", "b"}));
  EXPECT_EQ(SplitUserList(";a;;b", ";", true), (Lines{"a", "b"}));
  EXPECT_EQ(SplitUserList("a;b", "", false), (Lines{"a;b"}));
  EXPECT_EQ(SplitUserList("", "", false), Lines{});
  EXPECT_EQ(SplitUserList("a::b", "::", false), (Lines{"a", "b"}));
}

TEST(SwitchDefinitionsTest, FlagsThenValueSwitches) {
  Lines defs = BuildSwitchDefinitions();
  ASSERT_EQ(defs.size(), kSwitchDefinitionCount);
  for (size_t i = 0; i < defs.size(); ++i) {
    EXPECT_EQ(defs[i][0] == ':', i < 93) << defs[i];
  }
  EXPECT_EQ(defs.front(), ":q");
  EXPECT_EQ(defs[92], ":sdsizenl");
  EXPECT_EQ(defs[93], "h");
  EXPECT_EQ(defs.back(), "fullrootdse");
}

}  // namespace
