#include "driver/entry_output.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "common/cmdline.h"
#include "common/process_state.h"
#include "directory/ldap_client_warm_up.h"
#include "directory/scripted_ldap_server.h"
#include "driver/quelby_main.h"
#include "driver/search_state.h"
#include "driver/settings.h"
#include "values/attribute_kinds.h"

namespace {

struct Fixture {
  QuerySettings settings;
  SearchState state;
  std::vector<std::string> words{"quelby"};
  std::unique_ptr<CCmdLine> cmdLine;

  EntryOutput Make(std::vector<std::string> extra = {}, plat::LDAP* ld = nullptr) {
    words.insert(words.end(), extra.begin(), extra.end());
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    cmdLine = std::make_unique<CCmdLine>(static_cast<int>(argv.size()), argv.data(),
                                         std::vector<std::string>{":nodn"}, false);
    return EntryOutput(settings, state, *cmdLine, ld);
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

TEST(EntryOutputCsv, AColumnTypedWithItsRangeMatchesTheAttribute) {
  Fixture f;
  f.settings.csvLayout = true;
  f.settings.columns = {"dn", "member;range=0-99", "cn"};
  f.settings.csvEmptyText = "x";
  EntryOutput out = f.Make();
  out.SetChunks({">cn: g\n", ">member: CN=a\n>member: CN=b\n"});
  std::string row;
  out.FormatCsvRow("CN=g,DC=t", &row);
  EXPECT_EQ(row, "\"CN=g,DC=t\",\"CN=a;CN=b\",\"g\"\n");
  // The ordered layout matches it the same way.
  Fixture o;
  o.settings.sortedAttributeOutput = true;
  o.settings.orderedAttributeOutput = true;
  o.settings.columns = {"Member;Range=0-99", "cn"};
  o.settings.oaoEmptyText = "NULL";
  EntryOutput ordered = o.Make();
  EXPECT_EQ(Tail(ordered, {">cn: g\n", ">member: CN=a\n>member: CN=b\n"}),
            "dn:CN=x,DC=t\n>member: CN=a\n>member: CN=b\n>cn: g\n\n");
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

// --- Whole entries read from a scripted server ---------------------------------

// The first reply holds the entry that is printed; later replies answer the
// base searches that read further ranges of an attribute.
class EntryFromServer : public ScriptedServerTest {
 protected:
  void SetUp() override {
    LoadAttributeKindMaps();
    g_Debug = false;
    g_MvFilterOn = g_MvNotFilterOn = false;
    g_MvFilterMap.clear();
    g_MvNotFilterMap.clear();
  }
  void TearDown() override {
    g_MvFilterOn = g_MvNotFilterOn = false;
    g_MvFilterMap.clear();
    g_MvNotFilterMap.clear();
    ScriptedServerTest::TearDown();
  }

  // Prints the first entry of the server's first reply; returns the output.
  std::string Print(ScriptedLdapServer& server, uint32_t* count = nullptr) {
    plat::LDAP* ld = Connect(server);
    const char* all[] = {nullptr};
    plat::LDAPMessage* result = nullptr;
    EXPECT_EQ(plat::ldap_search_s(ld, "DC=t", plat::LDAP_SCOPE_SUBTREE, "(objectClass=*)", all, 0,
                                  &result),
              0u);
    plat::LDAPMessage* entry = plat::ldap_first_entry(ld, result);
    EXPECT_NE(entry, nullptr);
    uint32_t objects = 1;
    EntryOutput out = f_.Make({}, ld);
    testing::internal::CaptureStdout();
    if (entry != nullptr) out.PrintEntry(entry, count != nullptr ? count : &objects);
    const std::string text = testing::internal::GetCapturedStdout();
    failureCode_ = out.failureCode();
    plat::ldap_msgfree(result);
    plat::ldap_unbind(ld_);  // a test may print from several servers
    ld_ = nullptr;
    return text;
  }

  Fixture f_;
  ULONG failureCode_ = 0;
};

ScriptedLdapServer::Reply Entry(const std::string& dn, const ScriptedAttributes& attributes) {
  return [dn, attributes](int64_t id) {
    return EntryMessage(id, dn, attributes) + DoneMessage(id, 0, "", false);
  };
}

constexpr char kGroup[] = "CN=g,DC=t";

TEST_F(EntryFromServer, RangesAreReadOnIntoOneChunkUnderThePlainName) {
  ScriptedLdapServer server({
      Entry(kGroup, {{"cn", {"g"}}, {"member;range=0-1", {"CN=a", "CN=b"}}}),
      Entry(kGroup, {{"objectClass", {"group"}}, {"member;range=2-3", {"CN=c", "CN=d"}}}),
      Entry(kGroup, {{"objectClass", {"group"}}, {"member;range=4-*", {"CN=e"}}}),
  });
  EXPECT_EQ(Print(server),
            "dn:CN=g,DC=t\n>cn: g\n>member: CN=a\n>member: CN=b\n>member: CN=c\n>member: CN=d\n"
            ">member: CN=e\n\n");
  std::vector<ScriptedLdapServer::Search> seen = server.searches();
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[1].base, kGroup);
  EXPECT_EQ(seen[1].scope, 0);  // base
  EXPECT_EQ(seen[1].attrs, (std::vector<std::string>{"member;range=2-*", "objectClass"}));
  EXPECT_EQ(seen[2].attrs, (std::vector<std::string>{"member;range=4-*", "objectClass"}));
}

TEST_F(EntryFromServer, ARangeThatDoesNotMoveOnEndsTheAttribute) {
  // The server answers the request for 2-* with the first range again.
  ScriptedLdapServer server({
      Entry(kGroup, {{"member;range=0-1", {"CN=a", "CN=b"}}}),
      Entry(kGroup, {{"member;range=0-1", {"CN=a", "CN=b"}}}),
      Entry(kGroup, {{"member;range=0-1", {"CN=a", "CN=b"}}}),
  });
  EXPECT_EQ(Print(server), "dn:CN=g,DC=t\n>member: CN=a\n>member: CN=b\n\n");
  EXPECT_EQ(server.searches().size(), 2u);
}

TEST_F(EntryFromServer, AFailedOrEmptyRangeSearchIsReportedAfterWhatCameBefore) {
  const struct {
    ScriptedLdapServer::Reply reply;
    std::string err;
    ULONG code;
  } cases[] = {
      {[](int64_t id) { return DoneMessage(id, 32, "", false); },
       "ldap_search_ext_s: [] Error 0x20 (32) - No Such Object\n", 32},
      {Entry(kGroup, {{"objectClass", {"group"}}}),
       "ldap_search_ext_s: [] Error 0x10 (16) - No Such Attribute\n", 16},
  };
  for (const auto& c : cases) {
    ScriptedLdapServer server({Entry(kGroup, {{"member;range=0-1", {"CN=a", "CN=b"}}}), c.reply});
    testing::internal::CaptureStderr();
    EXPECT_EQ(Print(server), "dn:CN=g,DC=t\n>member: CN=a\n>member: CN=b\n\n");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.err);
    EXPECT_EQ(failureCode_, c.code);
  }
}

TEST_F(EntryFromServer, ExtendedDnRangesAreReadByThePlainDnWithTheValueControls) {
  // The run's controls, owned (and released) by the search state.
  auto control = [](const char* oid) {
    return new plat::LDAPControl{const_cast<char*>(oid), {0, nullptr}, 1};
  };
  f_.state.serverControls = {control("1.2.840.113556.1.4.417"), control("1.2.840.113556.1.4.970"),
                             control("1.2.840.113556.1.4.529"), nullptr};
  const std::string dn = "<GUID=00aa>;<SID=0105>;" + std::string(kGroup);
  ScriptedLdapServer server({
      Entry(dn, {{"member;range=0-0", {"<GUID=01>;CN=a"}}}),
      Entry(dn, {{"member;range=1-*", {"<GUID=02>;CN=b"}}}),
  });
  EXPECT_EQ(Print(server), "dn:" + dn + "\n>member: <GUID=01>;CN=a\n>member: <GUID=02>;CN=b\n\n");
  std::vector<ScriptedLdapServer::Search> seen = server.searches();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[1].base, kGroup);
  EXPECT_EQ(seen[1].controls,
            (std::vector<std::string>{"1.2.840.113556.1.4.417", "1.2.840.113556.1.4.529"}));
  EXPECT_EQ(failureCode_, 0u);
}

TEST_F(EntryFromServer, TheTimeLimitBoundsTheWholeOfARangedAttribute) {
  // Each answer moves on by one value, late: the attribute as a whole is cut
  // at about the time limit (-t), not each of its requests. A server that
  // ends a request on the time it was given has cut it the same way.
  const struct {
    long seconds;
    int lateMs;
    int code;  // 0: the next value; else the answer's result code
    double mostSeconds;
    std::string values;  // what the output begins with
    size_t mostSearches;
  } cases[] = {
      {1, 10, 0, 5.0, ">member: CN=0\n>member: CN=1\n", 149},
      // The second part's request waits only the 0.4 s left; the server ends
      // the first on the time limit it was given.
      {2, 1600, 0, 3.0, ">member: CN=0\n>member: CN=1\n\n", 3},
      {2, 1600, 3, 3.0, ">member: CN=0\n\n", 2},
  };
  WarmUpLdapClient();
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.lateMs << " ms late, code " << c.code);
    ScriptedLdapServer server({Entry(kGroup, {{"member;range=0-0", {"CN=0"}}})});
    server.AnswerEveryLaterRequest([&c](int64_t id, const ScriptedLdapServer::Search& r) {
      std::this_thread::sleep_for(std::chrono::milliseconds(c.lateMs));
      const std::string asked = r.attrs.empty() ? "" : r.attrs[0];  // member;range=N-*
      const std::string n = asked.substr(asked.find('=') + 1, asked.find('-') - asked.find('=') - 1);
      return c.code != 0 ? DoneMessage(id, c.code, "", false)
                         : EntryMessage(id, kGroup, {{"member;range=" + n + "-" + n, {"CN=" + n}}}) +
                               DoneMessage(id, 0, "", false);
    });
    f_.settings.timeLimit = c.seconds;
    testing::internal::CaptureStderr();
    const auto start = std::chrono::steady_clock::now();
    const std::string text = Print(server);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "ldap_search_ext_s: [] Error 0x55 (85) - Timeout\n");
    EXPECT_LT(took.count(), c.mostSeconds);
    EXPECT_EQ(text.rfind("dn:CN=g,DC=t\n" + c.values, 0), 0u) << text;
    EXPECT_LE(server.searches().size(), c.mostSearches);
    EXPECT_EQ(failureCode_, plat::LDAP_TIMEOUT);
  }
}

