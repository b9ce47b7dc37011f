#include "values/repl_neighbours.h"

#include <gtest/gtest.h>

#include "values/replication_test_fixture.h"
#include "values/test_record_builder.h"

namespace {

struct Neighbour {
  const char* nc;
  const char* dsa;
  const char* address;
  uint32_t flags;
  uint64_t lastSuccess;
  uint64_t lastAttempt;
  int32_t result;
  int32_t fails;
};

std::string Record(const Neighbour& n) {
  TestRecord r(128);
  r.U32(16, n.flags).U64(104, n.lastSuccess).U64(112, n.lastAttempt);
  r.U32(120, static_cast<uint32_t>(n.result)).U32(124, static_cast<uint32_t>(n.fails));
  if (n.nc != nullptr) r.Text(0, n.nc);
  if (n.dsa != nullptr) r.Text(4, n.dsa);
  if (n.address != nullptr) r.Text(8, n.address);
  return r.str();
}

constexpr char kFormat[] =
    "ConsecFails: %-6d LastResult: %-6d LastAttempt: %-24s  LastSuccess: %-24s DSA: %s NC: %s "
    "Flags: %d [%s] Address: %s LastError: \"%s\"";

TEST(ReplicaFlagsText, NamesInTableOrderAndTheRestAsUnknown) {
  struct Case {
    uint32_t flags;
    const char* text;
  } cases[] = {
      {0, ""},
      {0x10 | 0x40 | 0x20000000, "WRITEABLE(16),SCHEDULED(64),NO_CHG_NOTIFY(536870912)"},
      {0x80000010, "WRITEABLE(16),UNKNOWN(2147483648)"},
      {0x1 | 0x200, "TWO_WAY(512),UNKNOWN(1)"},
      {0x30230000 | 0x2E0, "ON_START(32),SCHEDULED(64),ASYNCH(128),TWO_WAY(512),FULL_SYNCH_IN_PROGRESS(65536),"
                           "FULL_SYNCH_NEXT_PACKET(131072),NEVER_SYNCED(2097152),COMPRESS(268435456),"
                           "NO_CHG_NOTIFY(536870912)"},
  };
  for (const Case& c : cases) EXPECT_EQ(ReplicaFlagsText(c.flags), c.text) << c.flags;
}

class ReplNeighbours : public ReplicationPhaseTest {
 protected:
  std::string Run(const char* attrName, const std::vector<Neighbour>& ns, std::string_view label) {
    std::vector<std::string> records;
    for (const Neighbour& n : ns) records.push_back(Record(n));
    std::vector<std::string_view> values(records.begin(), records.end());
    std::string out;
    AppendReplNeighbours(attrName, label, values, &out);
    return out;
  }
  const std::vector<Neighbour> ns_ = {
      {"DC=b,DC=t", kDsa1, "guid1._msdcs.t", 0x10 | 0x40 | 0x20000000, kTime2020, kTime2020, 0, 0},
      {"DC=a,DC=t", kDsa2, "guid2._msdcs.t", 0x80000010, kTime2001, kTime2010, 1722, 4},
      {nullptr, nullptr, nullptr, 0, 0, 0, 5, 1},
  };
};

TEST_F(ReplNeighbours, LineColumnsUnderEachOfTheFourNames) {
  const std::string expected =
      Format(kFormat, 4, 1722, "2010/01/01-00:00:00 UTC", "2001/02/03-04:05:06 UTC", "Branch\\DC7",
             "DC=a,DC=t", -2147483632, "WRITEABLE(16),UNKNOWN(2147483648)", "guid2._msdcs.t",
             "The RPC server cannot be reached.");
  for (const char* name : {"msDS-NCReplInboundNeighbors;binary", "msDS-NCReplOutboundNeighbors;binary",
                           "msDS-ReplAllInboundNeighbors;binary", "msDS-ReplAllOutboundNeighbors;binary"}) {
    const std::string label = std::string(">") + name + ": ";
    EXPECT_EQ(Run(name, {ns_[1]}, label), label + expected + "\n") << name;
  }
  EXPECT_EQ(Run("msDS-ReplAllInboundNeighbors", {ns_[2]}, ""),
            Format(kFormat, 1, 5, "", "", "DeletedDSA", "DeletedNC", 0, "", "-",
                   "Access is denied.") + std::string("\n"));
}

TEST_F(ReplNeighbours, SortKeys) {
  // Lines are recognised by their consecutive-failure count.
  struct Case {
    const char* key;
    std::string fails;
  } cases[] = {
      {"attrib", "4 1 0"},  // Branch, DeletedDSA, Main-Site
      {"dsa-", "0 1 4"},
      {"date", "4 0 1"},    // last success 2001, 2020, none
      {"date-", "1 0 4"},
      {"nc", "4 0 1"},      // DC=a, DC=b, DeletedNC
      {"err", "1 0 4"},     // Access..., The operation..., The RPC...
  };
  for (const Case& c : cases) {
    g_MetaSortKey = c.key;
    std::string fails;
    for (const std::string& line : SplitLines(Run("msDS-ReplAllInboundNeighbors", ns_, ""))) {
      if (!fails.empty()) fails += ' ';
      fails += line.substr(13, line.find(' ', 13) - 13);
    }
    EXPECT_EQ(fails, c.fails) << c.key;
  }
}

TEST_F(ReplNeighbours, FiltersAndMalformedRecords) {
  ShowOnly("msds-replallinboundneighbors", "no_chg_notify");
  EXPECT_EQ(SplitLines(Run("msDS-ReplAllInboundNeighbors", ns_, "")).size(), 1u);
  SetUp();
  std::vector<std::string> records = {Record(ns_[0]).substr(0, 127), TestRecord(128).U32(8, 130).str(),
                                      TestRecord(128).Text(4, "CN=NTDS", false).str(), Record(ns_[2])};
  std::vector<std::string_view> values(records.begin(), records.end());
  std::string out;
  AppendReplNeighbours("msDS-ReplAllInboundNeighbors", "", values, &out);
  const std::vector<std::string> lines = SplitLines(out);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0].substr(0, 13), "ConsecFails: ");
  EXPECT_EQ(lines[1].substr(0, 5), "8000 ");
  EXPECT_EQ(lines[2].size(), 128 / 2 * 5);
}

}  // namespace
