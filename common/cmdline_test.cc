#include "common/cmdline.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::vector<std::string> kDefs = {":nodn", ":q", "b", "f", "t", "csvdelim"};

// Builds the store from words as they would arrive from the shell.
CCmdLine Make(std::vector<std::string> words,
              const std::vector<std::string>& defs = kDefs) {
  words.insert(words.begin(), "quelby");
  std::vector<char*> argv;
  for (auto& w : words) argv.push_back(w.data());
  return CCmdLine(static_cast<int>(argv.size()), argv.data(), defs, false);
}

TEST(CCmdLineParse, ValueSwitchesFlagsAndPositionals) {
  CCmdLine c = Make({"-b", "dc=x", "cn", "sn"});
  EXPECT_EQ(c.programName, "quelby");
  EXPECT_EQ(c.GetValue("b"), "dc=x");
  EXPECT_EQ(c.args, (std::vector<std::string>{"cn", "sn"}));
  EXPECT_EQ(c.badCount, -1);

  CCmdLine flag = Make({"-nodn", "cn"});
  EXPECT_TRUE(flag.HasSwitch("nodn"));
  EXPECT_EQ(flag.GetValue("nodn"), "");
  EXPECT_EQ(flag.args, (std::vector<std::string>{"cn"}));
}

TEST(CCmdLineParse, NamesFoldCaseValuesKeepIt) {
  CCmdLine c = Make({"-B", "X"});
  EXPECT_EQ(c.switchValues.count("b"), 1u);
  EXPECT_TRUE(c.HasSwitch("B"));
  EXPECT_TRUE(c.HasSwitch("b"));
  EXPECT_EQ(c.GetValue("B"), "X");
}

TEST(CCmdLineParse, DashDigitIsAValueSlashAlwaysASwitch) {
  CCmdLine c = Make({"-t", "-5"});
  EXPECT_EQ(c.GetValue("t"), "-5");
  EXPECT_FALSE(c.HasSwitch("5"));

  CCmdLine s = Make({"-t", "/5", "/Q"});
  EXPECT_EQ(s.GetValue("t"), "");
  EXPECT_TRUE(s.HasSwitch("5"));
  EXPECT_TRUE(s.HasSwitch("q"));
  EXPECT_TRUE(s.args.empty());

  // "-" alone is a switch with the empty name, which takes no value; "--x"
  // is the switch "-x".
  CCmdLine d = Make({"-", "v", "--x"});
  EXPECT_TRUE(d.HasSwitch(""));
  EXPECT_EQ(d.GetValue(""), "");
  EXPECT_EQ(d.args, (std::vector<std::string>{"v"}));
  EXPECT_TRUE(d.HasSwitch("-x"));
}

TEST(CCmdLineParse, RepeatedAndTrailingValueSwitches) {
  CCmdLine c = Make({"-b", "x", "-b"});
  EXPECT_TRUE(c.HasSwitch("b"));
  EXPECT_EQ(c.GetValue("b"), "");

  CCmdLine d = Make({"-b", "-f", "(cn=*)"});
  EXPECT_EQ(d.GetValue("b"), "");
  EXPECT_EQ(d.GetValue("f"), "(cn=*)");
}

TEST(CCmdLineParse, UnknownSwitchTakesNextWord) {
  CCmdLine c = Make({"-zz", "word", "cn"});
  EXPECT_EQ(c.GetValue("zz"), "word");
  EXPECT_EQ(c.args, (std::vector<std::string>{"cn"}));
  EXPECT_EQ(c.switchKinds.at("zz"), "");
  EXPECT_EQ(c.Validate(kDefs), 1);
  EXPECT_EQ(c.badSwitches, (std::vector<std::string>{"zz"}));
  EXPECT_EQ(c.badCount, 1);
}

TEST(CCmdLineParse, ValueArgumentIndexesNameTheValueWords) {
  // argv[0] is the program; the words follow from position 1.
  CCmdLine c = Make({"-up", "a", "cn", "-UP", "b", "/up", "-up", "-b", "c", ":nodn", "-up"});
  EXPECT_EQ(c.ValueArgumentIndexes("up"), (std::vector<int>{2, 5}));
  EXPECT_EQ(c.ValueArgumentIndexes("UP"), (std::vector<int>{2, 5}));
  EXPECT_EQ(c.ValueArgumentIndexes("b"), (std::vector<int>{9}));
  EXPECT_TRUE(c.ValueArgumentIndexes("nodn").empty());
  EXPECT_EQ(c.GetValue("up"), "");
}

