#include "driver/entry_output.h"

#include <gtest/gtest.h>

#include "common/cmdline.h"
#include "driver/search_state.h"
#include "driver/settings.h"

namespace {

struct Fixture {
  QuerySettings settings;
  SearchState state;
  std::vector<std::string> words{"quelby"};
  std::unique_ptr<CCmdLine> cmdLine;

  EntryOutput Make(std::vector<std::string> extra = {}) {
    words.insert(words.end(), extra.begin(), extra.end());
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    cmdLine = std::make_unique<CCmdLine>(static_cast<int>(argv.size()), argv.data(),
                                         std::vector<std::string>{":nodn"}, false);
    return EntryOutput(settings, state, *cmdLine, nullptr);
  }
};

std::string Tail(EntryOutput& out, const std::vector<std::string>& chunks,
                 bool descriptorSeen = false, bool* shown = nullptr) {
  out.SetChunks(chunks);
  std::string text;
  const bool kept = out.FormatTextTail("CN=x,DC=t", descriptorSeen, &text);
  if (shown != nullptr) *shown = kept;
  return text;
}

TEST(EntryOutputTail, DefaultLayout) {
  Fixture f;
  EntryOutput out = f.Make();
  EXPECT_EQ(Tail(out, {">cn: x\n", ">mail: a\n>mail: b\n"}),
            "dn:CN=x,DC=t\n>cn: x\n>mail: a\n>mail: b\n\n");
}

TEST(EntryOutputTail, SortedAttributesPutCapitalsFirst) {
  Fixture f;
  f.settings.sortedAttributeOutput = true;
  EntryOutput out = f.Make();
  EXPECT_EQ(Tail(out, {">objectClass: top\n", ">mail: m\n", ">cn: c\n", ">Zed: z\n"}),
            "dn:CN=x,DC=t\n>Zed: z\n>cn: c\n>mail: m\n>objectClass: top\n\n");
}

TEST(EntryOutputTail, OrderedAttributesFollowTheListAndFillTheMissingOnes) {
  Fixture f;
  f.settings.sortedAttributeOutput = true;
  f.settings.orderedAttributeOutput = true;
  f.settings.columns = {"mail", "CN", "title"};
  f.settings.oaoEmptyText = "NULL";
  EntryOutput out = f.Make();
  EXPECT_EQ(Tail(out, {">objectClass: top\n", ">cn: c\n", ">mail: m\n"}),
            "dn:CN=x,DC=t\n>mail: m\n>cn: c\n>title: NULL\n>objectClass: top\n\n");
}

TEST(EntryOutputTail, QuotedListQuotesEveryLine) {
  Fixture f;
  f.settings.noDnLine = true;
  f.settings.quotedList = true;
  EntryOutput out = f.Make();
  EXPECT_EQ(Tail(out, {"a\nb\n", "c\n"}), "\"a\"\n\"b\"\n\"c\"\n");
}

TEST(EntryOutputTail, MutedEmptyEntryPrintsNothingAndIsNotCounted) {
  Fixture f;
  f.settings.muteEmptyRecords = true;
  EntryOutput out = f.Make();
  bool shown = true;
  EXPECT_EQ(Tail(out, {}, false, &shown), "");
  EXPECT_FALSE(shown);
  EXPECT_EQ(Tail(out, {">cn: c\n"}, false, &shown), "dn:CN=x,DC=t\n>cn: c\n\n");
  EXPECT_TRUE(shown);
}

TEST(EntryOutputTail, OwnerCsvLine) {
  Fixture f;
  f.settings.ownerCsv = true;
  f.settings.owner = true;
  EntryOutput out = f.Make();
  EXPECT_EQ(Tail(out, {"\"S-1-5-32-544\"\n"}, true), "\"CN=x,DC=t\";\"S-1-5-32-544\"\n");
  EXPECT_EQ(Tail(out, {}, false), "\"CN=x,DC=t\";\"\"\n");
}

TEST(EntryOutputCsv, ColumnsMatchWithoutCaseAndJoinValues) {
  Fixture f;
  f.settings.csvLayout = true;
  f.settings.columns = {"dn", "CN", "mail", "title"};
  f.settings.csvEmptyText = "NULL";
  EntryOutput out = f.Make();
  out.SetChunks({">cn: c\n", ">mail: a\n>mail: b\n"});
  std::string row;
  out.FormatCsvRow("CN=c,DC=t", &row);
  EXPECT_EQ(row, "\"CN=c,DC=t\",\"c\",\"a;b\",\"NULL\"\n");
}

TEST(EntryOutputCsv, DelimitersQuotesAndNoDnColumn) {
  Fixture f;
  f.settings.csvLayout = true;
  f.settings.columns = {"dn", "mail"};
  f.settings.csvDelim = "\t";
  f.settings.csvMvDelim = "|";
  f.settings.csvQuote = "";
  EntryOutput out = f.Make({"-nodn"});
  out.SetChunks({">mail: a\n>mail: b\n"});
  std::string row;
  out.FormatCsvRow("CN=c,DC=t", &row);
  EXPECT_EQ(row, "\ta|b\n");
}

TEST(EntryOutputCsv, MutedRowWithoutValues) {
  Fixture f;
  f.settings.csvLayout = true;
  f.settings.muteEmptyRecords = true;
  f.settings.columns = {"dn", "mail"};
  EntryOutput out = f.Make({"-nodn"});
  out.SetChunks({});
  std::string row;
  out.FormatCsvRow("CN=c,DC=t", &row);
  EXPECT_EQ(row, "");
}

}  // namespace
