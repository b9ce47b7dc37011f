#include "values/repl_cursors.h"

#include <gtest/gtest.h>

#include "values/replication_test_fixture.h"
#include "values/test_record_builder.h"

namespace {

std::string Cursor(int64_t usn, uint64_t time, const char* dsa) {
  TestRecord r(36);
  r.Bytes(0, std::string(16, '\x11')).U64(16, usn).U64(24, time);
  if (dsa != nullptr) r.Text(32, dsa);
  return r.str();
}

class ReplCursors : public ReplicationPhaseTest {
 protected:
  std::string Run(const std::vector<std::string>& records, std::string_view label = ">c: ") {
    std::vector<std::string_view> values(records.begin(), records.end());
    std::string out;
    AppendReplCursors("msDS-NCReplCursors;binary", label, values, &out);
    return out;
  }
  const std::vector<std::string> cursors_ = {
      Cursor(300, kTime2020, kDsa1),
      Cursor(7, 0, nullptr),
      Cursor(12000, kTime2001, kDsa2),
  };
};

TEST_F(ReplCursors, LineColumns) {
  EXPECT_EQ(Run({cursors_[0]}), ">c: " + Format("%10s %-24s %s\n", "300", "2020/01/01-00:00:00 UTC",
                                                 "Main-Site\\DC01"));
  // A zero time is blank and has no UTC mark; -nolabel.
  EXPECT_EQ(Run({cursors_[1]}, ""), Format("%10s %-24s %s\n", "7", "", "DeletedDSA"));
}

TEST_F(ReplCursors, SortKeys) {
  const std::string oldest = ">c: " + Format("%10s %-24s %s", "12000", "2001/02/03-04:05:06 UTC", "Branch\\DC7");
  const std::string newest = ">c: " + Format("%10s %-24s %s", "300", "2020/01/01-00:00:00 UTC", "Main-Site\\DC01");
  const std::string never = ">c: " + Format("%10s %-24s %s", "7", "", "DeletedDSA");
  struct Case {
    const char* key;
    std::vector<std::string> lines;
  } cases[] = {
      {"attrib", {oldest, newest, never}},  // by time; an empty key sorts last
      {"date", {oldest, newest, never}},
      {"date-", {never, newest, oldest}},
      {"nc", {oldest, newest, never}},
      {"dsa", {oldest, never, newest}},
      {"dsa-", {newest, never, oldest}},
  };
  for (const Case& c : cases) {
    g_MetaSortKey = c.key;
    EXPECT_EQ(SplitLines(Run(cursors_)), c.lines) << c.key;
  }
}

TEST_F(ReplCursors, FilterAndMalformedRecords) {
  ShowOnly("msds-ncreplcursors;binary", "branch");
  EXPECT_EQ(SplitLines(Run(cursors_)).size(), 1u);
  SetUp();
  const std::vector<std::string> lines =
      SplitLines(Run({Cursor(1, 0, nullptr).substr(0, 35), TestRecord(36).U32(32, 36).str(),
                      TestRecord(36).Text(32, "CN=x", false).str(), cursors_[1]}));
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], ">c: " + Format("%10s %-24s %s", "7", "", "DeletedDSA"));
  EXPECT_EQ(lines[1].size(), 4 + 35 / 2 * 5 + 3);  // hex dumps in value order
  EXPECT_EQ(lines[2].size(), 4 + 36 / 2 * 5);
}

}  // namespace