TEST_F(EntryFromServer, ARangedAttributeKeepsItsKind) {
  // member is DN-valued: the replacement applies to every range.
  f_.state.replaceDnOn = true;
  f_.settings.replaceDnFrom = {"DC=t"};
  f_.settings.replaceDnMap = {{"DC=t", "<T>"}};
  ScriptedLdapServer server({
      Entry(kGroup, {{"member;range=0-0", {"CN=a,DC=t"}}}),
      Entry(kGroup, {{"objectClass", {"group"}}, {"member;range=1-*", {"CN=b,DC=t"}}}),
  });
  EXPECT_EQ(Print(server), "dn:CN=g,<T>\n>member: CN=a,<T>\n>member: CN=b,<T>\n\n");
}

std::string Bytes(std::initializer_list<int> bytes) {
  std::string b;
  for (int v : bytes) b.push_back(static_cast<char>(v));
  return b;
}

const std::string kGuid = Bytes({0x33, 0x22, 0x11, 0x00, 0x55, 0x44, 0x77, 0x66, 0x88, 0x99, 0xAA,
                                 0xBB, 0xCC, 0xDD, 0xEE, 0xFF});
// S-1-5-21-1-2-3-1104
const std::string kSid = Bytes({1, 5, 0, 0, 0, 0, 0, 5, 21, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 3, 0,
                                0, 0, 0x50, 0x04, 0, 0});

