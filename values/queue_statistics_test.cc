#include "values/queue_statistics.h"

#include <gtest/gtest.h>

#include "values/replication_test_fixture.h"
#include "values/test_record_builder.h"

namespace {

std::string Stats(int32_t ops, uint64_t t0, uint64_t t1, uint64_t t5) {
  return TestRecord(52).U64(0, t0).U32(8, static_cast<uint32_t>(ops)).U64(12, t1).U64(44, t5).str();
}

class QueueStatistics : public ReplicationPhaseTest {
 protected:
  std::string Run(const std::vector<std::string>& records, std::string_view label = ">q: ") {
    std::vector<std::string_view> values(records.begin(), records.end());
    std::string out;
    AppendQueueStatistics(label, values, &out);
    return out;
  }
};

TEST_F(QueueStatistics, OneLinePerValueInValueOrder) {
  const std::vector<std::string> records = {Stats(3, kTime2020, kTime2001, kTime2010),
                                            Stats(-1, 0, 0, 0)};
  const std::string expected =
      ">q: Ops:3 OpStarted:2020/01/01-00:00:00 UTC OldestSync:2001/02/03-04:05:06 UTC OldestAdd: "
      "OldestMod: OldestDel: OldestUpdRefs:2010/01/01-00:00:00 UTC\n"
      ">q: Ops:-1 OpStarted: OldestSync: OldestAdd: OldestMod: OldestDel: OldestUpdRefs:\n";
  EXPECT_EQ(Run(records), expected);
  // Neither sorted nor reversed nor filtered.
  g_MetaSortKey = "date-";
  ShowOnly("msds-replqueuestatistics", "nothing like it");
  EXPECT_EQ(Run(records), expected);
  g_Utc = false;
  EXPECT_EQ(Run({records[1]}, ""), "Ops:-1 OpStarted: OldestSync: OldestAdd: OldestMod: OldestDel: OldestUpdRefs:\n");
}

TEST_F(QueueStatistics, AShortValueIsDumpedInItsPlace) {
  const std::string full = Stats(1, 0, 0, 0);
  std::string dump = "0000 0000 0000 0000 0100 ";  // the count's low byte at 8
  for (int i = 0; i < 20; ++i) dump += "0000 ";
  dump += "00 ";  // the 51st byte alone
  EXPECT_EQ(Run({full.substr(0, 51), full}, ""),
            dump + "\nOps:1 OpStarted: OldestSync: OldestAdd: OldestMod: OldestDel: OldestUpdRefs:\n");
}

}  // namespace
