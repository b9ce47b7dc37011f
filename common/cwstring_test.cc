#include "common/cwstring.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(CWString, NullAndEmptyNarrowText) {
  CWString fromNull(static_cast<const char*>(nullptr));
  EXPECT_TRUE(fromNull.empty());
  ASSERT_NE(fromNull.c_str(), nullptr);
  EXPECT_STREQ(fromNull.c_str(), "");
  CWString fromEmpty("");
  EXPECT_TRUE(fromEmpty.empty());
  EXPECT_EQ(fromEmpty.GetNarrow(), "");
}

TEST(CWString, ConstructionFromEachForm) {
  EXPECT_EQ(static_cast<std::u16string>(CWString("2007/02/15")), u"2007/02/15");
  EXPECT_EQ(static_cast<std::u16string>(CWString(std::string("dc=x"))), u"dc=x");
  EXPECT_EQ(CWString(std::u16string(u"W. Europe")).GetNarrow(), "W. Europe");
  // Narrow text stops at its first NUL.
  EXPECT_EQ(static_cast<std::u16string>(CWString(std::string("ab\0cd", 5))), u"ab");
  // Non-ASCII text survives both directions.
  CWString accented("M\xC3\xBCller");
  EXPECT_EQ(static_cast<std::u16string>(accented), u"M\u00FCller");
  EXPECT_EQ(accented.GetNarrow(), "M\xC3\xBCller");
}

TEST(CWString, AssignKeepsTextOnNull) {
  CWString s("before");
  s.Assign(nullptr);
  EXPECT_STREQ(s.c_str(), "before");
  s.Assign("after");
  EXPECT_STREQ(s.c_str(), "after");
  s.Assign("");
  EXPECT_TRUE(s.empty());
  EXPECT_STREQ(s.c_str(), "");
}

TEST(CWString, NarrowFormFollowsWideChanges) {
  CWString s("2007/02/15");
  EXPECT_STREQ(s.c_str(), "2007/02/15");
  s += u"-00:00:00";
  EXPECT_STREQ(s.c_str(), "2007/02/15-00:00:00");
  EXPECT_EQ(s.GetNarrow(), "2007/02/15-00:00:00");
  s.erase(4);
  EXPECT_STREQ(s.c_str(), "2007");
  // Wide text stops at its first NUL on the way to narrow form.
  s.push_back(u'\0');
  s += u"tail";
  EXPECT_STREQ(s.c_str(), "2007");
  // A copy carries the text along.
  CWString copy = s;
  EXPECT_EQ(copy.GetNarrow(), "2007");
}

TEST(CWString, UnrepresentableCharacterBecomesDefault) {
  std::u16string wide = u"a";
  wide.push_back(static_cast<char16_t>(0xDC00));  // an unpaired surrogate
  wide += u"b";
  CWString s(wide);
  EXPECT_EQ(s.GetNarrow(), "a?b");
  EXPECT_EQ(s.size(), 3u);
  EXPECT_EQ(s[1], static_cast<char16_t>(0xDC00));
}

}  // namespace
