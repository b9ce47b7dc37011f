#include "values/binary_value.h"

#include <gtest/gtest.h>

namespace {

TEST(BinaryValue, RecordKindByNameCaseSensitive) {
  EXPECT_EQ(ClassifyBinaryAttribute("msDS-Cached-Membership"), BinaryRecordKind::kCachedMembership);
  EXPECT_EQ(ClassifyBinaryAttribute("msDS-Site-Affinity"), BinaryRecordKind::kSiteAffinity);
  EXPECT_EQ(ClassifyBinaryAttribute("msDS-RetiredReplNCSignatures"),
            BinaryRecordKind::kRetiredNcSignatures);
  EXPECT_EQ(ClassifyBinaryAttribute("retiredReplDSASignatures"),
            BinaryRecordKind::kRetiredDsaSignatures);
  EXPECT_EQ(ClassifyBinaryAttribute("msDS-ReplAttributeMetaData;binary"),
            BinaryRecordKind::kAttributeMetaData);
  EXPECT_EQ(ClassifyBinaryAttribute("msDS-ReplValueMetaData"), BinaryRecordKind::kValueMetaData);
  EXPECT_EQ(ClassifyBinaryAttribute("msDS-NCReplCursors;binary"), BinaryRecordKind::kCursors);
  EXPECT_EQ(ClassifyBinaryAttribute("msDS-ReplLinkFailures;binary"), BinaryRecordKind::kFailures);
  EXPECT_EQ(ClassifyBinaryAttribute("msDS-ReplConnectionFailures"), BinaryRecordKind::kFailures);
  EXPECT_EQ(ClassifyBinaryAttribute("msDS-ReplAllOutboundNeighbors;binary"),
            BinaryRecordKind::kNeighbours);
  EXPECT_EQ(ClassifyBinaryAttribute("msDS-NCReplInboundNeighbors"), BinaryRecordKind::kNeighbours);
  EXPECT_EQ(ClassifyBinaryAttribute("msDS-ReplPendingOps;binary"), BinaryRecordKind::kPendingOps);
  EXPECT_EQ(ClassifyBinaryAttribute("msDS-TopQuotaUsage"), BinaryRecordKind::kQuotaUsage);
  EXPECT_EQ(ClassifyBinaryAttribute("msDS-ReplQueueStatistics;binary"),
            BinaryRecordKind::kQueueStatistics);
  // Whole-name rows do not match a longer name; case counts.
  EXPECT_EQ(ClassifyBinaryAttribute("msDS-Site-Affinity;binary"), BinaryRecordKind::kOther);
  EXPECT_EQ(ClassifyBinaryAttribute("msds-site-affinity"), BinaryRecordKind::kOther);
  EXPECT_EQ(ClassifyBinaryAttribute("msds-replattributemetadata"), BinaryRecordKind::kOther);
  EXPECT_EQ(ClassifyBinaryAttribute("netlogon"), BinaryRecordKind::kOther);
  EXPECT_EQ(ClassifyBinaryAttribute(""), BinaryRecordKind::kOther);
}

TEST(BinaryValue, HexDumpLineWithLabelAndDebugMark) {
  const unsigned char bytes[] = {0x0A};
  std::string out;
  testing::internal::CaptureStdout();
  AppendHexDumpLine(">netlogon: ", bytes, 1, true, &out);
  AppendHexDumpLine(">netlogon: ", bytes, 0, true, &out);
  AppendHexDumpLine("", bytes, 1, false, &out);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "[1][0]");
  EXPECT_EQ(out, ">netlogon: 0A \n>netlogon: \n0A \n");
}

}  // namespace
