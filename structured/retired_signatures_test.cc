#include "structured/retired_signatures.h"

#include <gtest/gtest.h>

#include "common/process_state.h"
#include "structured/blob_test_data.h"
#include "structured/cached_membership.h"

namespace {

using Decoder = bool (*)(unsigned, const unsigned char*, std::vector<std::string>*);

std::vector<std::string> Decode(Decoder decode, const std::string& blob) {
  std::vector<std::string> lines;
  decode(static_cast<unsigned>(blob.size()), reinterpret_cast<const unsigned char*>(blob.data()), &lines);
  return lines;
}

constexpr char kGuid1[] = "{04030201-0605-0807-090A-0B0C0D0E0F10}";
constexpr char kGuid2[] = "{14131211-1615-1817-191A-1B1C1D1E1F20}";
// 2001/02/03-04:05:06 UTC in seconds since 1601.
constexpr int64_t kSeconds2001 = 12625646706;

class RetiredSignatures : public testing::Test {
 protected:
  void SetUp() override { g_DecodeTimes = g_TimesSortable = g_Debug = g_GuidBinaryOut = false, g_Utc = true; }
  void TearDown() override { SetUp(); }
  const std::string records_ = SignatureRecord(0, kSeconds2001, 4711) + SignatureRecord(16, 0, -3);
};

TEST_F(RetiredSignatures, DsaAndNcBlobsAndTheirTimeForms) {
  const std::string dsa = std::string("DSA_SIG=") + kGuid1 + " RETIRE_USN=4711 RETIRE_TIME=";
  const std::string dsa2 = std::string("DSA_SIG=") + kGuid2 + " RETIRE_USN=-3 RETIRE_TIME=";
  EXPECT_EQ(Decode(DecodeRetiredDsaSignatures, SignatureBlob(1, 2, 16, records_)),
            (std::vector<std::string>{dsa + "126256467060000000", dsa2 + "0"}));
  EXPECT_EQ(Decode(DecodeRetiredNcSignatures, SignatureBlob(1, 2, 32, records_)),
            (std::vector<std::string>{std::string("NC_GUID=") + kGuid1 + " RETIRE_USN=4711 RETIRE_TIME=126256467060000000",
                                      std::string("NC_GUID=") + kGuid2 + " RETIRE_USN=-3 RETIRE_TIME=0"}));
  g_DecodeTimes = true;  // -tdc
  EXPECT_EQ(Decode(DecodeRetiredDsaSignatures, SignatureBlob(1, 2, 16, records_)),
            (std::vector<std::string>{dsa + "02/03/2001-04:05:06 Coordinated Universal Time",
                                      dsa2 + "00/00/0000-00:00:00"}));
  g_TimesSortable = true;  // -tdcs
  EXPECT_EQ(Decode(DecodeRetiredDsaSignatures, SignatureBlob(1, 2, 16, records_)),
            (std::vector<std::string>{dsa + "2001/02/03-04:05:06 Coordinated Universal Time",
                                      dsa2 + "0000/00/00-00:00:00"}));
}

TEST_F(RetiredSignatures, MalformedBlobs) {
  const std::string first = std::string("DSA_SIG=") + kGuid1 + " RETIRE_USN=4711 RETIRE_TIME=126256467060000000";
  struct Case {
    const char* what;
    std::string blob;
    std::vector<std::string> lines;
  } cases[] = {
      {"empty", "", {kNullBlobWarning}},
      {"version 2", SignatureBlob(2, 2, 16, records_), {kNotVersion1Warning}},
      {"count cut", SignatureBlob(1, 2, 16, "").substr(0, 11), {kShortBlobWarning}},
      {"count beyond the records", SignatureBlob(1, 0xFFFFFFFF, 16, records_.substr(0, 63)),
       {first, kShortBlobWarning}},
      {"no records", SignatureBlob(1, 0, 16, ""), {}},
  };
  for (const Case& c : cases) EXPECT_EQ(Decode(DecodeRetiredDsaSignatures, c.blob), c.lines) << c.what;
  // The same bytes as a naming-context blob start their records 16 bytes later.
  EXPECT_EQ(Decode(DecodeRetiredNcSignatures, SignatureBlob(1, 2, 16, records_)).size(), 2u);
  EXPECT_EQ(Decode(DecodeRetiredNcSignatures, SignatureBlob(1, 2, 16, records_)).back(), kShortBlobWarning);
}

TEST_F(RetiredSignatures, HugeTimesWrapInsteadOfOverflowing) {
  const std::vector<std::string> lines =
      Decode(DecodeRetiredDsaSignatures, SignatureBlob(1, 1, 16, SignatureRecord(0, INT64_MAX, 0)));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].substr(lines[0].find("RETIRE_TIME=")),
            "RETIRE_TIME=" + std::to_string(static_cast<int64_t>(static_cast<uint64_t>(INT64_MAX) * 10000000ULL)));
}

}  // namespace
