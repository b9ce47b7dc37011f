#include "values/dn_replace.h"

#include <gtest/gtest.h>

namespace {

struct Lists {
  std::vector<std::string> from;
  std::map<std::string, std::string> to;
  void Add(const std::string& s, const std::string& r) {
    from.push_back(s);
    to[s] = r;
  }
  std::string Run(const std::string& dn) const { return ReplaceDn(dn, &from, &to); }
};

TEST(ReplaceDn, FirstMatchingSearchStringInListOrderWins) {
  Lists l;
  l.Add("CN=Configuration,DC=acc,DC=test", "<CONFIG>");
  l.Add("DC=acc,DC=test", "<ROOT>");
  EXPECT_EQ(l.Run("CN=Sites,CN=Configuration,DC=acc,DC=test"), "CN=Sites,<CONFIG>");
  EXPECT_EQ(l.Run("CN=Users,DC=acc,DC=test"), "CN=Users,<ROOT>");
  EXPECT_EQ(l.Run("CN=Users,DC=other"), "CN=Users,DC=other");
}

TEST(ReplaceDn, MatchIgnoresCaseAndKeepsTheRestOfTheDn) {
  Lists l;
  l.Add("dc=ACC,dc=TEST", "<Root>");
  EXPECT_EQ(l.Run("CN=Jo Smith,OU=Sales,DC=acc,DC=test"), "CN=Jo Smith,OU=Sales,<Root>");
}

TEST(ReplaceDn, OnlyTheFirstOccurrenceIsReplaced) {
  Lists l;
  l.Add("ou=x", "<X>");
  EXPECT_EQ(l.Run("OU=x,OU=X,DC=t"), "<X>,OU=X,DC=t");
}

TEST(ReplaceDn, UnchangingReplacementLetsTheNextStringTry) {
  Lists l;
  l.Add("DC=test", "DC=test");  // replaces the text by itself: no change
  l.Add("CN=Users", "<U>");
  EXPECT_EQ(l.Run("CN=Users,DC=test"), "<U>,DC=test");
}

TEST(ReplaceDn, MissingMapEntryReplacesWithNothing) {
  Lists l;
  l.Add("CN=a,", "<A>");
  l.from.push_back(",DC=test");  // in the list, not in the map
  EXPECT_EQ(l.Run("CN=b,DC=test"), "CN=b");
}

TEST(ReplaceDn, EmptyInputsReturnTheDnUnchanged) {
  Lists l;
  EXPECT_EQ(l.Run("CN=a,DC=b"), "CN=a,DC=b");  // empty map
  l.Add("DC=b", "<B>");
  EXPECT_EQ(l.Run(""), "");
  EXPECT_EQ(ReplaceDn("CN=a,DC=b", nullptr, nullptr), "CN=a,DC=b");
}

TEST(ReplaceDn, EmptySearchStringMatchesNothing) {
  Lists l;
  l.Add("", "<E>");
  l.Add("DC=b", "<B>");
  EXPECT_EQ(l.Run("CN=a,DC=b"), "CN=a,<B>");
  EXPECT_EQ(l.Run("CN=a"), "CN=a");
}

}  // namespace
