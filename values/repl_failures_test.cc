#include "values/repl_failures.h"

#include <gtest/gtest.h>

#include "values/replication_test_fixture.h"
#include "values/test_record_builder.h"

namespace {

std::string Failure(const char* dsa, uint64_t firstFail, int32_t count, int32_t result) {
  TestRecord r(36);
  r.U64(20, firstFail).U32(28, static_cast<uint32_t>(count)).U32(32, static_cast<uint32_t>(result));
  if (dsa != nullptr) r.Text(0, dsa);
  return r.str();
}

constexpr char kFormat[] = "Failures: %-6d LastResult: %-6d FirstFailTime: %-24s  DSA: %s  LastError: \"%s\"";

class ReplFailures : public ReplicationPhaseTest {
 protected:
  std::string Run(const char* attrName, const std::vector<std::string>& records,
                  std::string_view label) {
    std::vector<std::string_view> values(records.begin(), records.end());
    std::string out;
    AppendReplFailures(attrName, label, values, &out);
    return out;
  }
};

TEST_F(ReplFailures, BothAttributesShareTheLayout) {
  const std::vector<std::string> records = {Failure(kDsa1, kTime2020, 3, 1722),
                                            Failure(nullptr, 0, 1, 0)};
  const std::vector<std::string> expected = {
      Format(kFormat, 3, 1722, "2020/01/01-00:00:00 UTC", "Main-Site\\DC01",
             "The RPC server cannot be reached."),
      Format(kFormat, 1, 0, "", "DeletedDSA", "The operation completed successfully."),
  };
  for (const char* name : {"msDS-ReplConnectionFailures;binary", "msDS-ReplLinkFailures;binary"}) {
    const std::string label = std::string(">") + name + ": ";
    EXPECT_EQ(SplitLines(Run(name, records, label)),
              (std::vector<std::string>{label + expected[1], label + expected[0]}))
        << name;  // DeletedDSA before Main-Site
  }
  g_MetaSortKey = "date-";
  EXPECT_EQ(SplitLines(Run("msDS-ReplLinkFailures", records, "")), (std::vector<std::string>{expected[1], expected[0]}));
  g_MetaSortKey = "date";
  EXPECT_EQ(SplitLines(Run("msDS-ReplLinkFailures", records, "")), (std::vector<std::string>{expected[0], expected[1]}));
  g_MetaSortKey = "err";  // no key of this attribute: by DSA
  EXPECT_EQ(SplitLines(Run("msDS-ReplLinkFailures", records, "")), (std::vector<std::string>{expected[1], expected[0]}));
}

TEST_F(ReplFailures, AnUnknownResultKeepsItsLineFeedInsideTheQuotes) {
  EXPECT_EQ(Run("msDS-ReplLinkFailures", {Failure(kDsa2, 0, -2, 123456)}, ""),
            Format(kFormat, -2, 123456, "", "Branch\\DC7", "Unknown Error\n") + std::string("\n"));
}

TEST_F(ReplFailures, MalformedRecordsAndFilters) {
  Hide("msds-repllinkfailures", "deleteddsa");
  const std::vector<std::string> lines = SplitLines(
      Run("msDS-ReplLinkFailures", {Failure(nullptr, 0, 1, 0), Failure(kDsa1, 0, 1, 0).substr(0, 30),
                                    TestRecord(36).U32(0, 1000).str(), Failure(kDsa2, 0, 1, 0)}, ""));
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], Format(kFormat, 1, 0, "", "Branch\\DC7", "The operation completed successfully."));
  EXPECT_EQ(lines[1].substr(0, 5), "2400 ");  // the cut record, then the bad offset
  EXPECT_EQ(lines[2].substr(0, 5), "E803 ");
}

}  // namespace