TEST_F(EntryFromServer, GuidAndSidValuesAsText) {
  ScriptedLdapServer server({
      Entry("CN=u,DC=t", {{"objectGUID", {kGuid}}, {"objectSid", {kSid}}}),
  });
  EXPECT_EQ(Print(server),
            "dn:CN=u,DC=t\n>objectGUID: {00112233-4455-6677-8899-AABBCCDDEEFF}\n"
            ">objectSid: S-1-5-21-1-2-3-1104\n\n");
}

TEST_F(EntryFromServer, ValueFiltersApplyOnlyToTheAttributesTheyName) {
  g_MvNotFilterOn = true;
  g_MvNotFilterMap["cn"] = "x";
  ScriptedLdapServer server({
      Entry("CN=u,DC=t", {{"objectGUID", {kGuid}}, {"objectSid", {kSid}}}),
  });
  EXPECT_EQ(Print(server),
            "dn:CN=u,DC=t\n>objectGUID: {00112233-4455-6677-8899-AABBCCDDEEFF}\n"
            ">objectSid: S-1-5-21-1-2-3-1104\n\n");
  g_MvNotFilterMap["objectsid"] = "-1104";
  ScriptedLdapServer again({
      Entry("CN=u,DC=t", {{"objectGUID", {kGuid}}, {"objectSid", {kSid}}}),
  });
  EXPECT_EQ(Print(again), "dn:CN=u,DC=t\n>objectGUID: {00112233-4455-6677-8899-AABBCCDDEEFF}\n\n");
}

