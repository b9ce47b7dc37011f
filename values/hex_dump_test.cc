#include "values/hex_dump.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::string Dump(const std::vector<unsigned char>& bytes) {
  std::string out = "pre|";
  AppendHexDump(bytes.data(), bytes.size(), &out);
  return out;
}

TEST(HexDump, PairsThenSingleLastByte) {
  EXPECT_EQ(Dump({0x01, 0xAB, 0x7F}), "pre|01AB 7F ");
  EXPECT_EQ(Dump({0x0A}), "pre|0A ");
  EXPECT_EQ(Dump({0x00, 0xFF, 0x10, 0xc3}), "pre|00FF 10C3 ");
  EXPECT_EQ(Dump({}), "pre|");
}

TEST(HexDump, ReadsOnlyTheGivenLength) {
  // The byte after the counted length must not appear.
  const unsigned char bytes[] = {0x12, 0x34, 0x56, 0x78, 0x9A};
  std::string out;
  AppendHexDump(bytes, 3, &out);
  EXPECT_EQ(out, "1234 56 ");
}

TEST(HexDump, LongValueKeepsEveryByte) {
  std::vector<unsigned char> bytes(1001);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<unsigned char>(i);
  std::string out;
  AppendHexDump(bytes.data(), bytes.size(), &out);
  ASSERT_EQ(out.size(), 500u * 5 + 3);
  EXPECT_EQ(out.substr(0, 10), "0001 0203 ");
  EXPECT_EQ(out.substr(out.size() - 3), "E8 ");  // byte 1000 = 0x3E8 -> E8
}

}  // namespace
