#include "platform/sid.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/last_error.h"

namespace plat {
namespace {

std::string ToText(const std::vector<BYTE>& sid) {
  std::string text;
  EXPECT_TRUE(ConvertSidToStringSidA(sid.data(), sid.size(), &text));
  return text;
}

std::vector<BYTE> FromText(const char* text) {
  std::vector<BYTE> sid;
  EXPECT_TRUE(ConvertStringSidToSidA(text, &sid)) << text;
  return sid;
}

TEST(SidText, RoundTripAndBinaryLayout) {
  std::vector<BYTE> sid = FromText("S-1-5-21-1004336348-1177238915-682003330-512");
  ASSERT_EQ(sid.size(), 28u);
  EXPECT_EQ(GetLengthSid(sid.data()), 28u);
  EXPECT_EQ(sid[0], 1);
  EXPECT_EQ(sid[1], 5);
  EXPECT_EQ(sid[7], 5);                       // authority, big-endian
  EXPECT_EQ(sid[8], 21);                      // sub-authorities little-endian
  EXPECT_EQ(sid[24], 0x00);
  EXPECT_EQ(sid[25], 0x02);                   // 512 = 0x200
  EXPECT_EQ(ToText(sid), "S-1-5-21-1004336348-1177238915-682003330-512");
  EXPECT_EQ(ToText(FromText("S-1-1-0")), "S-1-1-0");
  EXPECT_EQ(ToText(FromText("S-1-5")), "S-1-5");  // no sub-authorities
  EXPECT_EQ(ToText(FromText("S-1-5-4294967295")), "S-1-5-4294967295");
}

TEST(SidText, LargeAuthorityIsHex) {
  std::vector<BYTE> sid = {1, 1, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 7, 0, 0, 0};
  EXPECT_EQ(ToText(sid), "S-1-0x123456789ABC-7");
  std::vector<BYTE> edge = {1, 0, 0, 1, 0, 0, 0, 0};  // exactly 2^32
  EXPECT_EQ(ToText(edge), "S-1-0x000100000000");
  std::vector<BYTE> below = {1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(ToText(below), "S-1-4294967295");
  EXPECT_EQ(FromText("S-1-0x123456789ABC-7"), sid);
  EXPECT_EQ(FromText("S-1-4294967296"), edge);
}

TEST(SidText, AliasesOnInput) {
  EXPECT_EQ(ToText(FromText("BA")), "S-1-5-32-544");
  EXPECT_EQ(ToText(FromText("SY")), "S-1-5-18");
  EXPECT_EQ(ToText(FromText("WD")), "S-1-1-0");
  EXPECT_EQ(ToText(FromText("AU")), "S-1-5-11");
  EXPECT_EQ(ToText(FromText("au")), "S-1-5-11");

  std::vector<BYTE> sid;
  ASSERT_TRUE(SetSddlDomainSid(""));
  SetLastError(0);
  EXPECT_FALSE(ConvertStringSidToSidA("DA", &sid));  // no domain known
  EXPECT_EQ(GetLastError(), ERROR_INVALID_SID);
  ASSERT_TRUE(SetSddlDomainSid("S-1-5-21-1-2-3"));
  EXPECT_EQ(ToText(FromText("DA")), "S-1-5-21-1-2-3-512");
  EXPECT_EQ(ToText(FromText("DU")), "S-1-5-21-1-2-3-513");
  EXPECT_FALSE(SetSddlDomainSid("not a sid"));
  SetSddlDomainSid("");
  EXPECT_FALSE(ConvertStringSidToSidA("XX", &sid));
}

TEST(SidText, MalformedTextRefused) {
  const char* bad[] = {
      "",  "S",  "S-",  "S-1",  "S-1-",  "S-2-5-18",  "X-1-5-18",
      "S-1-5-",  "S-1-5--18",  "S-1-5-18-",  "S-1-5-18x",  " S-1-5-18",
      "S-1-5-+18",  "S-1-5-4294967296",  "S-1-281474976710656",
      "S-1-0x",  "S-1-0x1234567890ABC",  "S-1-0xG",
      "S-1-5-1-2-3-4-5-6-7-8-9-10-11-12-13-14-15-16",  "BAX",
  };
  for (const char* text : bad) {
    std::vector<BYTE> sid = {9};
    SetLastError(0);
    EXPECT_FALSE(ConvertStringSidToSidA(text, &sid)) << text;
    EXPECT_EQ(GetLastError(), ERROR_INVALID_SID) << text;
    EXPECT_EQ(sid, std::vector<BYTE>{9}) << text;
  }
  std::vector<BYTE> sid;
  EXPECT_FALSE(ConvertStringSidToSidA(nullptr, &sid));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  // Fifteen sub-authorities are the most a SID holds.
  EXPECT_TRUE(ConvertStringSidToSidA("S-1-5-1-2-3-4-5-6-7-8-9-10-11-12-13-14-15", &sid));
  EXPECT_EQ(sid.size(), 68u);
}

TEST(SidBinary, MalformedBinaryRefusedWithinLength) {
  std::string text = "unchanged";
  std::vector<BYTE> wrongRevision = {2, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};
  std::vector<BYTE> tooMany = {1, 16, 0, 0, 0, 0, 0, 5};
  std::vector<BYTE> shortBody = {1, 2, 0, 0, 0, 0, 0, 5, 21, 0, 0, 0};  // needs 16
  std::vector<BYTE> shortHeader = {1, 0, 0, 0, 0};
  for (const auto* sid : {&wrongRevision, &tooMany, &shortBody, &shortHeader}) {
    SetLastError(0);
    EXPECT_FALSE(ConvertSidToStringSidA(sid->data(), sid->size(), &text));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_SID);
    EXPECT_FALSE(IsValidSid(sid->data(), sid->size()));
  }
  EXPECT_EQ(text, "unchanged");
  EXPECT_FALSE(IsValidSid(wrongRevision.data()));
  EXPECT_FALSE(IsValidSid(tooMany.data()));
  EXPECT_FALSE(IsValidSid(nullptr));
  EXPECT_EQ(GetLengthSid(tooMany.data()), 0u);
  EXPECT_TRUE(IsValidSid(shortBody.data()));  // header alone looks sound
  // Extra bytes after the SID are allowed; the length only bounds reading.
  std::vector<BYTE> padded = {1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0, 0xEE};
  EXPECT_TRUE(ConvertSidToStringSidA(padded.data(), padded.size(), &text));
  EXPECT_EQ(text, "S-1-5-18");
}

}  // namespace
}  // namespace plat
