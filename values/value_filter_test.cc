#include "values/value_filter.h"

#include <gtest/gtest.h>

namespace {

using Map = std::map<std::string, std::string>;

TEST(ValueFilter, ShowPatternKeepsOnlyValuesHoldingIt) {
  Map show{{"member", "ou=sales"}};
  auto p = FindValueFilterPatterns(&show, nullptr, false, "member");
  EXPECT_FALSE(ValueFilterDrops(p, "CN=a,OU=Sales,DC=t"));  // lower-cased before the test
  EXPECT_TRUE(ValueFilterDrops(p, "CN=b,OU=Eng,DC=t"));
}

TEST(ValueFilter, NotPatternDropsValuesHoldingIt) {
  Map notShow{{"member", "ou=sales"}};
  auto p = FindValueFilterPatterns(nullptr, &notShow, false, "member");
  EXPECT_TRUE(ValueFilterDrops(p, "CN=a,OU=SALES,DC=t"));
  EXPECT_FALSE(ValueFilterDrops(p, "CN=b,OU=Eng,DC=t"));
}

TEST(ValueFilter, AppliesOnlyToAttributesItNames) {
  Map show{{"member", "ou=sales"}};
  Map notShow{{"memberof", "admins"}};
  auto p = FindValueFilterPatterns(&show, &notShow, false, "description");
  EXPECT_FALSE(p.active());
  EXPECT_FALSE(ValueFilterDrops(p, "anything"));
  EXPECT_FALSE(ValueFilterDrops(p, ""));
}

TEST(ValueFilter, EmptyPatternIsNoPattern) {
  Map show{{"member", ""}};
  Map notShow{{"member", ""}};
  auto p = FindValueFilterPatterns(&show, &notShow, false, "member");
  EXPECT_FALSE(p.active());
  EXPECT_FALSE(ValueFilterDrops(p, "CN=x"));
}

TEST(ValueFilter, BothTablesApplyNotFirst) {
  Map show{{"mail", "@acc"}};
  Map notShow{{"mail", "old"}};
  auto p = FindValueFilterPatterns(&show, &notShow, false, "mail");
  EXPECT_FALSE(ValueFilterDrops(p, "jo@acc.test"));
  EXPECT_TRUE(ValueFilterDrops(p, "jo.old@acc.test"));
  EXPECT_TRUE(ValueFilterDrops(p, "jo@other.test"));
}

TEST(ValueFilter, CaseSensitiveKeepsTheTestedTextsCase) {
  Map show{{"cn", "Jo"}};
  auto p = FindValueFilterPatterns(&show, nullptr, true, "cn");
  EXPECT_FALSE(ValueFilterDrops(p, "Jo Smith"));
  EXPECT_TRUE(ValueFilterDrops(p, "jo smith"));
}

TEST(ValueFilter, KeyIsTheLowerCasedNameExactly) {
  Map show{{"msds-replattributemetadata;binary", "pwd"}};
  EXPECT_TRUE(FindValueFilterPatterns(&show, nullptr, false, "msds-replattributemetadata;binary").active());
  EXPECT_FALSE(FindValueFilterPatterns(&show, nullptr, false, "msds-replattributemetadata").active());
}

}  // namespace
