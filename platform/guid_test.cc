#include "platform/guid.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::u16string Text(const GUID& g) {
  char16_t buf[plat::kGuidTextChars];
  EXPECT_EQ(plat::StringFromGUID2(g, buf, plat::kGuidTextChars), 39);
  return std::u16string(buf);
}

GUID Counting() {
  BYTE bytes[16];
  for (int i = 0; i < 16; ++i) bytes[i] = static_cast<BYTE>(i);
  return plat::GuidFromBytes(bytes);
}

TEST(GuidText, FirstThreeFieldsAreNumbersLastEightBytesInOrder) {
  EXPECT_EQ(Text(Counting()), u"{03020100-0504-0706-0809-0A0B0C0D0E0F}");
  GUID g{0xDEADBEEF, 0xABCD, 0x00EF, {0xFF, 0, 1, 2, 3, 4, 5, 0xA0}};
  EXPECT_EQ(Text(g), u"{DEADBEEF-ABCD-00EF-FF00-0102030405A0}");
}

TEST(GuidText, TooSmallBufferWritesNothing) {
  char16_t buf[38];
  buf[0] = u'x';
  EXPECT_EQ(plat::StringFromGUID2(Counting(), buf, 38), 0);
  EXPECT_EQ(buf[0], u'x');
  EXPECT_EQ(plat::StringFromGUID2(Counting(), nullptr, 39), 0);
}

TEST(GuidParse, RoundTripsAndAcceptsLowerCase) {
  GUID g{};
  ASSERT_EQ(plat::CLSIDFromString(u"{03020100-0504-0706-0809-0a0b0c0d0e0f}", &g), plat::S_OK);
  EXPECT_EQ(Text(g), Text(Counting()));
  ASSERT_EQ(plat::CLSIDFromString("{bf967aba-0de6-11d0-a285-00aa003049e2}", &g), plat::S_OK);
  EXPECT_EQ(g.Data1, 0xBF967ABAu);
  EXPECT_EQ(g.Data2, 0x0DE6);
  EXPECT_EQ(g.Data4[0], 0xA2);
  EXPECT_EQ(g.Data4[7], 0xE2);
}

TEST(GuidParse, RefusesMalformedTextAndLeavesOutputAlone) {
  const char* bad[] = {
      "",
      "03020100-0504-0706-0809-0A0B0C0D0E0F",     // no braces
      "{03020100-0504-0706-0809-0A0B0C0D0E0F",    // no closing brace
      "{03020100-0504-0706-0809-0A0B0C0D0E0F}x",  // trailing text
      "{03020100-0504-0706-0809-0A0B0C0D0E0G}",   // not a hex digit
      "{03020100+0504-0706-0809-0A0B0C0D0E0F}",   // wrong separator
      "{0302010-00504-0706-0809-0A0B0C0D0E0F}",   // misplaced dash
  };
  for (const char* text : bad) {
    GUID g{1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
    EXPECT_EQ(plat::CLSIDFromString(text, &g), static_cast<HRESULT>(0x800401F3u)) << text;
    EXPECT_EQ(g.Data1, 1u) << text;
  }
  GUID g{};
  EXPECT_EQ(plat::CLSIDFromString(static_cast<const char*>(nullptr), &g), plat::E_INVALIDARG);
}

}  // namespace
