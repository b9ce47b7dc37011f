#include "values/meta_lines.h"

#include <gtest/gtest.h>

#include "values/replication_test_fixture.h"
#include "values/test_record_builder.h"

namespace {

TEST(ShortenDsaName, SettingsObjectDnsAndEverythingElse) {
  struct Case {
    std::string dsa;
    std::string shortened;
  } cases[] = {
      {kDsa1, "Main-Site\\DC01"},
      {kDsa2, "Branch\\DC7"},
      {"CN=NTDS Settings,CN=DC1,CN=Servers,CN=Default-First-Site-Name,CN=Sites",
       "Default-First-Site-Name\\DC1"},
      {"DeletedDSA", "DeletedDSA"},
      {"CN=Other,CN=dc01,CN=Servers,CN=Main-Site", "CN=Other,CN=dc01,CN=Servers,CN=Main-Site"},
      {"cn=NTDS Settings,CN=dc01,CN=Servers,CN=Main-Site", "cn=NTDS Settings,CN=dc01,CN=Servers,CN=Main-Site"},
      // Missing fields leave the text as it is.
      {"CN=NTDS Settings,CN=dc01,CN=Servers", "CN=NTDS Settings,CN=dc01,CN=Servers"},
      {"CN=NTDS Settings", "CN=NTDS Settings"},
      {"CN=NTDS Settings,ab,CN=Servers,CN=Site", "CN=NTDS Settings,ab,CN=Servers,CN=Site"},
      {"CN=NTDS Settings,CN=x,CN=Servers,CN", "CN=NTDS Settings,CN=x,CN=Servers,CN"},
      {"CN=NTDS Settings,CN=,CN=Servers,CN=", "\\"},
  };
  for (const Case& c : cases) EXPECT_EQ(ShortenDsaName(c.dsa), c.shortened) << c.dsa;
}

TEST(PadNumericSortKey, LeftPadsToTwentyFiveAndKeepsLongerKeys) {
  EXPECT_EQ(PadNumericSortKey("5"), std::string(24, '0') + "5");
  EXPECT_EQ(PadNumericSortKey("12"), std::string(23, '0') + "12");
  EXPECT_EQ(PadNumericSortKey("LEGACY"), std::string(19, '0') + "LEGACY");
  EXPECT_EQ(PadNumericSortKey(std::string(26, '9')), std::string(26, '9'));
}

class MetaLines : public ReplicationPhaseTest {
 protected:
  std::string Print(const std::vector<std::pair<std::string, std::string>>& keyed,
                    std::string_view label = ">a: ") {
    MetaLineList list("msDS-X;binary");
    for (const auto& [key, text] : keyed) list.Add(key, text);
    std::string out;
    list.Print(label, &out);
    return out;
  }
};

TEST_F(MetaLines, SortedCaseInsensitivelyOnTheWholeLineAndReversedByADash) {
  const std::vector<std::pair<std::string, std::string>> keyed = {
      {"b", "second"}, {"A", "first"}, {"b", "Another b"}, {"", "empty key"}};
  EXPECT_EQ(Print(keyed), ">a: first\n>a: Another b\n>a: second\n>a: empty key\n");
  g_MetaSortKey = "-";
  EXPECT_EQ(Print(keyed), ">a: empty key\n>a: second\n>a: Another b\n>a: first\n");
  g_MetaSortKey = "attrib";
  EXPECT_EQ(Print(keyed, ""), "first\nAnother b\nsecond\nempty key\n");
}

// The key and the text stay apart: a marker or line end in a key from the
// server neither shows nor cuts the text; a marker in the text is printed.
TEST_F(MetaLines, KeysNeverLeakIntoThePrintedText) {
  EXPECT_EQ(Print({{"x~~~ZQ~~~evil", "text one"}, {"y", "a~~~ZQ~~~b"}}),
            ">a: text one\n>a: a~~~ZQ~~~b\n");
}

TEST_F(MetaLines, FiltersTestTheWholeLineKeyAndMarkerIncluded) {
  const std::vector<std::pair<std::string, std::string>> keyed = {{"KeyOne", "alpha"},
                                                                  {"KeyTwo", "beta"}};
  ShowOnly("msds-x;binary", "keyone");
  EXPECT_EQ(Print(keyed), ">a: alpha\n");
  g_MvFilterMap["msds-x;binary"] = "~~~zq~~~beta";
  EXPECT_EQ(Print(keyed), ">a: beta\n");
  g_MvFilterCaseSensitive = true;
  g_MvFilterMap["msds-x;binary"] = "KeyTwo";
  EXPECT_EQ(Print(keyed), ">a: beta\n");
  SetUp();
  Hide("msds-x;binary", "alpha");
  EXPECT_EQ(Print(keyed), ">a: beta\n");
  // A pattern for another attribute filters nothing here.
  SetUp();
  ShowOnly("msds-y;binary", "zzz");
  EXPECT_EQ(Print(keyed), ">a: alpha\n>a: beta\n");
}

TEST_F(MetaLines, UndecodableValuesFollowAsHexDumps) {
  MetaLineList list("msDS-X");
  list.AddUndecodable(std::string("\x01\xAB\x7F", 3));
  list.Add("k", "decoded");
  std::string out;
  list.Print(">a: ", &out);
  EXPECT_EQ(out, ">a: decoded\n>a: 01AB 7F \n");
}

TEST(AppendPadded, LeftAndRightAlignedNeverCut) {
  std::string out;
  AppendPadded(&out, "ab", 5, true);
  AppendPadded(&out, "cd", 5, false);
  AppendPadded(&out, "toolong", 3, false);
  EXPECT_EQ(out, "ab      cdtoolong");
}

}  // namespace