TEST_F(EntryFromServer, DnFiltersDropAndUncountEntries) {
  f_.settings.exclDnActive = true;
  f_.settings.exclDn = {"ou=test"};
  ScriptedLdapServer server({Entry("CN=u,OU=Test,DC=t", {{"cn", {"u"}}})});
  uint32_t count = 5;
  EXPECT_EQ(Print(server, &count), "");
  EXPECT_EQ(count, 4u);
  f_.settings.exclDnActive = false;
  f_.settings.inclDnActive = true;
  f_.settings.inclDn = {"ou=other", "cn=u,"};
  ScriptedLdapServer kept({Entry("CN=u,OU=Test,DC=t", {{"cn", {"u"}}})});
  EXPECT_EQ(Print(kept, &count), "dn:CN=u,OU=Test,DC=t\n>cn: u\n\n");
  EXPECT_EQ(count, 4u);
}

// A whole run against a directory without AD's schema: every value holding a
// NUL prints whole as a hex dump, as binary values do, in every layout and in
// every printer (a further range, a flag decoder); plain values stay text.
TEST(EntryOutputRun, ValuesHoldingANulPrintWholeInEveryLayout) {
  using namespace std::string_literals;
  const struct {
    std::vector<std::string> layout;
    std::string printed;
  } cases[] = {
      {{}, "dn:CN=p,DC=t\n>jpegPhoto: 0061 \n>jpegPhoto: 6100 62 \n>jpegPhoto: 6162 00 \n>jpegPhoto: 0000 \n"
           ">jpegPhoto: ab\n>description: d\n>description: 00 \n>userAccountControl: 3531 3200 \n\n"},
      {{"-list"}, "\n0061 \n6100 62 \n6162 00 \n0000 \nab\nd\n00 \n3531 3200 \n"},
      {{"-qlist"}, "\n\"0061 \"\n\"6100 62 \"\n\"6162 00 \"\n\"0000 \"\n\"ab\"\n\"d\"\n\"00 \"\n\"3531 3200 \"\n"},
      {{"-csv", ""}, "\n\"CN=p,DC=t\",\"0061 ;6100 62 ;6162 00 ;0000 ;ab\",\"d;00 \",\"3531 3200 \"\n"},
  };
  for (const auto& c : cases) {
    ScriptedLdapServer server({});
    server.AnswerEveryLaterRequest([](int64_t id, const ScriptedLdapServer::Search& r) {
      ScriptedAttributes a = {{"defaultNamingContext", {"DC=t"}}};  // the RootDSE
      if (r.pageSize > 0) {
        a = {{"jpegPhoto", {"\0a"s, "a\0b"s, "ab\0"s, "\0\0"s, "ab"}},
             {"description;range=0-0", {"d"}},
             {"userAccountControl", {"512\0"s}}};
      } else if (!r.base.empty()) {
        a = {{"description;range=1-*", {"\0"s}}};
      }
      return EntryMessage(id, r.base.empty() ? "" : "CN=p,DC=t", a) + DoneMessage(id, 0, "", r.pageSize > 0);
    });
    std::vector<std::string> words = {"quelby", "-h", "127.0.0.1:" + std::to_string(server.port()),
                                      "-simple", "-b", "DC=t", "-samdc"};
    words.insert(words.end(), c.layout.begin(), c.layout.end());
    words.insert(words.end(), {"jpegPhoto", "description", "userAccountControl"});
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    char* envp[] = {nullptr};
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(QuelbyMain(static_cast<int>(argv.size()), argv.data(), envp), 0);
    const std::string out = testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
    EXPECT_NE(out.find(c.printed), std::string::npos) << out;
  }
}

}  // namespace
