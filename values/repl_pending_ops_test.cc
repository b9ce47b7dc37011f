#include "values/repl_pending_ops.h"

#include <gtest/gtest.h>

#include "values/replication_test_fixture.h"
#include "values/test_record_builder.h"

namespace {

struct Op {
  uint64_t queued;
  int32_t serial;
  int32_t priority;
  uint32_t type;
  uint32_t options;
  const char* nc;
  const char* dsa;
  const char* address;
};

std::string Record(const Op& op) {
  TestRecord r(36);
  r.U64(0, op.queued).U32(8, static_cast<uint32_t>(op.serial)).U32(12, static_cast<uint32_t>(op.priority));
  r.U32(16, op.type).U32(20, op.options);
  if (op.nc != nullptr) r.Text(24, op.nc);
  if (op.dsa != nullptr) r.Text(28, op.dsa);
  if (op.address != nullptr) r.Text(32, op.address);
  return r.str();
}

constexpr char kFormat[] =
    "SN: %-10d Prio: %-5d OpType: %-12s Queued: %-24s  Options: %s NC: %s SourceDSA: %s  "
    "DSAAddress: %s";

class ReplPendingOps : public ReplicationPhaseTest {
 protected:
  std::vector<std::string> Run(const std::vector<Op>& ops, std::string_view label = "") {
    std::vector<std::string> records;
    for (const Op& op : ops) records.push_back(Record(op));
    std::vector<std::string_view> values(records.begin(), records.end());
    std::string out;
    AppendReplPendingOps("msDS-ReplPendingOps;binary", label, values, &out);
    return SplitLines(out);
  }
  // Serial numbers of the lines, in output order.
  std::string Serials(const std::vector<std::string>& lines) {
    std::string s;
    for (const std::string& l : lines) s += (s.empty() ? "" : " ") + l.substr(4, l.find(' ', 4) - 4);
    return s;
  }
  const std::vector<Op> ops_ = {
      {kTime2020, 9, 1, 0, 0, "DC=t", kDsa2, "a.t"},
      {kTime2001, 10, 2, 1, 0x21, "DC=t", kDsa2, "a.t"},
      {0, 3, 0, 0x1FF, 0xFFFF, nullptr, kDsa1, nullptr},
  };
};

TEST_F(ReplPendingOps, LineColumns) {
  EXPECT_EQ(Run({ops_[1]}, ">p: "),
            std::vector<std::string>{">p: " + Format(kFormat, 10, 2, "ADD_PARTNER", "2001/02/03-04:05:06 UTC",
                                                      "ASYNCH,ADD_ASYNCH_REPLICA", "DC=t", "Branch\\DC7", "a.t")});
  // Empty options; a type byte of -1 is Unknown with no options; missing texts.
  EXPECT_EQ(Run({ops_[0], ops_[2]}),
            (std::vector<std::string>{
                Format(kFormat, 9, 1, "SYNC", "2020/01/01-00:00:00 UTC", "", "DC=t", "Branch\\DC7", "a.t"),
                Format(kFormat, 3, 0, "Unknown", "", "", "DeletedNC", "Main-Site\\DC01", "-")}));
}

TEST_F(ReplPendingOps, SortKeys) {
  struct Case {
    const char* key;
    const char* serials;
  } cases[] = {
      {"attrib", "9 10 3"},  // value order
      {"usnloc", "9 10 3"},
      {"-", "3 10 9"},
      {"dsa", "10 9 3"},     // same DSA: by the rest of the line as text
      {"dsa-", "3 9 10"},
      {"date", "10 9 3"},    // 2001, 2020, never queued (empty key last)
      {"date-", "3 9 10"},
  };
  for (const Case& c : cases) {
    g_MetaSortKey = c.key;
    EXPECT_EQ(Serials(Run(ops_)), c.serials) << c.key;
  }
}

TEST(IndexSortKey, FiveDigitsThenWhole) {
  EXPECT_EQ(IndexSortKey(0), "00000");
  EXPECT_EQ(IndexSortKey(99999), "99999");
  EXPECT_EQ(IndexSortKey(100000), "100000");
}

TEST_F(ReplPendingOps, FiltersAndMalformedRecords) {
  ShowOnly("msds-replpendingops;binary", "add_asynch_replica");
  EXPECT_EQ(Serials(Run(ops_)), "10");
  SetUp();
  std::vector<std::string> records = {Record(ops_[0]).substr(0, 35), TestRecord(36).U32(32, 40).str(),
                                      Record(ops_[2])};
  std::vector<std::string_view> values(records.begin(), records.end());
  std::string out;
  AppendReplPendingOps("msDS-ReplPendingOps", "", values, &out);
  const std::vector<std::string> lines = SplitLines(out);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].substr(0, 6), "SN: 3 ");
  EXPECT_EQ(lines[1].size(), 17 * 5 + 3);
  EXPECT_EQ(lines[2].size(), 18 * 5);
}

}  // namespace
