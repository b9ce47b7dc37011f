#include "structured/value_text_helpers.h"

#include <gtest/gtest.h>

namespace {

TEST(GetXmlElementText, StripsOneMarkerPairWithItsBlanks) {
  struct Case {
    const char* tag;
    std::string line;
    std::string text;
  } cases[] = {
      {"liveCount", "\t<liveCount> 12 </liveCount>", "12"},
      {"liveCount", "\t<liveCount>12</liveCount>", "<liveCount>12</liveCount>"},
      {"liveCount", "no marker here", ""},
      {"a", "x <a> 1 </a> tail", "1 tail"},
      {"quotaUsed", "<quotaUsed> 42 </quotaUsed>", "42"},
      {"a", "<A> 1 </A>", "<A> 1 </A>"},
      {"a", "<", "<"},
  };
  for (const Case& c : cases) EXPECT_EQ(GetXmlElementText(c.tag, c.line), c.text) << c.line;
}

TEST(JoinStrings, NoneOneAndMany) {
  const std::vector<std::string> v = {"a", "b", "c"};
  EXPECT_EQ(JoinStrings(v.data(), v.data(), ","), "");
  EXPECT_EQ(JoinStrings(v.data(), v.data() + 1, ","), "a");
  EXPECT_EQ(JoinStrings(v.data(), v.data() + 3, ", "), "a, b, c");
}

TEST(AppendFlagName, NamesSetBitsAndClearsThem) {
  std::vector<std::string> names;
  unsigned flags = 0x30;
  AppendFlagName(&names, &flags, 0x10, "WRITEABLE");
  EXPECT_EQ(flags, 0x20u);
  AppendFlagName(&names, &flags, 0x1, "NOT_SET");
  EXPECT_EQ(flags, 0x20u);
  AppendFlagName(&names, &flags, flags, "UNKNOWN");
  EXPECT_EQ(flags, 0u);
  EXPECT_EQ(names, (std::vector<std::string>{"WRITEABLE(16)", "UNKNOWN(32)"}));
  // A bit value with more bits than are set clears only those that are.
  flags = 0x1;
  AppendFlagName(&names, &flags, 0x3, "BOTH");
  EXPECT_EQ(flags, 0u);
  EXPECT_EQ(names.back(), "BOTH(3)");
}

}  // namespace
