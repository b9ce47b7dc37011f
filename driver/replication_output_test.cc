// The replication records and blobs from the search to standard output: a
// scripted server returns them as binary values, the run prints the entry.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/process_state.h"
#include "directory/scripted_ldap_server.h"
#include "driver/test_query_run.h"
#include "structured/blob_test_data.h"
#include "values/attribute_kinds.h"
#include "values/binary_records.h"
#include "values/replication_test_fixture.h"

namespace {

// One value of each record kind, as the directory sends it.
const std::vector<std::pair<std::string, std::string>>& Values() {
  static const std::vector<std::pair<std::string, std::string>> values = {
      {"msDS-ReplAttributeMetaData;binary",
       TestRecord(52).Text(0, "cn").U32(4, 1).U64(8, kTime2001).U64(32, 9).U64(40, 10).Text(48, kDsa1).str()},
      {"msDS-ReplValueMetaData;binary",
       TestRecord(84).Text(0, "member").Text(4, "CN=a,DC=t").U64(24, kTime2010).U32(32, 1).str()},
      {"msDS-NCReplCursors;binary", TestRecord(36).U64(16, 77).U64(24, kTime2020).Text(32, kDsa2).str()},
      {"msDS-ReplLinkFailures;binary", TestRecord(36).U32(28, 2).U32(32, 1722).str()},
      {"msDS-ReplAllInboundNeighbors;binary",
       TestRecord(128).Text(0, "DC=t").Text(4, kDsa1).U32(16, 0x50).U64(104, kTime2001).str()},
      {"msDS-ReplPendingOps;binary",
       TestRecord(36).U64(0, kTime2020).U32(8, 4).U32(16, 1).U32(20, 0x21).Text(28, kDsa2).str()},
      {"msDS-TopQuotaUsage;binary", "<partitionDN> DC=t </partitionDN>\n<quotaUsed> 3 </quotaUsed>\n"},
      {"msDS-ReplQueueStatistics;binary", TestRecord(52).U32(8, 2).U64(0, kTime2010).str()},
      {"msDS-Cached-Membership", MembershipBlob(1, 1, 0, 0, 0, NtSid({21, 1, 2, 3, 513}))},
      {"retiredReplDSASignatures", SignatureBlob(1, 1, 16, SignatureRecord(0, 12625646706, 5))},
      {"msDS-RetiredReplNCSignatures", SignatureBlob(1, 1, 32, SignatureRecord(0, 0, 6))},
  };
  return values;
}

class ReplicationOutput : public ScriptedServerTest {
 protected:
  void SetUp() override {
    LoadAttributeKindMaps();
    g_Debug = g_Quiet = false;
    g_Utc = true;
    g_BinaryAttributes["msDS-Cached-Membership"] = 1;  // as the schema load marks them
    g_BinaryAttributes["retiredReplDSASignatures"] = 1;
    g_BinaryAttributes["msDS-RetiredReplNCSignatures"] = 1;
    t_.settings.base = "DC=t";
    t_.settings.filter = "(objectClass=*)";
  }
  void TearDown() override {
    g_Utc = false;
    g_MetaSortKey = "attrib";
    g_BinaryAttributes.clear();
    ScriptedServerTest::TearDown();
  }
  std::string Run(const ScriptedAttributes& attributes) {
    ScriptedLdapServer server({[attributes](int64_t id) {
      return EntryMessage(id, "CN=dc,DC=t", attributes) + DoneMessage(id, 0, "");
    }});
    SearchState& st = t_.Start().search;
    t_.HandMadeRootDse();
    if (ld_ != nullptr) plat::ldap_unbind(ld_);  // the connection of an earlier run
    st.connection = Connect(server);
    st.searchAttributes = {nullptr};
    st.sortKeyList = {nullptr, nullptr};
    testing::internal::CaptureStdout();
    RunPagedSearch(*t_.run);
    return testing::internal::GetCapturedStdout();
  }
  TestQueryRun t_;
};

// Each attribute prints what its renderer makes of the value, under its label,
// and nothing is dumped in hex.
TEST_F(ReplicationOutput, EveryKindFromTheSearchToStandardOutput) {
  for (const char* sortKey : {"attrib", "dsa-"}) {
    g_MetaSortKey = sortKey;
    ScriptedAttributes attributes;
    std::string expected = "dn:CN=dc,DC=t\n";
    for (const auto& [name, value] : Values()) {
      attributes.push_back({name, {value, value}});
      std::string lines;
      const std::vector<std::string_view> values = {value, value};
      ASSERT_TRUE(AppendBinaryRecords(ClassifyBinaryAttribute(name), name, ">" + name + ": ", values, &lines))
          << name;
      EXPECT_EQ(lines.find("0000 "), std::string::npos) << name << ": " << lines;
      expected += lines;
    }
    EXPECT_EQ(Run(attributes), expected + "\n") << sortKey;
  }
}

TEST_F(ReplicationOutput, MalformedValuesAmongGoodOnesAndTheNextEntry) {
  const std::string good = Values()[0].second;
  const std::string out = Run({{"msDS-ReplAttributeMetaData;binary", {good.substr(0, 20), good}},
                               {"cn", {"dc"}}});
  const std::vector<std::string> lines = SplitLines(out);
  ASSERT_EQ(lines.size(), 5u) << out;
  EXPECT_NE(lines[1].find("Main-Site\\DC01"), std::string::npos);
  EXPECT_EQ(lines[2], ">msDS-ReplAttributeMetaData;binary: 3400 0000 0100 0000 0005 B57D 968D C001 0000 0000 ");
  EXPECT_EQ(lines[3], ">cn: dc");
}

}  // namespace
