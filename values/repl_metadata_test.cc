#include "values/repl_metadata.h"

#include <gtest/gtest.h>

#include "values/replication_test_fixture.h"
#include "values/test_record_builder.h"

namespace {

constexpr char kAttrName[] = "msDS-ReplAttributeMetaData;binary";
constexpr char kValueName[] = "msDS-ReplValueMetaData;binary";

std::string AttrRecord(const char* name, uint32_t version, uint64_t time, int64_t usnOrig,
                       int64_t usnLocal, const char* dsa) {
  TestRecord r(52);
  r.Text(0, name).U32(4, version).U64(8, time).U64(32, usnOrig).U64(40, usnLocal);
  if (dsa != nullptr) r.Text(48, dsa);
  return r.str();
}

std::string ValueRecord(const char* name, const char* object, uint64_t deleted, uint64_t created,
                        uint32_t version, int64_t usnOrig, int64_t usnLocal, const char* dsa) {
  TestRecord r(84);
  r.Text(0, name).U64(16, deleted).U64(24, created).U32(32, version);
  r.U64(64, usnOrig).U64(72, usnLocal);
  if (object != nullptr) r.Text(4, object);
  if (dsa != nullptr) r.Text(80, dsa);
  return r.str();
}

// What a line is recognised by in the order tests: its last blank-separated
// word (the attribute name), or the object DN after the state.
std::string LastWord(const std::string& line) { return line.substr(line.rfind(' ') + 1); }
std::string ObjectOf(const std::string& line) { return line.substr(line.rfind(')') + 1); }

class ReplMetadata : public ReplicationPhaseTest {
 protected:
  std::string Attr(const std::vector<std::string>& records, std::string_view label = ">m: ") {
    std::vector<std::string_view> values(records.begin(), records.end());
    std::string out;
    AppendAttributeMetaData(kAttrName, label, values, &out);
    return out;
  }
  std::string Value(const std::vector<std::string>& records, std::string_view label = ">v: ") {
    std::vector<std::string_view> values(records.begin(), records.end());
    std::string out;
    AppendValueMetaData(kValueName, label, values, &out);
    return out;
  }
  std::vector<std::string> Column(const std::string& out, std::string (*pick)(const std::string&)) {
    std::vector<std::string> picked;
    for (const std::string& line : SplitLines(out)) picked.push_back(pick(line));
    return picked;
  }

