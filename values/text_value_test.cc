#include "values/text_value.h"

#include <gtest/gtest.h>

#include <cstring>

#include "common/process_state.h"

namespace {

std::string Print(const TextValueSettings& s, const char* value) {
  std::string out = "|";
  AppendTextValue(s, value, std::strlen(value), &out);
  return out.substr(1);
}

class TextValueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_TimeAttributes.clear();
    g_GenTimeAttributes.clear();
  }
  void TearDown() override { SetUp(); }
};

TEST_F(TextValueTest, FormChosenByFirstRuleThatApplies) {
  g_TimeAttributes["pwdLastSet"] = 1;
  g_GenTimeAttributes["whenCreated"] = 1;
  g_GenTimeAttributes["cnTime"] = 1;
  EXPECT_EQ(ChooseTextValueForm("pwdLastSet", true, true), TextValueForm::kTime64);
  EXPECT_EQ(ChooseTextValueForm("whenCreated", true, true),
            TextValueForm::kGeneralizedTime);
  // A generalized time whose name begins with "cn" is still a date.
  EXPECT_EQ(ChooseTextValueForm("cnTime", false, true), TextValueForm::kGeneralizedTime);
  EXPECT_EQ(ChooseTextValueForm("member", true, true), TextValueForm::kDn);
  EXPECT_EQ(ChooseTextValueForm("cn", false, true), TextValueForm::kEscapedNewlines);
  EXPECT_EQ(ChooseTextValueForm("distinguishedName", false, true),
            TextValueForm::kEscapedNewlines);
  EXPECT_EQ(ChooseTextValueForm("name", false, true), TextValueForm::kEscapedNewlines);
  EXPECT_EQ(ChooseTextValueForm("description", false, true),
            TextValueForm::kScrubbed);
  // The name tests ignore the case the server used.
  EXPECT_EQ(ChooseTextValueForm("CN", false, true), TextValueForm::kEscapedNewlines);
  EXPECT_EQ(ChooseTextValueForm("Name", false, false), TextValueForm::kEscapedNewlines);
  EXPECT_EQ(ChooseTextValueForm("nam", false, false), TextValueForm::kAsIs);
  EXPECT_EQ(ChooseTextValueForm("description", false, false),
            TextValueForm::kAsIs);
}

TEST_F(TextValueTest, TableLookupIsCaseSensitiveAndNeedsNonZeroMark) {
  g_TimeAttributes["pwdLastSet"] = 1;
  g_TimeAttributes["lastLogon"] = 0;
  EXPECT_EQ(ChooseTextValueForm("pwdlastset", false, false), TextValueForm::kAsIs);
  EXPECT_EQ(ChooseTextValueForm("lastLogon", false, false), TextValueForm::kAsIs);
  // The lookup adds nothing.
  ChooseTextValueForm("other", false, false);
  EXPECT_EQ(g_TimeAttributes.count("other"), 0u);
}

TEST_F(TextValueTest, Time64AsDateInBothForms) {
  TextValueSettings s;
  s.form = TextValueForm::kTime64;
  s.utc = true;
  // 1970-01-01 00:00:00 UTC and 2001-02-03 04:05:06 UTC.
  EXPECT_EQ(Print(s, "116444736000000000"), "01/01/1970-00:00:00 Coordinated Universal Time");
  EXPECT_EQ(Print(s, "126256467060000000"), "02/03/2001-04:05:06 Coordinated Universal Time");
  EXPECT_EQ(Print(s, "0"), "00/00/0000-00:00:00");
  EXPECT_EQ(Print(s, "9223372036854775807"), "00/00/0000-00:00:00");
  EXPECT_EQ(Print(s, "not a number"), "00/00/0000-00:00:00");
  s.timesSortable = true;
  EXPECT_EQ(Print(s, "126256467060000000"), "2001/02/03-04:05:06 Coordinated Universal Time");
  EXPECT_EQ(Print(s, "0"), "0000/00/00-00:00:00");
  // The generalized-time sort switch does not touch 64-bit times.
  s.timesSortable = false;
  s.genTimesSortable = true;
  EXPECT_EQ(Print(s, "126256467060000000"), "02/03/2001-04:05:06 Coordinated Universal Time");
}

TEST_F(TextValueTest, GeneralizedTimeAsDate) {
  TextValueSettings s;
  s.form = TextValueForm::kGeneralizedTime;
  s.utc = true;
  EXPECT_EQ(Print(s, "20240131123456.0Z"), "01/31/2024-12:34:56 Coordinated Universal Time");
  s.genTimesSortable = true;
  EXPECT_EQ(Print(s, "20240131123456.0Z"), "2024/01/31-12:34:56 Coordinated Universal Time");
}

TEST_F(TextValueTest, DnEscapesFirstLineFeedThenReplaces) {
  std::vector<std::string> from{"CN=Configuration,DC=acc,DC=test"};
  std::map<std::string, std::string> to{{from[0], "<CONFIG>"}};
  TextValueSettings s;
  s.form = TextValueForm::kDn;
  EXPECT_EQ(Print(s, "CN=a\nb,DC=x"), "CN=a\\0Ab,DC=x");
  EXPECT_EQ(Print(s, "CN=plain,DC=x"), "CN=plain,DC=x");
  s.replaceDnFrom = &from;
  s.replaceDnMap = &to;
  EXPECT_EQ(Print(s, "CN=Sites,cn=configuration,dc=ACC,dc=test"), "CN=Sites,<CONFIG>");
  EXPECT_EQ(Print(s, "CN=a\nb,CN=Configuration,DC=acc,DC=test"), "CN=a\\0Ab,<CONFIG>");
}

TEST_F(TextValueTest, NamesEscapeLineFeedsOthersKeepOrScrub) {
  TextValueSettings s;
  s.form = TextValueForm::kEscapedNewlines;
  EXPECT_EQ(Print(s, "two\nlines\nhere"), "two\\0Alines\nhere");
  EXPECT_EQ(Print(s, "tab\tkept"), "tab\tkept");
  s.form = TextValueForm::kScrubbed;
  EXPECT_EQ(Print(s, "a\tb\nc\x7f" "d\x01"), "a b c d ");
  EXPECT_EQ(Print(s, "caf\xc3\xa9"), "caf\xc3\xa9");  // bytes above 127 are no controls
  s.form = TextValueForm::kAsIs;
  EXPECT_EQ(Print(s, "a\tb\nc"), "a\tb\nc");
}

}  // namespace
