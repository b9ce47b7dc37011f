#include "driver/dn_replace_list.h"

#include <gtest/gtest.h>

#include "values/dn_replace.h"

namespace {

const NamingContextTexts kContexts{"CN=Configuration,DC=example,DC=com",
                                   "CN=Schema,CN=Configuration,DC=example,DC=com",
                                   "DC=example,DC=com", "DC=example,DC=com"};

struct Built {
  bool on = false;
  std::vector<std::string> from;
  std::map<std::string, std::string> map;
  std::string Apply(const std::string& dn) const { return ReplaceDn(dn, &from, &map); }
};

Built Build(const std::string& value, const std::string& delimiter = ";",
            const NamingContextTexts& contexts = kContexts) {
  Built b;
  b.on = BuildDnReplacementList(value, delimiter, contexts, false, &b.from, &b.map);
  return b;
}

TEST(DnReplacementList, ConfigTokenMapsTheConfigurationContext) {
  Built b = Build("_config");
  ASSERT_TRUE(b.on);
  ASSERT_EQ(b.from, std::vector<std::string>{"CN=Configuration,DC=example,DC=com"});
  EXPECT_EQ(b.map.at(b.from[0]), "<CONFIG>");
  EXPECT_EQ(b.Apply("CN=Sites,CN=Configuration,DC=example,DC=com"), "CN=Sites,<CONFIG>");
}

TEST(DnReplacementList, LongerFromTextsAreTriedFirst) {
  Built b = Build("_config;_sites");
  ASSERT_EQ(b.from.size(), 2u);
  EXPECT_EQ(b.from[0], "CN=Sites,CN=Configuration,DC=example,DC=com");
  EXPECT_EQ(b.Apply("CN=S1,CN=Sites,CN=Configuration,DC=example,DC=com"), "CN=S1,<SITES>");
  EXPECT_EQ(b.Apply("CN=Services,CN=Configuration,DC=example,DC=com"), "CN=Services,<CONFIG>");
}

TEST(DnReplacementList, TokensIgnoreCaseAndWorkInsideAPair) {
  Built upper = Build("_CONFIG");
  EXPECT_EQ(upper.from, std::vector<std::string>{"CN=Configuration,DC=example,DC=com"});
  Built pair = Build("CN=Users,_default:<USERS>");
  ASSERT_EQ(pair.from, std::vector<std::string>{"CN=Users,DC=example,DC=com"});
  EXPECT_EQ(pair.Apply("CN=Jo,CN=Users,DC=example,DC=com"), "CN=Jo,<USERS>");
}

TEST(DnReplacementList, PlainPairsWithoutOrWithExtraColons) {
  Built none = Build("OU=Sales,");
  EXPECT_EQ(none.map.at("OU=Sales,"), "");
  EXPECT_EQ(none.Apply("CN=a,OU=Sales,DC=x"), "CN=a,DC=x");
  Built two = Build("ou=a:<A>:dropped");
  EXPECT_EQ(two.map.at("ou=a"), "<A>");
  EXPECT_EQ(two.Apply("CN=x,OU=A,OU=a,DC=t"), "CN=x,<A>,OU=a,DC=t");
}

TEST(DnReplacementList, SameFromTextTwice) {
  Built b = Build("ou=x:1;ou=x:2");
  EXPECT_EQ(b.from, (std::vector<std::string>{"ou=x", "ou=x"}));
  EXPECT_EQ(b.map.at("ou=x"), "1");
}

TEST(DnReplacementList, DelimiterAndEmptyValues) {
  Built bar = Build("_root|_schema", "|");
  EXPECT_EQ(bar.from.size(), 2u);
  EXPECT_EQ(bar.from[0], kContexts.schema);
  Built empty = Build("");
  EXPECT_FALSE(empty.on);
  EXPECT_TRUE(empty.from.empty());
  // Empty items change no DN.
  Built gaps = Build(";;ou=a:<A>;");
  EXPECT_TRUE(gaps.on);
  EXPECT_EQ(gaps.Apply("OU=A,DC=t"), "<A>,DC=t");
  EXPECT_EQ(gaps.Apply("OU=B,DC=t"), "OU=B,DC=t");
}

TEST(DnReplacementList, TokensOfADirectoryWithoutNamingContextsChangeNothing) {
  Built b = Build("_config;_schema", ";", NamingContextTexts{});
  EXPECT_EQ(b.Apply("uid=u1,ou=people,dc=x"), "uid=u1,ou=people,dc=x");
}

}  // namespace