  const std::vector<std::string> attrs_ = {
      AttrRecord("cn", 2, kTime2010, 40, 12, kDsa2),
      AttrRecord("Description", 10, kTime2020, 300, 5, kDsa1),
      AttrRecord("adminCount", 1, kTime2001, 7, 100, nullptr),
  };
  const std::vector<std::string> values_ = {
      ValueRecord("member", "CN=b,DC=t", 0, kTime2010, 1, 0, 0, nullptr),
      ValueRecord("member", "CN=a,DC=t", kTime2020, kTime2001, 3, 50, 60, kDsa1),
      ValueRecord("member", "CN=c,DC=t", 0, kTime2001, 2, 9, 10, kDsa2),
      ValueRecord("msDS-RevealedUsers", "CN=z,DC=t", 0, kTime2020, 1, 1, 1, kDsa1),
  };
};

TEST_F(ReplMetadata, AttributeLineColumns) {
  EXPECT_EQ(Attr({attrs_[1]}),
            ">m: " + Format("%10s %-30s %10s %-24s %10d  %s\n", "5", "Main-Site\\DC01", "300",
                            "2020/01/01-00:00:00 UTC", 10, "Description"));
  // -nolabel; a missing DSA; the version printed signed; a zero time still says UTC.
  EXPECT_EQ(Attr({AttrRecord("x", 0xFFFFFFFF, 0, -1, 0, nullptr)}, ""),
            Format("%10s %-30s %10s %-24s %10d  %s\n", "0", "DeletedDSA", "-1", " UTC", -1, "x"));
  g_Utc = false;
  EXPECT_EQ(Attr({AttrRecord("x", 1, 0, 1, 1, nullptr)}, ""),
            Format("%10s %-30s %10s %-24s %10d  %s\n", "1", "DeletedDSA", "1", "", 1, "x"));
}

TEST_F(ReplMetadata, AttributeSortKeys) {
  struct Case {
    const char* key;
    std::vector<std::string> order;
  } cases[] = {
      {"attrib", {"adminCount", "cn", "Description"}},
      {"attrib-", {"Description", "cn", "adminCount"}},
      {"-", {"Description", "cn", "adminCount"}},
      {"DSA", {"adminCount", "cn", "Description"}},  // no key word: the name
      {"dsa", {"cn", "adminCount", "Description"}},   // Branch, DeletedDSA, Main-Site
      {"date", {"adminCount", "cn", "Description"}},
      {"date-", {"Description", "cn", "adminCount"}},
      {"usnloc", {"Description", "cn", "adminCount"}},  // 5, 12, 100
      {"usnorig", {"adminCount", "cn", "Description"}},  // 7, 40, 300
      {"ver", {"adminCount", "cn", "Description"}},  // 1, 2, 10
      {"ver-", {"Description", "cn", "adminCount"}},
  };
  for (const Case& c : cases) {
    g_MetaSortKey = c.key;
    EXPECT_EQ(Column(Attr(attrs_), LastWord), c.order) << c.key;
  }
}

TEST_F(ReplMetadata, TimeSwitchesDoNotChangeTheDateColumn) {
  const std::string plain = Attr(attrs_);
  g_DecodeTimes = g_TimesSortable = true;
  EXPECT_EQ(Attr(attrs_), plain);
}

TEST_F(ReplMetadata, AttributeFiltersSeeTheWholeLine) {
  ShowOnly("msds-replattributemetadata;binary", "main-site\\dc01");
  EXPECT_EQ(Column(Attr(attrs_), LastWord), std::vector<std::string>{"Description"});
  // The padded key is part of the tested line.
  g_MetaSortKey = "usnloc";
  g_MvFilterMap["msds-replattributemetadata;binary"] = "000012~~~zq~~~";
  EXPECT_EQ(Column(Attr(attrs_), LastWord), std::vector<std::string>{"cn"});
  SetUp();
  Hide("msds-replattributemetadata;binary", "deleteddsa");
  EXPECT_EQ(Column(Attr(attrs_), LastWord), (std::vector<std::string>{"cn", "Description"}));
}

TEST_F(ReplMetadata, ValueLineColumns) {
  EXPECT_EQ(Value({values_[1]}),
            ">v: " + Format("%-25s %10s %-30s %10s %-24s %6d %s%s\n", "member", "60",
                            "Main-Site\\DC01", "50", "2020/01/01-00:00:00 UTC", 3, "(-)",
                            "CN=a,DC=t"));
  EXPECT_EQ(Value({values_[0]}, ""),
            Format("%-25s %10s %-30s %10s %-24s %6d %s%s\n", "member", "LEGACY", "DeletedDSA",
                   "LEGACY", "2010/01/01-00:00:00 UTC", 1, "(+)", "CN=b,DC=t"));
  EXPECT_EQ(Value({ValueRecord("member", nullptr, 0, 0, 1, 1, 1, nullptr)}, ""),
            Format("%-25s %10s %-30s %10s %-24s %6d %s%s\n", "member", "1", "DeletedDSA", "1",
                   "", 1, "(+)", "DeletedObject"));
}

TEST_F(ReplMetadata, ValueSortKeysGroupByAttributeFirst) {
  struct Case {
    const char* key;
    std::vector<std::string> order;
  } cases[] = {
      {"attrib", {"CN=c,DC=t", "CN=a,DC=t", "CN=b,DC=t", "CN=z,DC=t"}},  // by USN local text
      {"date", {"CN=c,DC=t", "CN=b,DC=t", "CN=a,DC=t", "CN=z,DC=t"}},
      {"DSA", {"CN=c,DC=t", "CN=b,DC=t", "CN=a,DC=t", "CN=z,DC=t"}},  // the time text
      {"obj", {"CN=a,DC=t", "CN=b,DC=t", "CN=c,DC=t", "CN=z,DC=t"}},
      {"obj-", {"CN=z,DC=t", "CN=c,DC=t", "CN=b,DC=t", "CN=a,DC=t"}},
      {"dsa", {"CN=c,DC=t", "CN=b,DC=t", "CN=a,DC=t", "CN=z,DC=t"}},
      {"state", {"CN=c,DC=t", "CN=b,DC=t", "CN=a,DC=t", "CN=z,DC=t"}},
      {"usnloc", {"CN=c,DC=t", "CN=a,DC=t", "CN=b,DC=t", "CN=z,DC=t"}},  // LEGACY last
      {"usnorig", {"CN=c,DC=t", "CN=a,DC=t", "CN=b,DC=t", "CN=z,DC=t"}},
      {"ver", {"CN=b,DC=t", "CN=c,DC=t", "CN=a,DC=t", "CN=z,DC=t"}},
      {"ver-", {"CN=z,DC=t", "CN=a,DC=t", "CN=c,DC=t", "CN=b,DC=t"}},
  };
  for (const Case& c : cases) {
    g_MetaSortKey = c.key;
    EXPECT_EQ(Column(Value(values_), ObjectOf), c.order) << c.key;
  }
}

TEST_F(ReplMetadata, ValueFilterOnTheStateAndObject) {
  ShowOnly("msds-replvaluemetadata;binary", "(-)cn=");
  EXPECT_EQ(Column(Value(values_), ObjectOf), std::vector<std::string>{"CN=a,DC=t"});
}

// Records that do not hold what their fields promise are dumped in hex after
// the decoded lines; the values after them are still decoded.
TEST_F(ReplMetadata, MalformedRecordsAreDumpedAndTheRunGoesOn) {
  const std::string good = AttrRecord("cn", 1, kTime2001, 1, 1, nullptr);
  struct Case {
    const char* what;
    std::string value;
  } cases[] = {
      {"shorter than the fixed part", std::string(good, 0, 51)},
      {"name offset past the end", TestRecord(52).U32(0, 52).str()},
      {"name offset far out", TestRecord(52).U32(0, 0xFFFFFFF0).str()},
      {"name without terminator", TestRecord(52).Text(0, "cn", false).str()},
      {"DSA without terminator", TestRecord(52).Text(0, "cn").Text(48, "CN=NTDS", false).str()},
      {"empty value", ""},
  };
  for (const Case& c : cases) {
    std::string dump;
    for (size_t i = 0; i + 1 < c.value.size(); i += 2) dump += Format("%.2X%.2X ", (unsigned char)c.value[i], (unsigned char)c.value[i + 1]);
    if (c.value.size() % 2) dump += Format("%.2X ", (unsigned char)c.value.back());
    const std::vector<std::string> lines = SplitLines(Attr({c.value, good}));
    ASSERT_EQ(lines.size(), 2u) << c.what;
    EXPECT_EQ(LastWord(lines[0]), "cn") << c.what;
    EXPECT_EQ(lines[1], ">m: " + dump) << c.what;
  }
  const std::string shortValue = std::string(values_[0], 0, 83);
  const std::vector<std::string> lines = SplitLines(Value({shortValue, values_[2]}));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(ObjectOf(lines[0]), "CN=c,DC=t");
  EXPECT_EQ(lines[1].substr(0, 9), ">v: 5400 ");  // the record's first bytes
}

TEST_F(ReplMetadata, NoValuesPrintNothing) {
  EXPECT_EQ(Attr({}), "");
  EXPECT_EQ(Value({}), "");
}

}  // namespace
