#include "directory/ber_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/process_state.h"

namespace {

struct Read {
  DWORD value;
  int consumed;
  size_t offset;
  bool truncated;
};

Read Integer(std::vector<BYTE> bytes) {
  BerCursor c(bytes.data(), bytes.size());
  int consumed = 0;
  DWORD v = BerReadInteger(c, consumed);
  return {v, consumed, c.Offset(), c.truncated};
}

TEST(BerReader, IntegersAreUnsignedBigEndian) {
  Read r = Integer({0x02, 0x01, 0x05});
  EXPECT_EQ(r.value, 5u);
  EXPECT_EQ(r.consumed, 3);
  r = Integer({0x02, 0x02, 0x01, 0x00, 0x99});
  EXPECT_EQ(r.value, 256u);
  EXPECT_EQ(r.consumed, 4);
  EXPECT_EQ(r.offset, 4u);
  EXPECT_EQ(Integer({0x0A, 0x01, 0x03}).value, 3u);
  EXPECT_EQ(Integer({0x02, 0x04, 0xFF, 0xFF, 0xFF, 0xFF}).value, 4294967295u);
  EXPECT_EQ(Integer({0x02, 0x01, 0xFF}).value, 255u);
  EXPECT_EQ(Integer({0x02, 0x03, 0x01, 0x02, 0x03}).value, 0x010203u);
}

TEST(BerReader, WrongTagConsumesNothing) {
  Read r = Integer({0x04, 0x01, 0x05});
  EXPECT_EQ(r.value, 0u);
  EXPECT_EQ(r.consumed, 0);
  EXPECT_EQ(r.offset, 0u);
  EXPECT_FALSE(r.truncated);
}

TEST(BerReader, OverlongIntegerGivesZeroButIsStepped) {
  Read r = Integer({0x02, 0x05, 1, 2, 3, 4, 5, 0x02});
  EXPECT_EQ(r.value, 0u);
  EXPECT_EQ(r.consumed, 7);
  EXPECT_EQ(r.offset, 7u);
  EXPECT_FALSE(r.truncated);
}

TEST(BerReader, TruncatedIntegerStopsAtTheEnd) {
  for (std::vector<BYTE> bytes : {std::vector<BYTE>{0x02}, std::vector<BYTE>{0x02, 0x04, 0x01, 0x02},
                                  std::vector<BYTE>{0x02, 0x7F}}) {
    // A copy of exactly the bytes so the sanitizer sees any read past them.
    Read r = Integer(bytes);
    EXPECT_EQ(r.value, 0u);
    EXPECT_TRUE(r.truncated);
    EXPECT_EQ(r.offset, bytes.size());
  }
  std::vector<BYTE> empty;
  BerCursor c(empty.data(), 0);
  int consumed = 0;
  EXPECT_EQ(BerReadInteger(c, consumed), 0u);
  EXPECT_EQ(BerPeekTag(c), 0);
  EXPECT_TRUE(c.truncated);
}

TEST(BerReader, LengthForms) {
  std::vector<BYTE> shortForm = {0x7F};
  BerCursor c1(shortForm.data(), shortForm.size());
  int consumed = 0;
  EXPECT_EQ(BerReadLength(c1, consumed), 0x7Fu);
  EXPECT_EQ(consumed, 1);

  std::vector<BYTE> longForm = {0x81, 0xC8};
  BerCursor c2(longForm.data(), longForm.size());
  consumed = 0;
  EXPECT_EQ(BerReadLength(c2, consumed), 200u);
  EXPECT_EQ(consumed, 2);

  std::vector<BYTE> twoBytes = {0x82, 0x01, 0x2C, 0xAA};
  BerCursor c3(twoBytes.data(), twoBytes.size());
  EXPECT_EQ(BerSkipLength(c3), 300u);
  EXPECT_EQ(c3.Offset(), 3u);

  // Only the low four bits count the length bytes; 0x80 means none.
  std::vector<BYTE> zero = {0x80, 0x05};
  BerCursor c4(zero.data(), zero.size());
  consumed = 0;
  EXPECT_EQ(BerReadLength(c4, consumed), 0u);
  EXPECT_EQ(consumed, 1);
  EXPECT_EQ(c4.Offset(), 1u);

  // A long form whose bytes are missing.
  std::vector<BYTE> cut = {0x84, 0x01};
  BerCursor c5(cut.data(), cut.size());
  EXPECT_EQ(BerSkipLength(c5), 0u);
  EXPECT_TRUE(c5.truncated);
  EXPECT_EQ(c5.Offset(), 2u);
}

TEST(BerReader, ReadUIntWidths) {
  std::vector<BYTE> b = {0x12, 0x34, 0x56, 0x78, 0x9A};
  BerCursor c(b.data(), b.size());
  EXPECT_EQ(BerReadUInt(c, 4), 0x12345678u);
  EXPECT_EQ(BerReadUInt(c, 1), 0x9Au);
  EXPECT_FALSE(c.truncated);
  BerCursor d(b.data(), b.size());
  EXPECT_EQ(BerReadUInt(d, 0), 0u);
  EXPECT_EQ(d.Offset(), 0u);
  EXPECT_EQ(BerReadUInt(d, 5), 0u);  // wider than four bytes
  EXPECT_EQ(d.Offset(), 5u);
  EXPECT_EQ(BerReadUInt(d, 2), 0u);  // past the end
  EXPECT_TRUE(d.truncated);
}

std::string OctetString(std::vector<BYTE> bytes, int* consumed, BerCursor* out = nullptr) {
  BerCursor c(bytes.data(), bytes.size());
  *consumed = 0;
  std::string s = BerReadOctetString(c, *consumed);
  if (out) *out = c;
  return s;
}

TEST(BerReader, OctetStrings) {
  int consumed = 0;
  EXPECT_EQ(OctetString({0x04, 0x03, 'a', 'b', 'c'}, &consumed), "abc");
  EXPECT_EQ(consumed, 5);
  EXPECT_EQ(OctetString({0x04, 0x81, 0x03, 'a', 'b', 'c'}, &consumed), "abc");
  EXPECT_EQ(consumed, 6);
  EXPECT_EQ(OctetString({0x04, 0x04, 'a', 0, 'b', 'c'}, &consumed), "a");
  EXPECT_EQ(consumed, 6);
  EXPECT_EQ(OctetString({0x02, 0x01, 0x05}, &consumed), "");
  EXPECT_EQ(consumed, 0);
}

TEST(BerReader, TruncatedOctetStringGivesWhatRemains) {
  std::vector<BYTE> bytes = {0x04, 0x10, 'x', 'y'};
  BerCursor c(bytes.data(), bytes.size());
  int consumed = 0;
  EXPECT_EQ(BerReadOctetString(c, consumed), "xy");
  EXPECT_TRUE(c.truncated);
  EXPECT_EQ(c.Offset(), 4u);
  // A long length form claiming four gigabytes.
  std::vector<BYTE> huge = {0x04, 0x84, 0xFF, 0xFF, 0xFF, 0xFF, 'z'};
  BerCursor h(huge.data(), huge.size());
  consumed = 0;
  EXPECT_EQ(BerReadOctetString(h, consumed), "z");
  EXPECT_TRUE(h.truncated);
}

std::string CaptureDump(std::vector<BYTE> bytes) {
  testing::internal::CaptureStdout();
  HexDump(bytes.data(), bytes.size());
  fflush(stdout);
  return testing::internal::GetCapturedStdout();
}

TEST(BerReader, HexDumpLinesAndDecodeText) {
  EXPECT_EQ(CaptureDump({}), "");
  EXPECT_EQ(CaptureDump({0x41, 0x00, 0x0A}), "0000 41 00 0a \nDECODE:\nA\\0_\n\n");
  std::vector<BYTE> twenty;
  for (int i = 0; i < 20; ++i) twenty.push_back(static_cast<BYTE>('a' + i));
  EXPECT_EQ(CaptureDump(twenty),
            "0000 61 62 63 64 65 66 67 68 69 6a 6b 6c 6d 6e 6f 70 \n"
            "0010 71 72 73 74 \n"
            "DECODE:\nabcdefghijklmnop\nqrst\n\n");
}

TEST(BerReader, DebugDumpsStayInsideTheBuffer) {
  g_Debug = true;
  std::vector<BYTE> bytes = {0x02, 0x7F, 0x01};
  testing::internal::CaptureStdout();
  Read r = Integer(bytes);
  std::string out = testing::internal::GetCapturedStdout();
  g_Debug = false;
  EXPECT_TRUE(r.truncated);
  EXPECT_EQ(out, "DEBUG: *****GETTING INT:\n0000 02 7f 01 \nDECODE:\n_\x7f_\n\nDEBUG: *****INT VAL=0\n");
}

TEST(BerReader, DebugLinesOfAStringRead) {
  g_Debug = true;
  testing::internal::CaptureStdout();
  int consumed = 0;
  std::string text = OctetString({0x04, 0x02, 'h', 'i'}, &consumed);
  std::string out = testing::internal::GetCapturedStdout();
  g_Debug = false;
  EXPECT_EQ(text, "hi");
  EXPECT_EQ(out, "DEBUG: *****GETTING STR:\n0000 04 02 68 69 \nDECODE:\n__hi\n\nDEBUG: *****STR VAL=hi\n");
}

}  // namespace
