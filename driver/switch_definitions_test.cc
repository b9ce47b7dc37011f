#include "driver/switch_definitions.h"

#include <gtest/gtest.h>

namespace {

using Lines = std::vector<std::string>;

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
