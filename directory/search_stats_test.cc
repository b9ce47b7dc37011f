#include "directory/search_stats.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/process_state.h"
#include "platform/ldap_client.h"

namespace {

// Encodes statistic items the way the server does: a sequence of INTEGER
// numbers each followed by an INTEGER or OCTET STRING value.
struct StatsValue {
  std::vector<BYTE> items;

  StatsValue& Int(DWORD v) {
    items.push_back(0x02);
    if (v < 0x80) {
      items.push_back(1);
      items.push_back(static_cast<BYTE>(v));
    } else {
      items.push_back(4);
      for (int s = 24; s >= 0; s -= 8) items.push_back(static_cast<BYTE>(v >> s));
    }
    return *this;
  }
  StatsValue& Text(const std::string& t) {
    items.push_back(0x04);
    if (t.size() < 0x80) {
      items.push_back(static_cast<BYTE>(t.size()));
    } else {
      items.push_back(0x82);
      items.push_back(static_cast<BYTE>(t.size() >> 8));
      items.push_back(static_cast<BYTE>(t.size()));
    }
    items.insert(items.end(), t.begin(), t.end());
    return *this;
  }
  StatsValue& Raw(std::vector<BYTE> b) {
    items.insert(items.end(), b.begin(), b.end());
    return *this;
  }
  // The whole value; declared overrides the sequence length.
  std::vector<BYTE> Bytes(long declared = -1) const {
    size_t len = declared < 0 ? items.size() : static_cast<size_t>(declared);
    std::vector<BYTE> out = {0x30, 0x84, static_cast<BYTE>(len >> 24), static_cast<BYTE>(len >> 16),
                             static_cast<BYTE>(len >> 8), static_cast<BYTE>(len)};
    out.insert(out.end(), items.begin(), items.end());
    return out;
  }
};

class SearchStatsTest : public testing::Test {
 protected:
  void SetUp() override {
    g_SearchStats = SearchStats();
    g_StatsReceived = false;
    g_Debug = false;
  }
  // Decodes bytes as a control of the statistics OID; returns stdout.
  std::string Decode(const std::vector<BYTE>& bytes, const char* oid = kSearchStatsOid) {
    // An exact-size heap copy, so the sanitizer catches any read past it.
    std::vector<char> value(bytes.begin(), bytes.end());
    plat::LDAPControl control{};
    control.ldctl_oid = const_cast<char*>(oid);
    control.ldctl_value.bv_len = static_cast<ULONG>(value.size());
    control.ldctl_value.bv_val = value.empty() ? nullptr : value.data();
    testing::internal::CaptureStdout();
    DecodeStatsControl(&control);
    return testing::internal::GetCapturedStdout();
  }
  std::string Print(bool verbose) {
    testing::internal::CaptureStdout();
    PrintStatistics(verbose);
    return testing::internal::GetCapturedStdout();
  }
};

TEST_F(SearchStatsTest, DecodesEveryKnownStatistic) {
  StatsValue v;
  v.Int(1).Int(9).Int(2).Int(8).Int(3).Int(1234).Int(4).Int(0).Int(5).Int(50).Int(6).Int(200)
      .Int(7).Text("(objectClass=*)").Int(8).Text("idx_a:10:N;idx_b:20:S");
  EXPECT_EQ(Decode(v.Bytes()), "");
  EXPECT_TRUE(g_StatsReceived);
  EXPECT_TRUE(g_SearchStats.initialised);
  EXPECT_TRUE(g_SearchStats.hasCounts);
  EXPECT_FALSE(g_SearchStats.rightsProblem);
  EXPECT_EQ(g_SearchStats.elapsedMs, 1234u);
  EXPECT_EQ(g_SearchStats.entriesReturned, 50u);
  EXPECT_EQ(g_SearchStats.entriesVisited, 200u);
  EXPECT_EQ(g_SearchStats.usedFilter, "(objectClass=*)");
  EXPECT_EQ(g_SearchStats.usedIndices, "idx_a:10:N;idx_b:20:S");
}

TEST_F(SearchStatsTest, OtherOidsAndEmptyValuesChangeNothing) {
  Decode(StatsValue().Int(3).Int(5).Bytes(), "1.2.840.113556.1.4.319");
  EXPECT_FALSE(g_SearchStats.initialised);
  EXPECT_FALSE(g_StatsReceived);
  Decode({});
  EXPECT_TRUE(g_SearchStats.initialised);
  EXPECT_FALSE(g_StatsReceived);
}

TEST_F(SearchStatsTest, LaterPagesReplaceCountsAndResetHappensOnce) {
  Decode(StatsValue().Int(5).Int(10).Int(6).Int(20).Bytes());
  Decode(StatsValue().Int(5).Int(3).Bytes());
  EXPECT_EQ(g_SearchStats.entriesReturned, 3u);
  EXPECT_EQ(g_SearchStats.entriesVisited, 20u);  // not cleared by the second control
}

TEST_F(SearchStatsTest, FilterAndIndicesAsNumbersMeanMissingRights) {
  Decode(StatsValue().Int(6).Int(20).Int(7).Int(0).Int(8).Int(0).Bytes());
  EXPECT_TRUE(g_SearchStats.rightsProblem);
  std::string out = Print(true);
  EXPECT_EQ(out,
            "\nERROR:\nERROR: It doesn't appear you have sufficient rights to retrieve \n"
            "ERROR: STATS output. You need DEBUG_PRIVILEGE on the Domain Controller.\nERROR:\n\n");
}

TEST_F(SearchStatsTest, UnknownStatisticReportsAndStops) {
  std::vector<BYTE> bytes = StatsValue().Int(5).Int(7).Int(9).Int(1).Int(6).Int(99).Bytes();
  std::string out = Decode(bytes);
  EXPECT_EQ(g_SearchStats.entriesReturned, 7u);
  EXPECT_EQ(g_SearchStats.entriesVisited, 0u);  // after the unknown item: ignored
  // Position after the value of statistic 9: 6 header bytes + 4 items of 3.
  EXPECT_NE(out.find("UNKNOWN STATS CONDITION\a\a\n***********************\n\nDETAILS:\n"
                     "Where: BER_INT\nBlob Length: 24\nOffset: 19\nBlob1:\n0000 30 84"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("Blob2:\n0000 02 01 06 02 01 63 \n"), std::string::npos) << out;
  EXPECT_NE(out.find("\n****************************************************\n"), std::string::npos);
}

TEST_F(SearchStatsTest, TextWhereNoneIsExpectedAndUnknownTags) {
  std::string out = Decode(StatsValue().Int(3).Text("x").Bytes());
  EXPECT_NE(out.find("Where: BER_OS\n"), std::string::npos) << out;
  EXPECT_NE(out.find("Offset: 13\n"), std::string::npos) << out;
  out = Decode(StatsValue().Int(5).Int(1).Raw({0x01, 0x01, 0xFF}).Int(6).Int(4).Bytes());
  EXPECT_NE(out.find("Where: BER_UNK\n"), std::string::npos) << out;
  EXPECT_NE(out.find("Offset: 13\n"), std::string::npos) << out;
  EXPECT_EQ(g_SearchStats.entriesVisited, 0u);
}

TEST_F(SearchStatsTest, NeverReadsPastTheValue) {
  // A sequence length larger than the value, then items cut short in every
  // place: the decoder keeps what came before and stops quietly.
  std::vector<std::vector<BYTE>> cases = {
      StatsValue().Int(5).Int(11).Bytes(1000),
      StatsValue().Int(5).Int(11).Raw({0x02}).Bytes(),
      StatsValue().Int(5).Int(11).Raw({0x02, 0x04, 0x01}).Bytes(),
      StatsValue().Int(5).Int(11).Raw({0x02, 0x01, 0x07, 0x04, 0x85}).Bytes(),
      StatsValue().Int(5).Int(11).Int(7).Raw({0x04, 0x84, 0x7F, 0xFF, 0xFF, 0xFF, 'a'}).Bytes(),
      {0x30},
      {0x30, 0x84, 0x00},
  };
  for (const auto& bytes : cases) {
    SetUp();
    std::string out = Decode(bytes);
    EXPECT_EQ(out, "");
    if (bytes.size() > 6) {
      EXPECT_EQ(g_SearchStats.entriesReturned, 11u);
    }
    EXPECT_TRUE(g_SearchStats.usedFilter.empty());
  }
}

TEST_F(SearchStatsTest, LongTextsWithLongFormLengths) {
  std::string filter(300, 'f');
  Decode(StatsValue().Int(7).Text(filter).Int(6).Int(1).Bytes());
  EXPECT_EQ(g_SearchStats.usedFilter, filter);
  EXPECT_EQ(g_SearchStats.entriesVisited, 1u);
}

TEST_F(SearchStatsTest, ReportWithHitRateAndIndices) {
  g_SearchStats.hasCounts = true;
  g_SearchStats.elapsedMs = 16;
  g_SearchStats.entriesReturned = 50;
  g_SearchStats.entriesVisited = 200;
  g_SearchStats.usedFilter = " ( & (a=1) (b=2) ) ";
  g_SearchStats.usedIndices = "idx_a:10:N;idx_b:20:N";
  EXPECT_EQ(Print(false),
            "\n\nStatistics\n=================================\nElapsed Time: 16 (ms)\n"
            "Returned 50 entries of 200 visited - (25.00%)\n\n"
            "Used Filter:\n ( & (a=1) (b=2) ) \n\n"
            "Used Indices:\n idx_a:10:N\n idx_b:20:N\n\n");
  std::string verbose = Print(true);
  EXPECT_NE(verbose.find("Hit Rate of 25.00% is Ok\n\nIndices used:\n"
                         "\nIndex Name  : idx_a\nRecord Count: 10  (estimate)\nIndex Type  : Normal Attribute Index\n"
                         "\nIndex Name  : idx_b\nRecord Count: 20  (estimate)\nIndex Type  : Normal Attribute Index\n"
                         "\n\nFilter Breakdown:\n\n(&\n  (a=1)\n  (b=2)\n)\n"),
            std::string::npos)
      << verbose;
  EXPECT_EQ(verbose.find("No dedicated indices"), std::string::npos);
}

TEST_F(SearchStatsTest, Ratings) {
  g_SearchStats.hasCounts = true;
  g_SearchStats.entriesVisited = 200;
  g_SearchStats.entriesReturned = 150;
  EXPECT_NE(Print(true).find("Hit Rate of 75.00% is Efficient\n"), std::string::npos);
  g_SearchStats.entriesReturned = 49;
  EXPECT_NE(Print(true).find("Hit Rate of 24.50% is Inefficient\n"), std::string::npos);
}

TEST_F(SearchStatsTest, NothingVisitedAndNoDedicatedIndex) {
  g_SearchStats.hasCounts = true;
  g_SearchStats.usedIndices = "DNT_index:5:I";
  std::string out = Print(true);
  EXPECT_NE(out.find("WARN: If this is pre-SP1 Windows Server 2003, there is a bug for entries visited/returned\n"
                     "Returned 0 entries of 0 visited - (0.00%)\n"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("No dedicated indices used for search, this is inefficient.\n\n"), std::string::npos);
  EXPECT_NE(out.find("Index Type  : Index Intersection (temp table result set)\n"), std::string::npos);
}

TEST_F(SearchStatsTest, UnknownIndexTypeAndAncestorsAndNoReportWithoutCounts) {
  g_SearchStats.hasCounts = true;
  g_SearchStats.entriesVisited = 1;
  g_SearchStats.usedIndices = "Ancestors_index:3:Z";
  std::string out = Print(true);
  EXPECT_NE(out.find("Index Type  : Unknown Index Type\n\n"), std::string::npos) << out;
  EXPECT_NE(out.find("Ancestors Index used, possibly inefficient, verify filter.\n"), std::string::npos);
  g_SearchStats.hasCounts = false;
  EXPECT_EQ(Print(true), "");
}

TEST_F(SearchStatsTest, FilterBreakdownKeepsValueParenthesesOnTheTermLine) {
  g_SearchStats.hasCounts = true;
  g_SearchStats.entriesVisited = 1;
  g_SearchStats.usedFilter = "(|(cn=a(b)c)(!(sn=x)))";
  std::string out = Print(true);
  size_t at = out.find("Filter Breakdown:\n\n");
  ASSERT_NE(at, std::string::npos);
  EXPECT_EQ(out.substr(at + 19), "(|\n  (cn=a(b)c)\n  (!\n    (sn=x)\n)\n)\n");
}

TEST_F(SearchStatsTest, DebugLinesOfTheWalk) {
  g_Debug = true;
  std::string out = Decode({0x30, 0x06, 0x02, 0x01, 0x03, 0x02, 0x01, 0x10});
  g_Debug = false;
  EXPECT_EQ(out,
            "DEBUG: STATS OID: 1.2.840.113556.1.4.970\n"
            "DEBUG: STATS Len:8\n"
            "DEBUG: STATS:\n"
            "0000 30 06 02 01 03 02 01 10 \nDECODE:\n0_______\n\n"
            "              TAG: 2  - LEN: 0  -  DWLEN: 6\n"
            "DEBUG: *****GETTING INT:\n0000 02 01 03 \nDECODE:\n___\n\n"
            "DEBUG: *****INT VAL=3\n"
            "DEBUG: INT: 3\n"
            "              #2 - TAG: 2  - LEN: 3  -  DWLEN: 6\n\n\n"
            "              TAG: 2  - LEN: 0  -  DWLEN: 3\n"
            "DEBUG: *****GETTING INT:\n0000 02 01 10 \nDECODE:\n___\n\n"
            "DEBUG: *****INT VAL=16\n"
            "DEBUG: INT: 16\n"
            "              #2 - TAG: 2  - LEN: 3  -  DWLEN: 3\n\n\n");
  EXPECT_EQ(g_SearchStats.elapsedMs, 16u);
}

}  // namespace
