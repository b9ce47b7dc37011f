#include "structured/cached_membership.h"

#include <gtest/gtest.h>

#include "common/process_state.h"
#include "structured/blob_test_data.h"

namespace {

std::vector<std::string> Decode(const std::string& blob, bool* whole = nullptr) {
  std::vector<std::string> lines;
  const bool ok = DecodeCachedMembership(static_cast<unsigned>(blob.size()),
                                         reinterpret_cast<const unsigned char*>(blob.data()), &lines);
  if (whole != nullptr) *whole = ok;
  return lines;
}

class CachedMembership : public testing::Test {
 protected:
  void SetUp() override { g_ResolveSids = g_SidBinaryOut = g_Debug = false; }
  void TearDown() override { SetUp(); }
};

TEST_F(CachedMembership, BlobsAndTheirLines) {
  const std::string a = NtSid({21, 1, 2, 3, 513});
  const std::string b = NtSid({32, 544});
  const std::string c = NtSid({21, 1, 2, 3, 1105});
  struct Case {
    const char* what;
    std::string blob;
    bool whole;
    std::vector<std::string> lines;
  } cases[] = {
      {"one global SID", MembershipBlob(1, 1, 0, 0, 0, a), true, {"(G)S-1-5-21-1-2-3-513"}},
      {"all four groups", MembershipBlob(1, 1, 1, 1, 1, a + b + c + a), true,
       {"(G)S-1-5-21-1-2-3-513", "(GsH)S-1-5-32-544", "(U)S-1-5-21-1-2-3-1105", "(UsH)S-1-5-21-1-2-3-513"}},
      {"all counts 0", MembershipBlob(1, 0, 0, 0, 0, ""), true, {}},
      {"version 2", MembershipBlob(2, 1, 0, 0, 0, a), false, {kNotVersion1Warning}},
      {"empty value", "", false, {kNullBlobWarning}},
      {"version cut", std::string("\x01\0", 2), false, {kShortBlobWarning}},
      {"counts cut", MembershipBlob(1, 1, 0, 0, 0, "").substr(0, 19), false, {kShortBlobWarning}},
      {"more SIDs than bytes", MembershipBlob(1, 3, 0, 0, 0xFFFFFFFF, a + b), false,
       {"(G)S-1-5-21-1-2-3-513", "(G)S-1-5-32-544", kShortBlobWarning}},
      {"SID head cut", MembershipBlob(1, 1, 0, 0, 0, a.substr(0, 1)), false, {kShortBlobWarning}},
      {"sub-authorities cut", MembershipBlob(1, 1, 0, 0, 0, a.substr(0, 27)), false, {kShortBlobWarning}},
  };
  for (const Case& c : cases) {
    bool whole = !c.whole;
    EXPECT_EQ(Decode(c.blob, &whole), c.lines) << c.what;
    EXPECT_EQ(whole, c.whole) << c.what;
  }
}

TEST_F(CachedMembership, BinaryOutAndDebugCounts) {
  g_SidBinaryOut = true;
  EXPECT_EQ(Decode(MembershipBlob(1, 0, 0, 1, 0, NtSid({32, 544}))),
            std::vector<std::string>{"(U)01020000000000052000000020020000"});
  g_SidBinaryOut = false;
  g_Debug = true;
  testing::internal::CaptureStdout();
  Decode(MembershipBlob(1, 0, 0, 0, 0, ""));
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "DEBUG: MSDS-Cached-Membership Decode\n"
            "DEBUG: Global SID Count           = 0\n"
            "DEBUG: Global SIDHistory Count    = 0\n"
            "DEBUG: Universal SID Count        = 0\n"
            "DEBUG: Universal SIDHistory Count = 0\n");
}

}  // namespace
