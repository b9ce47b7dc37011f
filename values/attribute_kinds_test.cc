#include "values/attribute_kinds.h"

#include <algorithm>

#include <gtest/gtest.h>

#include "common/process_state.h"

namespace {

bool Member(const std::map<std::string, int>& set, const std::string& name) {
  auto it = set.find(name);
  return it != set.end() && it->second != 0;
}

TEST(AttributeKindsTest, PresetsAreMembersSpelledExactly) {
  LoadAttributeKindMaps();
  EXPECT_EQ(g_GuidAttributes.size(), 17u);
  EXPECT_EQ(g_SidAttributes.size(), 11u);
  EXPECT_EQ(g_BinaryAttributes.size(), 1u);
  EXPECT_EQ(g_DnAttributes.size(), 9u);
  EXPECT_TRUE(Member(g_GuidAttributes, "objectGUID"));
  EXPECT_TRUE(Member(g_GuidAttributes, "schemaIDGUID"));
  EXPECT_FALSE(Member(g_GuidAttributes, "objectguid"));  // case matters
  EXPECT_TRUE(Member(g_SidAttributes, "tokenGroupsNoGCAcceptable"));
  EXPECT_TRUE(Member(g_BinaryAttributes, "netlogon"));
  EXPECT_TRUE(Member(g_DnAttributes, "msDs-masteredBy"));
  EXPECT_FALSE(Member(g_DnAttributes, "msDS-masteredBy"));
  EXPECT_EQ(std::count(g_BinaryAttributeExceptions.begin(),
                       g_BinaryAttributeExceptions.end(), "logonWorkstation"),
            1);
  // The time table is filled only on request.
  EXPECT_TRUE(g_TimeAttributes.empty());
}

TEST(AttributeKindsTest, TimeTableTwiceHoldsTenNames) {
  LoadTimeAttributeMap();
  LoadTimeAttributeMap();
  EXPECT_EQ(g_TimeAttributes.size(), 10u);
  EXPECT_TRUE(Member(g_TimeAttributes, "pwdLastSet"));
  EXPECT_TRUE(Member(g_TimeAttributes, "msDS-Cached-Membership-Time-Stamp"));
  EXPECT_FALSE(Member(g_TimeAttributes, "pwdlastset"));
}

}  // namespace
