#include "platform/text_convert.h"

#include <gtest/gtest.h>

#include "platform/last_error.h"

namespace {

TEST(TextConvert, AsciiAndMultiByteRoundTrip) {
  EXPECT_EQ(plat::NarrowToWide("cn=Users,dc=x"), u"cn=Users,dc=x");
  EXPECT_EQ(plat::WideToNarrow(u"cn=Users,dc=x"), "cn=Users,dc=x");
  // e-acute (2 bytes), euro sign (3 bytes), a character outside the BMP (4 bytes,
  // a surrogate pair in UTF-16).
  const std::string narrow = "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";
  const std::u16string wide = u"\u00E9\u20AC\xD83D\xDE00";
  EXPECT_EQ(plat::NarrowToWide(narrow), wide);
  EXPECT_EQ(plat::WideToNarrow(wide), narrow);
  EXPECT_EQ(plat::NarrowToWide(""), u"");
  EXPECT_EQ(plat::WideToNarrow(u""), "");
}

TEST(TextConvert, IllFormedInputBecomesReplacementOrDefault) {
  // A stray continuation byte, a truncated sequence and an overlong form.
  EXPECT_EQ(plat::NarrowToWide("a\x80" "b"), u"a\uFFFDb");
  EXPECT_EQ(plat::NarrowToWide("a\xE2\x82"), u"a\uFFFD");
  EXPECT_EQ(plat::NarrowToWide("\xC0\xAF"), u"\uFFFD\uFFFD");
  // An unpaired surrogate has no UTF-8 form: the default character stands in.
  const char16_t lone[] = {u'x', 0xD800, u'y', 0};
  char buf[16] = {};
  BOOL usedDefault = 0;
  int n = plat::WideCharToMultiByte(plat::CP_ACP, 0, lone, 3, buf, sizeof buf,
                                    nullptr, &usedDefault);
  EXPECT_EQ(std::string(buf, static_cast<size_t>(n)), "x?y");
  EXPECT_TRUE(usedDefault);
  EXPECT_EQ(plat::WideToNarrow(std::u16string(lone)), "x?y");
}

TEST(TextConvert, CountingBuffersAndErrors) {
  // -1 converts up to and including the NUL.
  EXPECT_EQ(plat::MultiByteToWideChar(plat::CP_ACP, 0, "abc", -1, nullptr, 0), 4);
  char16_t small[2];
  plat::SetLastError(0);
  EXPECT_EQ(plat::MultiByteToWideChar(plat::CP_ACP, 0, "abc", 3, small, 2), 0);
  EXPECT_EQ(plat::GetLastError(), plat::ERROR_INSUFFICIENT_BUFFER);
  char narrowSmall[2];
  EXPECT_EQ(plat::WideCharToMultiByte(plat::CP_UTF8, 0, u"\u20AC", 1, narrowSmall, 2,
                                      nullptr, nullptr),
            0);
  EXPECT_EQ(plat::GetLastError(), plat::ERROR_INSUFFICIENT_BUFFER);
  plat::SetLastError(0);
  EXPECT_EQ(plat::MultiByteToWideChar(1252, 0, "abc", 3, nullptr, 0), 0);
  EXPECT_EQ(plat::GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(plat::MultiByteToWideChar(plat::CP_ACP, 0, nullptr, 3, nullptr, 0), 0);
}

}  // namespace
