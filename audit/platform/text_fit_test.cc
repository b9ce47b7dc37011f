#include "audit/platform/text_fit.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "audit/platform/utf8_text.h"

using plat::FitText;
using testing::ElementsAre;

namespace {

// Every character is one unit wide.
double Units(const std::string& s) { return static_cast<double>(plat::CharCount(s)); }

TEST(TextFitTest, LaysTextOutInTheBox) {
  struct Case {
    std::string text;
    int width, maxLines;
    std::vector<std::string> lines;
    bool shortened;
  } cases[] = {
      {"mine", 10, 1, {"mine"}, false},
      {"", 10, 1, {}, false},
      {"0123456789", 10, 1, {"0123456789"}, false},
      // Wrapped after the last separator that fits, else anywhere.
      {"d:\\Junk\\12-09-26\\mine\\", 14, 2, {"d:\\Junk\\", "12-09-26\\mine\\"}, false},
      {"abcdefghijklmnop", 10, 2, {"abcdefghij", "klmnop"}, false},
      {"web server 01", 10, 2, {"web server", "01"}, false},
      {"web server 01", 9, 2, {"web ", "server 01"}, false},
      // Too long: shortened in the middle, both ends kept.
      {"0123456789ABCDEF", 10, 1, {"012...CDEF"}, true},
      {"0123456789ABCDEFGHIJKLMNOPQRSTUV", 10, 2, {"0123456...", "OPQRSTUV"}, true},
      // Characters are never cut.
      {"\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9", 5, 1, {"\xC3\xA9...\xC3\xA9"}, true},
      // A box narrower than one character still shows something.
      {"xyz", 0, 1, {"..."}, true},
  };
  for (const Case& c : cases) {
    auto fitted = FitText(c.text, c.width, c.maxLines, Units);
    EXPECT_EQ(fitted.lines, c.lines) << c.text;
    EXPECT_EQ(fitted.shortened, c.shortened) << c.text;
  }
}

TEST(TextFitTest, TheLongestValuesStayInTheirLines) {
  // 79 characters in a box of 30 and a path of two such names in two lines.
  std::string name(79, 'n');
  std::string path = "d:\\" + std::string(79, 't') + "\\12-09-26\\" + name + "\\";
  auto one = FitText(name, 30, 1, Units);
  ASSERT_EQ(one.lines.size(), 1u);
  EXPECT_EQ(one.lines[0].size(), 30u);
  auto two = FitText(path, 30, 2, Units);
  ASSERT_EQ(two.lines.size(), 2u);
  EXPECT_TRUE(two.shortened);
  EXPECT_EQ(two.lines[0].substr(0, 4), "d:\\t");
  EXPECT_EQ(two.lines[1].substr(two.lines[1].size() - 3), "nn\\");
  for (const auto& line : two.lines) EXPECT_LE(line.size(), 30u);
}

}  // namespace
