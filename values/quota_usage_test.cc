#include "values/quota_usage.h"

#include <gtest/gtest.h>

#include "common/process_state.h"
#include "values/replication_test_fixture.h"

namespace {

std::string Quota(const std::string& nc, const std::string& owner, const std::string& used,
                  const char* eol = "\n") {
  return "<MS_DS_TOP_QUOTA_USAGE>" + std::string(eol) + "\t<liveCount> 7 </liveCount>" + eol +
         "\t<partitionDN> " + nc + " </partitionDN>" + eol + "\t<ownerSID> " + owner +
         " </ownerSID>" + eol + "\t<quotaUsed> " + used + " </quotaUsed>" + eol +
         "\t<tombstonedCount> 2 </tombstonedCount>" + eol + "</MS_DS_TOP_QUOTA_USAGE>" + eol;
}

class QuotaUsage : public ReplicationPhaseTest {
 protected:
  std::vector<std::string> Run(const std::vector<std::string>& texts, std::string_view label = "") {
    std::vector<std::string_view> values(texts.begin(), texts.end());
    std::string out;
    AppendQuotaUsage("msDS-TopQuotaUsage", label, values, &out);
    return SplitLines(out);
  }
  void SetUp() override {
    ReplicationPhaseTest::SetUp();
    g_ResolveSids = false;
  }
  const std::vector<std::string> quotas_ = {
      Quota("DC=b,DC=t", "S-1-5-21-1-2-3-1105", "9"),
      Quota("DC=a,DC=t", "S-1-5-21-1-2-3-500", "12"),
  };
};

TEST_F(QuotaUsage, ColumnsInTheirOwnOrderWhateverTheValuesOrder) {
  EXPECT_EQ(Run({quotas_[0]}, ">msDS-TopQuotaUsage: "),
            std::vector<std::string>{">msDS-TopQuotaUsage: NC: DC=b,DC=t Owner: S-1-5-21-1-2-3-1105 "
                                     "Used: 9 Tombstone: 2 LiveCount: 7"});
  // CR LF line ends leave the CR in the columns; the text ends at a NUL.
  const std::string crlf = Quota("DC=c", "S-1-1-0", "1", "\r\n") + std::string("\0<quotaUsed> 5 </quotaUsed>\n", 28);
  EXPECT_EQ(Run({crlf}), std::vector<std::string>{"NC: DC=c\r Owner: S-1-1-0\r Used: 1\r Tombstone: 2\r LiveCount: 7\r"});
}

TEST_F(QuotaUsage, ElementTextsAsTheyStand) {
  struct Case {
    std::string value;
    std::string line;
  } cases[] = {
      {"no elements at all", "NC:  Owner:  Used:  Tombstone:  LiveCount: "},
      {"", "NC:  Owner:  Used:  Tombstone:  LiveCount: "},
      // All on one line: only the NC column, with the rest of the line.
      {"<partitionDN> DC=x </partitionDN><quotaUsed> 3 </quotaUsed>",
       "NC: DC=x<quotaUsed> 3 </quotaUsed> Owner:  Used:  Tombstone:  LiveCount: "},
      // Markers without their inner blank stay; a later line wins.
      {"<quotaUsed>4</quotaUsed>\n<quotaUsed> 5 </quotaUsed>", "NC:  Owner:  Used: 5 Tombstone:  LiveCount: "},
      {"<quotaUsed>4</quotaUsed>", "NC:  Owner:  Used: <quotaUsed>4</quotaUsed> Tombstone:  LiveCount: "},
  };
  for (const Case& c : cases) EXPECT_EQ(Run({c.value}), std::vector<std::string>{c.line}) << c.value;
}

TEST_F(QuotaUsage, SortKeysAndFilters) {
  struct Case {
    const char* key;
    std::vector<std::string> ncs;
  } cases[] = {
      {"attrib", {"DC=b,DC=t", "DC=a,DC=t"}},  // value order
      {"-", {"DC=a,DC=t", "DC=b,DC=t"}},
      {"nc", {"DC=a,DC=t", "DC=b,DC=t"}},
      {"nc-", {"DC=b,DC=t", "DC=a,DC=t"}},
      {"owner", {"DC=b,DC=t", "DC=a,DC=t"}},  // ...-1105 before ...-500
      {"owner-", {"DC=a,DC=t", "DC=b,DC=t"}},
  };
  for (const Case& c : cases) {
    g_MetaSortKey = c.key;
    std::vector<std::string> ncs;
    for (const std::string& line : Run(quotas_)) ncs.push_back(line.substr(4, line.find(' ', 4) - 4));
    EXPECT_EQ(ncs, c.ncs) << c.key;
  }
  g_MetaSortKey = "attrib";
  Hide("msds-topquotausage", "-500 ");
  EXPECT_EQ(Run(quotas_).size(), 1u);
}

// Under -resolvesids the owner column, its sort key and the filters use the
// resolved name (here taken from the run's cache, so no lookup is made).
TEST_F(QuotaUsage, ResolvedOwners) {
  g_ResolveSids = true;
  g_SidNameCache["S-1-5-21-1-2-3-500"] = "QUELBY\\Administrator";
  g_SidNameCache["S-1-5-21-1-2-3-1105"] = "QUELBY\\zed";
  g_MetaSortKey = "owner";
  const std::vector<std::string> lines = Run(quotas_);
  g_SidNameCache.clear();
  g_ResolveSids = false;
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "NC: DC=a,DC=t Owner: QUELBY\\Administrator Used: 12 Tombstone: 2 LiveCount: 7");
  EXPECT_EQ(lines[1].substr(0, 31), "NC: DC=b,DC=t Owner: QUELBY\\zed");
}

}  // namespace
