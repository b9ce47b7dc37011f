#include "audit/platform/utf8_text.h"

#include <gtest/gtest.h>

namespace {

TEST(Utf8TextTest, CountsAndFirstCharacters) {
  struct Case {
    std::string text;
    size_t count;
    std::string first;
  } cases[] = {
      {"", 0, ""},
      {"d", 1, "d"},
      {"E:", 2, "E"},
      {"\xC3\xA9", 1, "\xC3\xA9"},                       // é
      {std::string(42, 'x') + "\xE2\x82\xAC", 43, "x"},  // ... €
      {"\xF0\x9F\x98\x80z", 2, "\xF0\x9F\x98\x80"},      // an emoji, then z
      {"\xC3", 1, "\xC3"},                               // cut sequence
      {"\xC3z", 2, "\xC3"},                              // lead byte without continuation
      {"\x80\x80", 2, "\x80"},                           // continuation bytes alone
      {"\xC0\xAF", 2, "\xC0"},                           // overlong form
      {"\xED\xA0\x80", 3, "\xED"},                       // surrogate
      {"\xF4\x90\x80\x80", 4, "\xF4"},                   // past U+10FFFF
  };
  for (const Case& c : cases) {
    EXPECT_EQ(plat::CharCount(c.text), c.count) << c.text;
    EXPECT_EQ(plat::FirstChar(c.text), c.first) << c.text;
  }
  std::string e42;
  for (int i = 0; i < 42; ++i) e42 += "\xC3\xA9";
  EXPECT_EQ(plat::CharCount(e42), 42u);
}

}  // namespace