TEST(CCmdLineKinds, DefinitionMarkers) {
  CCmdLine c = Make({}, {":flag", "^must", "plain"});
  EXPECT_EQ(c.switchKinds.at("flag"), "NoArg;");
  EXPECT_EQ(c.switchKinds.at("must"), "Mandatory;");
  EXPECT_EQ(c.switchKinds.at("plain"), "");
}

TEST(CCmdLineValidate, BadAndMissingInNameOrderEachOnce) {
  std::vector<std::string> defs = {"^zeta", "^alpha", "b", "^mid"};
  CCmdLine c = Make({"-zz", "1", "-aa", "2", "-zz", "3", "-mid", "m"}, defs);
  EXPECT_EQ(c.Validate(defs), 4);
  EXPECT_EQ(c.badSwitches, (std::vector<std::string>{"aa", "zz"}));
  EXPECT_EQ(c.missingSwitches, (std::vector<std::string>{"alpha", "zeta"}));
  EXPECT_EQ(c.badCount, 2);
  EXPECT_EQ(c.missingCount, 2);
  EXPECT_EQ(c.knownSwitches, (std::vector<std::string>{"alpha", "b", "mid", "zeta"}));
}

TEST(CCmdLineValidate, AcceptableCommandGivesZero) {
  CCmdLine c = Make({"-b", "dc=x", "-q", "cn"});
  EXPECT_EQ(c.Validate(kDefs), 0);
  EXPECT_TRUE(c.badSwitches.empty());
  EXPECT_TRUE(c.missingSwitches.empty());
}

TEST(CCmdLineValidate, FlagValuesMoveToPositionalsInTableOrder) {
  CCmdLine c = Make({"givenname"});
  c.SetValue("q", "second");
  c.SetValue("nodn", "cn");
  EXPECT_EQ(c.Validate(kDefs), 0);
  // ":nodn" comes before ":q" in the definitions.
  EXPECT_EQ(c.args, (std::vector<std::string>{"givenname", "cn", "second"}));
  EXPECT_TRUE(c.HasSwitch("nodn"));
  EXPECT_EQ(c.GetValue("nodn"), "");
  EXPECT_EQ(c.GetValue("q"), "");
}

TEST(CCmdLineAccess, NthArgBounds) {
  CCmdLine c = Make({"cn", "sn"});
  EXPECT_EQ(c.GetNthArg(0), "");
  EXPECT_EQ(c.GetNthArg(1), "cn");
  EXPECT_EQ(c.GetNthArg(2), "sn");
  EXPECT_EQ(c.GetNthArg(3), "");
  EXPECT_EQ(c.GetNthArg(-1), "");
}

TEST(CCmdLineAccess, UnescapedValue) {
  CCmdLine c = Make({"-csvdelim", "a\\tb\\nc\\x"});
  EXPECT_EQ(c.GetValue("csvdelim"), "a\\tb\\nc\\x");
  EXPECT_EQ(c.GetValueUnescaped("csvdelim"), "a\tb\nc\\x");
  EXPECT_EQ(c.GetValueUnescaped("absent"), "");
}

TEST(CCmdLineAccess, LookupsNeverInsert) {
  CCmdLine c = Make({});
  EXPECT_FALSE(c.HasSwitch("b"));
  EXPECT_EQ(c.GetValue("b"), "");
  EXPECT_TRUE(c.switchValues.empty());
  c.SetValue("B", "v");
  c.SetFlag("Q");
  EXPECT_EQ(c.GetValue("b"), "v");
  EXPECT_TRUE(c.HasSwitch("q"));
  c.AddPositional("");
  EXPECT_EQ(c.args.size(), 1u);
}

TEST(CCmdLineAccess, ClearingKeepsTheRest) {
  CCmdLine c = Make({"-b", "x", "-zz", "y", "cn"});
  c.ClearSwitches();
  EXPECT_FALSE(c.HasSwitch("b"));
  EXPECT_FALSE(c.HasSwitch("zz"));
  EXPECT_EQ(c.args, (std::vector<std::string>{"cn"}));
  EXPECT_EQ(c.switchKinds.count("zz"), 1u);
  EXPECT_EQ(c.switchKinds.count("nodn"), 1u);
  c.ClearArgs();
  EXPECT_EQ(c.GetNthArg(1), "");
  EXPECT_EQ(c.programName, "quelby");
}

TEST(CCmdLineParse, CaseSensitiveStoreKeepsNames) {
  std::vector<std::string> words = {"prog", "-Ab", "v"};
  std::vector<char*> argv;
  for (auto& w : words) argv.push_back(w.data());
  CCmdLine c(3, argv.data(), {"Ab"}, true);
  EXPECT_TRUE(c.HasSwitch("Ab"));
  EXPECT_FALSE(c.HasSwitch("ab"));
}

}  // namespace
