#include "driver/attribute_dispatch.h"

#include <gtest/gtest.h>

namespace {

DispatchSettings Contexts() {
  DispatchSettings s;
  s.schemaNamingContext = "CN=Schema,CN=Configuration,DC=t";
  s.configurationNamingContext = "CN=Configuration,DC=t";
  return s;
}

TEST(AttributeDispatch, EntriesArePlacedByTheirNamingContext) {
  const DispatchSettings s = Contexts();
  EntryPlace schema = PlaceEntry("CN=cn,CN=Schema,CN=Configuration,DC=t", s);
  EXPECT_TRUE(schema.inSchema);
  EXPECT_FALSE(schema.inConfiguration);
  EntryPlace config = PlaceEntry("CN=Partitions,CN=Configuration,DC=t", s);
  EXPECT_FALSE(config.inSchema);
  EXPECT_TRUE(config.inConfiguration);
  EntryPlace domain = PlaceEntry("CN=u,DC=t", s);
  EXPECT_FALSE(domain.inSchema || domain.inConfiguration || domain.rootDse);
  EXPECT_TRUE(PlaceEntry("", s).rootDse);
}

TEST(AttributeDispatch, AnEmptyNamingContextContainsNoEntry) {
  DispatchSettings s;  // a directory without schema or configuration context
  EntryPlace place = PlaceEntry("uid=u,dc=x", s);
  EXPECT_FALSE(place.inSchema);
  EXPECT_FALSE(place.inConfiguration);
  s.flagDecode = true;
  EXPECT_EQ(SelectDispatchRow("systemflags", place, s), DispatchRow::kObjectSystemFlags);
}

TEST(AttributeDispatch, SystemFlagsGoesToThreeDecodersByPlace) {
  DispatchSettings s = Contexts();
  s.flagDecode = true;
  EXPECT_EQ(SelectDispatchRow("systemflags", PlaceEntry("CN=a,CN=Schema,CN=Configuration,DC=t", s), s),
            DispatchRow::kSchemaAttributeFlags);
  EXPECT_EQ(SelectDispatchRow("systemflags", PlaceEntry("CN=p,CN=Configuration,DC=t", s), s),
            DispatchRow::kCrossRefSystemFlags);
  EXPECT_EQ(SelectDispatchRow("systemflags", PlaceEntry("DC=t", s), s),
            DispatchRow::kObjectSystemFlags);
}

TEST(AttributeDispatch, RowsNeedTheirSwitchAndContext) {
  DispatchSettings s = Contexts();
  const EntryPlace domain = PlaceEntry("CN=u,DC=t", s);
  EXPECT_EQ(SelectDispatchRow("useraccountcontrol", domain, s), DispatchRow::kGeneral);
  s.samDecode = true;
  EXPECT_EQ(SelectDispatchRow("useraccountcontrol", domain, s), DispatchRow::kSamAttributes);
  EXPECT_EQ(SelectDispatchRow("maxpwdage", domain, s), DispatchRow::kDomainIntervals);
  s.rootDseDecode = true;
  EXPECT_EQ(SelectDispatchRow("supportedcontrol", domain, s), DispatchRow::kGeneral);
  EXPECT_EQ(SelectDispatchRow("supportedcontrol", PlaceEntry("", s), s),
            DispatchRow::kRootDseAttributes);
  s.sddlPlus = true;
  EXPECT_EQ(SelectDispatchRow("defaultsecuritydescriptor", domain, s), DispatchRow::kGeneral);
  EXPECT_EQ(SelectDispatchRow("defaultsecuritydescriptor",
                              PlaceEntry("CN=User,CN=Schema,CN=Configuration,DC=t", s), s),
            DispatchRow::kDefaultSecurityDescriptor);
  EXPECT_EQ(SelectDispatchRow("instancetype", domain, s), DispatchRow::kGeneral);
  s.flagDecode = true;
  EXPECT_EQ(SelectDispatchRow("instancetype", domain, s), DispatchRow::kInstanceType);
  EXPECT_EQ(SelectDispatchRow("msds-behavior-version", domain, s), DispatchRow::kBehaviorVersion);
  EXPECT_EQ(SelectDispatchRow("validaccesses", domain, s), DispatchRow::kGeneral);
  EXPECT_EQ(SelectDispatchRow("validaccesses", PlaceEntry("CN=r,CN=Configuration,DC=t", s), s),
            DispatchRow::kValidAccesses);
  // Names are compared in full, in lower case.
  EXPECT_EQ(SelectDispatchRow("useraccountcontrolx", domain, s), DispatchRow::kGeneral);
}

}  // namespace
