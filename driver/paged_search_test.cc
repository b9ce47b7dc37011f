#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/console_services.h"
#include "common/process_state.h"
#include "directory/connection.h"
#include "directory/guid_maps.h"
#include "directory/sid_account_lookup.h"
#include "directory/scripted_ldap_server.h"
#include "platform/ldap_ber.h"
#include "platform/sid.h"
#include "driver/test_query_run.h"
#include "values/attribute_kinds.h"

// libldap 2.5 reads a notice of disconnection into a BER element and two
// texts of its own and drops them when ldap_result returns -1: nothing is
// handed back that could be released (the result message is null). Those
// allocations are left out of the leak check; a result message that the
// client leaks is still found (its record is allocated elsewhere). The
// library has no frame pointers, so its stacks are unwound the slow way.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:ldap_alloc_ber_with_options\nleak:ber_get_stringa_null\nleak:ber_get_next\n";
}
extern "C" const char* __asan_default_options() { return "fast_unwind_on_malloc=0"; }

namespace {

ScriptedLdapServer::Reply Page(std::vector<std::string> cns, int code, std::string cookie,
                               std::string errorText = "") {
  return [cns, code, cookie, errorText](int64_t id) {
    std::string reply;
    for (const std::string& cn : cns) reply += EntryMessage(id, "CN=" + cn + ",DC=t", {{"cn", {cn}}});
    return reply + DoneMessage(id, code, cookie, true, errorText);
  };
}

// The paged search of a run on a connection to a scripted server.
class PagedSearch : public ScriptedServerTest {
 protected:
  void SetUp() override {
    LoadAttributeKindMaps();
    g_Debug = g_Quiet = false;
    settings.base = "DC=t";
    settings.filter = "(objectClass=*)";
  }
  void TearDown() override {
    g_Debug = g_ResolveSids = false;
    g_LdapSession = nullptr;
    SetSidAccountLookup(nullptr);
    ResetSidLookups();
    ScriptedServerTest::TearDown();
  }

  void Run(ScriptedLdapServer& server) {
    SearchState& st = t_.Start().search;
    t_.HandMadeRootDse();
    st.rootDse->dnsHostName = "dc1.t";
    if (ld_ != nullptr) plat::ldap_unbind(ld_);  // the connection of an earlier run
    st.connection = Connect(server);
    if (!referrals_) plat::ldap_set_option(st.connection, plat::LDAP_OPT_REFERRALS, plat::LDAP_OPT_OFF);
    if (bind_) {
      EXPECT_EQ(plat::ldap_simple_bind_s(st.connection, "CN=me,DC=t", "pw"), 0u);
    }
    st.searchAttributes = {nullptr};
    st.sortKeyList = {nullptr, nullptr};
    if (resolveSids_) {
      // SIDs named through the search connection, as the run sets it up.
      st.rootDse->defaultNamingContext = "DC=t";
      g_LdapSession = st.connection;
      g_SidLookupServer = "dc1.t";
      InstallDirectorySidLookup();
      ResetSidLookups();
    }
    g_ResolveSids = resolveSids_;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    if (before_) before_(st.connection);
    RunPagedSearch(*run_);
    out_ = testing::internal::GetCapturedStdout();
    err_ = testing::internal::GetCapturedStderr();
  }
  std::vector<int64_t> PageSizes(ScriptedLdapServer& server) {
    std::vector<int64_t> sizes;
    for (const auto& s : server.searches()) sizes.push_back(s.pageSize);
    return sizes;
  }

  TestQueryRun t_;
  QuerySettings& settings = t_.settings;
  CZQTimer& timers_ = t_.timers;
  std::unique_ptr<QueryRun>& run_ = t_.run;
  std::string out_;
  std::string err_;
  bool referrals_ = true;  // chase referrals
  bool bind_ = false;      // a simple bind before the search
  bool resolveSids_ = false;  // -resolvesids
  std::function<void(plat::LDAP*)> before_;  // on the connection, before the search
};

TEST_F(PagedSearch, EveryPageIsPrintedAndCounted) {
  settings.pageSize = 2;
  ScriptedLdapServer server({Page({"a", "b"}, 0, "p2"), Page({"c"}, 0, "")});
  Run(server);
  EXPECT_EQ(out_, "dn:CN=a,DC=t\n>cn: a\n\ndn:CN=b,DC=t\n>cn: b\n\ndn:CN=c,DC=t\n>cn: c\n\n");
  EXPECT_EQ(err_, "");
  EXPECT_EQ(run_->search.objectCount, 3u);
  EXPECT_EQ(settings.resultCode, 0);
  EXPECT_EQ(PageSizes(server), (std::vector<int64_t>{2, 2}));
  EXPECT_EQ(timers_.labels, (std::vector<std::string>{"LDAP_SEARCH_INIT", "LDAP_GET_PAGES"}));
  ASSERT_NE(run_->search.searchTimer, nullptr);
  EXPECT_EQ(run_->search.searchTimer->labels, std::vector<std::string>{"T1"});
}

TEST_F(PagedSearch, TheMaximumShrinksTheLastRequestAndItsSizeLimitIsTheEnd) {
  settings.pageSize = 2;
  settings.maxEntries = 3;
  settings.exclDnActive = true;  // a dropped entry still counts towards the maximum
  settings.exclDn = {"cn=b,"};
  ScriptedLdapServer server({Page({"a", "b"}, 0, "p2"), Page({"c"}, 4, "")});
  Run(server);
  EXPECT_EQ(PageSizes(server), (std::vector<int64_t>{2, 1}));
  EXPECT_EQ(out_, "dn:CN=a,DC=t\n>cn: a\n\ndn:CN=c,DC=t\n>cn: c\n\n");
  EXPECT_EQ(err_, "");
  EXPECT_EQ(run_->search.objectCount, 2u);
  EXPECT_EQ(settings.resultCode, 0);
}

TEST_F(PagedSearch, ASizeLimitOfTheServersOwnIsAnErrorAfterTheEntries) {
  settings.pageSize = 2;
  ScriptedLdapServer server({Page({"a", "b"}, 0, "p2"), Page({"c"}, 4, "")});
  Run(server);
  EXPECT_EQ(out_, "dn:CN=a,DC=t\n>cn: a\n\ndn:CN=b,DC=t\n>cn: b\n\ndn:CN=c,DC=t\n>cn: c\n\n\n");
  EXPECT_EQ(err_, "ldap_get_next_page_s: [dc1.t] Error 0x4 (4) - Sizelimit Exceeded\n");
  EXPECT_EQ(run_->search.objectCount, 3u);
  EXPECT_EQ(settings.resultCode, 4);

  // The same with count only: no entries, the same error.
  settings.countOnly = true;
  settings.resultCode = 0;
  ScriptedLdapServer counted({Page({"a", "b"}, 0, "p2"), Page({"c"}, 4, "")});
  Run(counted);
  EXPECT_EQ(out_, "\n");
  EXPECT_EQ(run_->search.objectCount, 3u);
  EXPECT_EQ(settings.resultCode, 4);
}

TEST_F(PagedSearch, TheMaximumIsCountedHereAndEndsTheSearch) {
  // The server sends whole pages whatever is asked: only the entries still
  // allowed are taken, no size limit is sent, and once the maximum is
  // reached the search is abandoned (a page size of 0 with the cookie).
  const struct {
    long pageSize;
    long maxEntries;
    std::string printed;
    std::vector<int64_t> requests;
    std::string abandonedCookie;
  } cases[] = {
      {2, 3, "abc", {2, 1, 0}, "p3"},   // the maximum above the page size
      {2, 2, "ab", {2, 0}, "p2"},       // equal to it
      {5, 3, "abc", {3, 1, 0}, "p3"},   // below it
      {2, 4, "abcd", {2, 2, 0}, "p3"},  // a multiple of it
  };
  for (const auto& c : cases) {
    settings.pageSize = c.pageSize;
    settings.maxEntries = c.maxEntries;
    ScriptedLdapServer server({Page({"a", "b"}, 0, "p2"), Page({"c", "d"}, 0, "p3"),
                               Page({"e", "f"}, 0, "")});
    Run(server);
    std::string expected;
    for (char cn : c.printed) expected += std::string("dn:CN=") + cn + ",DC=t\n>cn: " + cn + "\n\n";
    EXPECT_EQ(out_, expected) << c.maxEntries;
    EXPECT_EQ(err_, "");
    EXPECT_EQ(run_->search.objectCount, c.printed.size());
    EXPECT_EQ(settings.resultCode, 0);
    EXPECT_EQ(PageSizes(server), c.requests) << c.maxEntries;
    const auto seen = server.searches();
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back().cookie, c.abandonedCookie);
    for (const auto& request : seen) EXPECT_EQ(request.sizeLimit, 0);
  }
  // Count only takes the same number.
  settings.countOnly = true;
  settings.pageSize = 2;
  settings.maxEntries = 3;
  ScriptedLdapServer counted({Page({"a", "b"}, 0, "p2"), Page({"c", "d"}, 0, "p3")});
  Run(counted);
  EXPECT_EQ(out_, "");
  EXPECT_EQ(run_->search.objectCount, 3u);
}

TEST_F(PagedSearch, AFailedPageKeepsEarlierPagesAndGivesItsCode) {
  settings.pageSize = 1;
  settings.extendedErrors = true;
  ScriptedLdapServer server({Page({"a"}, 0, "p2"), Page({}, 51, "", "server busy")});
  Run(server);
  EXPECT_EQ(out_, "dn:CN=a,DC=t\n>cn: a\n\n\nExtended Error: server busy\n");
  EXPECT_EQ(err_, "ldap_get_next_page_s: [dc1.t] Error 0x33 (51) - Busy\n");
  EXPECT_EQ(settings.resultCode, 51);
}

// An entry whose second attribute's value set claims more bytes than the
// attribute holds.
std::string BrokenAttributeEntry(int64_t id) {
  plat::detail::BerWriter w;
  w.Begin(0x30);
  w.Integer(id);
  w.Begin(0x64);
  w.OctetString("CN=b,DC=t");
  w.Begin(0x30);
  w.Begin(0x30);
  w.OctetString("cn");
  w.Begin(0x31);
  w.OctetString("b");
  w.End();
  w.End();
  w.Raw(std::string("\x30\x09\x04\x02sn\x31\x05\x04\x01y", 11));
  w.End();
  w.End();
  w.End();
  return w.Take();
}

// Answers no directory should give are reported with the LDAP error line
// and a result that is not success; the good entries stay printed.
TEST_F(PagedSearch, UndecodableAnswersAreErrorsNotEmptyEntries) {
  const std::string good = "dn:CN=a,DC=t\n>cn: a\n\n";
  const struct {
    const char* what;
    ScriptedLdapServer::Reply reply;
    std::string out;
    std::string err;
    int code;
    uint32_t count;
  } cases[] = {
      {"lying length",
       [](int64_t id) {
         return EntryMessage(id, "CN=a,DC=t", {{"cn", {"a"}}}) + LyingEntryMessage(id, "CN=b,DC=t") +
                DoneMessage(id, 0, "");
       },
       good, "ldap_get_dn: [dc1.t] Error 0x54 (84) - Decoding Error\n", 84, 1},
      {"no attribute list",
       [](int64_t id) {
         return EntryMessage(id, "CN=a,DC=t", {{"cn", {"a"}}}) +
                EntryWithoutAttributesMessage(id, "CN=b,DC=t") + DoneMessage(id, 0, "");
       },
       good, "ldap_get_dn: [dc1.t] Error 0x54 (84) - Decoding Error\n", 84, 1},
      {"broken attribute",
       [](int64_t id) {
         return EntryMessage(id, "CN=a,DC=t", {{"cn", {"a"}}}) + BrokenAttributeEntry(id) +
                DoneMessage(id, 0, "");
       },
       good + "dn:CN=b,DC=t\n>cn: b\n\n",
       "ldap_next_attribute: [dc1.t] Error 0x54 (84) - Decoding Error\n", 84, 2},
      {"result code -1",
       [](int64_t id) { return DoneMessage(id, -1, ""); },
       "\n", "ldap_get_next_page_s: [dc1.t] Error 0x2 (2) - Protocol Error\n", 2, 0},
  };
  for (const auto& c : cases) {
    settings.resultCode = 0;
    ScriptedLdapServer server({c.reply});
    Run(server);
    EXPECT_EQ(out_, c.out) << c.what;
    EXPECT_EQ(err_, c.err) << c.what;
    EXPECT_EQ(settings.resultCode, c.code) << c.what;
    EXPECT_EQ(run_->search.objectCount, c.count) << c.what;
  }
}

TEST_F(PagedSearch, ContinuationReferencesAreListedWhenNotChased) {
  settings.extendedErrors = true;
  ScriptedLdapServer server({[](int64_t id) {
    return EntryMessage(id, "CN=a,DC=t", {{"cn", {"a"}}}) +
           ReferenceMessage(id, {"ldap://dc2.t/CN=Configuration,DC=t", "ldap://dc3.t/CN=Configuration,DC=t"}) +
           ReferenceMessage(id, {"ldap://x.t/DC=x\nREFERRAL: forged"}) + DoneMessage(id, 0, "");
  }});
  referrals_ = false;
  Run(server);
  EXPECT_EQ(out_,
            "dn:CN=a,DC=t\n>cn: a\n\nREFERRAL: ldap://dc2.t/CN=Configuration,DC=t\n"
            "REFERRAL: ldap://dc3.t/CN=Configuration,DC=t\nREFERRAL: ldap://x.t/DC=x\\0AREFERRAL: forged\n");
  EXPECT_EQ(err_, "");
  EXPECT_EQ(settings.resultCode, 0);
}

TEST_F(PagedSearch, AReferenceThatCannotBeReachedIsWarnedAbout) {
  // Port 1 on loopback takes no connection.
  ScriptedLdapServer server({[](int64_t id) {
    return EntryMessage(id, "CN=a,DC=t", {{"cn", {"a"}}}) +
           ReferenceMessage(id, {"ldap://127.0.0.1:1/CN=Configuration,DC=t"}) + DoneMessage(id, 0, "");
  }});
  bind_ = true;
  Run(server);
  EXPECT_EQ(out_, "dn:CN=a,DC=t\n>cn: a\n\n");
  EXPECT_EQ(err_,
            "WARN: Referral not followed (Server Down), its entries are left out: "
            "ldap://127.0.0.1:1/CN=Configuration,DC=t\n");
  EXPECT_EQ(run_->search.objectCount, 1u);
}

TEST_F(PagedSearch, AReferenceWhoseServerStallsOrFailsIsWarnedAboutOnce) {
  struct Case {
    const char* what;
    std::vector<ScriptedLdapServer::Reply> replies;  // of the referred server
    std::function<void(ScriptedLdapServer&)> hostile;
    std::string out;
    std::string reason;
    std::string left;  // what the warning says is left out, or that another URL is followed
    bool base = false;  // a referral of the base naming it and then a server that answers
    bool thenGood = false;  // a reference naming it and then a server that answers
  };
  const std::string a = "dn:CN=a,DC=t\n>cn: a\n\n";
  const std::string g = "dn:CN=g,DC=t\n>cn: g\n\n";
  const std::string r = "dn:CN=r,DC=t\n>cn: r\n\n";
  const ScriptedLdapServer::Reply refused = Page({"r"}, 51, "");
  const Case cases[] = {
      {"bind stalls", {refused}, [](ScriptedLdapServer& s) { s.StallAtBind(); }, a, "Timeout", "its entries are left out"},
      {"search stalls", {refused}, [](ScriptedLdapServer& s) { s.StallAtSearch(0); }, a, "Timeout",
       "its entries are left out"},
      {"search refused after an entry", {refused}, [](ScriptedLdapServer&) {}, a + r, "Busy",
       "the rest of its entries are left out"},
      {"second page stalls", {Page({"r"}, 0, "r2")}, [](ScriptedLdapServer& s) { s.StallAtSearch(1); }, a + r,
       "Timeout", "the rest of its entries are left out"},
      // The server's words come escaped.
      {"bind refused", {refused}, [](ScriptedLdapServer& s) { s.SetBindResult(49, "no such\x01user"); }, a,
       "Invalid Credentials; no such\\01user", "its entries are left out"},
      // The other server is tried after one wait.
      {"base: bind stalls", {refused}, [](ScriptedLdapServer& s) { s.StallAtBind(); }, g, "Timeout",
       "another of its URLs is followed instead", true},
      {"base: search stalls", {refused}, [](ScriptedLdapServer& s) { s.StallAtSearch(0); }, g, "Timeout",
       "another of its URLs is followed instead", true},
      {"reference: bind stalls, then another URL", {refused}, [](ScriptedLdapServer& s) { s.StallAtBind(); },
       a + g, "Timeout", "another of its URLs is followed instead", false, true},
  };
  SetDirectoryWaitLimit(1);
  settings.timeLimit = 1;
  bind_ = true;
  for (const Case& c : cases) {
    ScriptedLdapServer referred(c.replies);
    c.hostile(referred);
    ScriptedLdapServer goodServer({Page({"g"}, 0, "")});
    const std::string url = "ldap://127.0.0.1:" + std::to_string(referred.port()) + "/DC=r,DC=t";
    const std::string goodUrl = "ldap://127.0.0.1:" + std::to_string(goodServer.port()) + "/DC=g,DC=t";
    ScriptedLdapServer server({[&](int64_t id) {
      if (c.base) return ReferralDoneMessage(id, {url, goodUrl});
      return EntryMessage(id, "CN=a,DC=t", {{"cn", {"a"}}}) +
             ReferenceMessage(id, c.thenGood ? std::vector<std::string>{url, goodUrl} : std::vector<std::string>{url}) +
             DoneMessage(id, 0, "");
    }});
    const bool good = c.base || c.thenGood;
    const auto start = std::chrono::steady_clock::now();
    Run(server);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(good ? 2500 : 4000)) << c.what;
    EXPECT_EQ(out_, c.out) << c.what;
    EXPECT_EQ(err_, "WARN: Referral not followed (" + c.reason + "), " + c.left + ": " + url + "\n")
        << c.what;
    EXPECT_EQ(settings.resultCode, 0) << c.what;
    EXPECT_LE(referred.binds().size(), 1u) << c.what;  // tried once
    EXPECT_LE(referred.searches().size(), c.replies.size() + 1) << c.what;
    EXPECT_EQ(goodServer.searches().size(), good ? 1u : 0u) << c.what;
  }
  SetDirectoryWaitLimit(0);
}

TEST_F(PagedSearch, AReferenceThatComesAgainIsChasedOnce) {
  // A reference twice on the first page and again on the second, with a
  // sibling on its server: followed once, or warned about once within one
  // wait limit when its server stops answering (the sibling then at once,
  // passed over untried).
  SetDirectoryWaitLimit(2);
  settings.timeLimit = 2;
  settings.pageSize = 1;
  bind_ = true;
  for (const bool stalls : {false, true}) {
    ScriptedLdapServer referred({Page({"r"}, 0, "")});
    if (stalls) referred.StallAtBind();
    const std::string host = "ldap://127.0.0.1:" + std::to_string(referred.port());
    const std::string url = host + "/DC=r,DC=t", sibling = host + "/DC=r,DC=t??base";
    ScriptedLdapServer server({[url](int64_t id) {
                                 return Page({"a"}, 0, "p2")(id).insert(0, ReferenceMessage(id, {url}) +
                                                                               ReferenceMessage(id, {url}));
                               },
                               [url, sibling, stalls](int64_t id) {
                                 return ReferenceMessage(id, {url}) + ReferenceMessage(id, {stalls ? sibling : url}) +
                                        Page({"b"}, 0, "")(id);
                               }});
    const auto start = std::chrono::steady_clock::now();
    Run(server);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(3500)) << stalls;
    const std::string warn = "WARN: Referral not followed (Timeout), its entries are left out: ";
    const std::string passedOver =
        "WARN: Referral not followed (Timeout; not tried: its server did not answer earlier), "
        "its entries are left out: ";
    EXPECT_EQ(out_, "dn:CN=a,DC=t\n>cn: a\n\ndn:CN=b,DC=t\n>cn: b\n\n" +
                        std::string(stalls ? "" : "dn:CN=r,DC=t\n>cn: r\n\n"));
    EXPECT_EQ(err_, stalls ? warn + url + "\n" + passedOver + sibling + "\n" : "");
    EXPECT_EQ(referred.binds().size(), 1u) << stalls;
  }
  SetDirectoryWaitLimit(0);
}

TEST_F(PagedSearch, TheNextPageIsAskedForBeforeThisOneIsPrinted) {
  // Printing page 1 reads the rest of a ranged value with a search of its
  // own: the server gets it after the request for page 2, whose answer is
  // read in first, unchased, so that its reference is followed here with a
  // search of its own (libldap would replay page 2's cookie there).
  ScriptedLdapServer other({Page({"c"}, 0, "")});
  const std::string url = "ldap://127.0.0.1:" + std::to_string(other.port()) + "/CN=c,DC=t";
  ScriptedLdapServer server({});
  server.AnswerEveryLaterRequest([url](int64_t id, const ScriptedLdapServer::Search& r) {
    if (r.pageSize < 0) {
      return EntryMessage(id, "CN=a,DC=t", {{"objectClass", {"x"}}, {"member;range=1-*", {"m2"}}}) +
             DoneMessage(id, 0, "", false);
    }
    if (r.cookie.empty()) return EntryMessage(id, "CN=a,DC=t", {{"member;range=0-0", {"m1"}}}) +
                                 DoneMessage(id, 0, "p2");
    return EntryMessage(id, "CN=b,DC=t", {{"cn", {"b"}}}) + ReferenceMessage(id, {url}) +
           DoneMessage(id, 0, "");
  });
  settings.pageSize = 1;
  bind_ = true;
  Run(server);
  EXPECT_EQ(PageSizes(server), (std::vector<int64_t>{1, 1, -1}));
  EXPECT_EQ(out_, "dn:CN=a,DC=t\n>member: m1\n>member: m2\n\ndn:CN=b,DC=t\n>cn: b\n\n"
                  "dn:CN=c,DC=t\n>cn: c\n\n");
  EXPECT_EQ(err_, "");
  ASSERT_EQ(other.searches().size(), 1u);
  EXPECT_EQ(other.searches()[0].cookie, "");
}

TEST_F(PagedSearch, AServerThatStopsAnsweringCostsOneWaitAndOneErrorLine) {
  // The server answers the first page and then nothing, neither the page
  // asked for ahead nor the reads that printing the page makes: the first
  // wait finds it out, and every request after it fails at once.
  struct Case {
    const char* what;
    int entries;  // each with a ranged value read on, or a SID looked up, with a search of its own
    bool sids;
    std::string err;
  };
  const std::string timeout = ": [dc1.t] Error 0x55 (85) - Timeout\n";
  const Case cases[] = {{"one ranged entry", 1, false, "ldap_search_ext_s" + timeout},
                        {"ten ranged entries", 10, false, "ldap_search_ext_s" + timeout},
                        {"ten SIDs no batch found", 10, true, "LDAP_SEARCH_S" + timeout}};
  SetDirectoryWaitLimit(2);
  settings.timeLimit = 2;
  settings.pageSize = 10;
  for (const Case& c : cases) {
    resolveSids_ = c.sids;
    ScriptedLdapServer server({[&c](int64_t id) {
                                 std::string reply;
                                 for (int i = 0; i < c.entries; ++i) {
                                   std::vector<BYTE> sid;
                                   plat::ConvertStringSidToSidA(("S-1-5-21-1-2-3-" + std::to_string(1000 + i)).c_str(), &sid);
                                   reply += EntryMessage(id, "CN=g" + std::to_string(i) + ",DC=t",
                                                         {c.sids ? ScriptedAttributes::value_type{"objectSid", {std::string(sid.begin(), sid.end())}}
                                                                 : ScriptedAttributes::value_type{"member;range=0-0", {"m1"}}});
                                 }
                                 return reply + DoneMessage(id, 0, "p2");
                               },
                               [](int64_t id) { return DoneMessage(id, 0, "", false); }});
    server.StallAtSearch(c.sids ? 2 : 1);  // the page asked for ahead
    const auto start = std::chrono::steady_clock::now();
    Run(server);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(3500)) << c.what;
    EXPECT_EQ(run_->search.objectCount, static_cast<uint32_t>(c.entries)) << c.what;
    EXPECT_NE(out_.find("dn:CN=g" + std::to_string(c.entries - 1) + ",DC=t\n>"), std::string::npos) << out_;
    EXPECT_EQ(err_, c.err) << c.what;
    EXPECT_EQ(settings.resultCode, static_cast<int>(plat::LDAP_TIMEOUT)) << c.what;
  }
  SetDirectoryWaitLimit(0);
}

TEST_F(PagedSearch, OnlyARequestThatWaitedTheWholeLimitMarksTheServerAsNotAnswering) {
  // A map load or a ranged read that the server answers at once, or each
  // page 300 ms late, but never ends, is cut by its own bound (one wait
  // limit as a whole) and says so; the requests after it are answered as
  // before. A load that gets no answer at all waited the whole limit, and a
  // server that goes silent after a load's first page has owed an answer
  // for a whole limit by the time the search after it has waited what is
  // left of it: either way that search fails without a line of its own, and
  // the run takes one limit.
  struct Case {
    const char* what;
    bool load;     // a map load before the search; else two ranged entries on the page
    bool answers;  // else the server stops at the first request
    std::string err;
    int code;
    int limit = 1;        // seconds
    bool genTimes = false;  // the generalized-time set, else the site GUIDs
    int lateMs = 2;       // the server's delay before each answer
    int frozenAfter = -1;  // the server stops after this many requests
  };
  const std::string cut = "ldap_search_ext_s: [dc1.t] Error 0x55 (85) - Timeout\n";
  const std::string loadCut = "ldap_get_next_page_s: [] Error 0x55 (85) - Timeout\n";
  const int timeout = static_cast<int>(plat::LDAP_TIMEOUT);
  const Case cases[] = {{"a map load that never ends", true, true, loadCut, 0},
                        {"two ranged reads that never end", false, true, cut + cut, timeout},
                        {"a map load without an answer", true, false, loadCut, timeout},
                        {"site GUIDs frozen after their first page", true, false, loadCut, timeout, 2, false, 2, 1},
                        {"time attributes frozen after their first page", true, false, loadCut, timeout, 2, true, 2, 1},
                        {"site GUIDs answered late", true, true, loadCut, 0, 2, false, 300},
                        {"time attributes answered late", true, true, loadCut, 0, 2, true, 300}};
  for (const Case& c : cases) {
    SetDirectoryWaitLimit(c.limit);
    settings.timeLimit = c.limit;
    settings.resultCode = 0;
    ScriptedLdapServer server({});
    if (!c.answers) server.StallAtSearch(std::max(c.frozenAfter, 0));
    server.AnswerEveryLaterRequest([&c](int64_t id, const ScriptedLdapServer::Search& r) {
      std::this_thread::sleep_for(std::chrono::milliseconds(c.lateMs));
      const std::string asked = r.attrs.empty() ? "" : r.attrs[0];
      if (r.base != "DC=t" && c.load) {  // a new map entry and a new cookie every time
        return EntryMessage(id, "CN=s" + r.cookie + "," + r.base,
                            {{"name", {"s" + r.cookie}}, {"lDAPDisplayName", {"t" + r.cookie}}}) +
               DoneMessage(id, 0, r.cookie + "+");
      }
      if (r.base != "DC=t") {  // member;range=N-*: value N only
        const std::string n = asked.substr(asked.find('=') + 1, asked.find('-') - asked.find('=') - 1);
        return EntryMessage(id, r.base, {{"member;range=" + n + "-" + n, {"CN=" + n}}}) + DoneMessage(id, 0, "", false);
      }
      const std::string name = c.load ? "cn" : "member;range=0-0";
      if (!r.cookie.empty()) return EntryMessage(id, "CN=g2,DC=t", {{"cn", {"g2"}}}) + DoneMessage(id, 0, "");
      return EntryMessage(id, "CN=g0,DC=t", {{name, {"m"}}}) + EntryMessage(id, "CN=g1,DC=t", {{name, {"m"}}}) +
             DoneMessage(id, 0, "p2");
    });
    std::map<std::string, std::string> sites;
    std::map<std::string, int> times;
    if (c.load) {
      before_ = [&](plat::LDAP* ld) {
        EXPECT_FALSE(c.genTimes ? LoadGenTimeAttribs(ld, "CN=Schema,DC=t", &timers_, &times)
                                : LoadGuidMap("SITE_GUIDS", ld, "DC=t", &timers_, &sites));
      };
    }
    const auto start = std::chrono::steady_clock::now();
    Run(server);
    before_ = nullptr;
    if (c.frozenAfter >= 0) {
      EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(3500)) << c.what;
    }
    EXPECT_EQ(run_->search.objectCount, c.answers ? 3u : 0u) << c.what;
    EXPECT_EQ(out_.find("dn:CN=g2,DC=t\n>cn: g2\n") != std::string::npos, c.answers) << c.what << out_;
    EXPECT_EQ(err_, c.err) << c.what;
    EXPECT_EQ(settings.resultCode, c.code) << c.what;
  }
  SetDirectoryWaitLimit(0);
}

TEST_F(PagedSearch, ANoticeOfDisconnectionEndsTheSearchWithItsCode) {
  // The server says it is going away instead of sending the page; whatever
  // the library hands back on the way is released (the sanitizer build
  // checks for leaks).
  ScriptedLdapServer server({Page({"a"}, 0, "p2"), [](int64_t) {
                               return NoticeOfDisconnectionMessage(52, "going away");
                             }});
  settings.pageSize = 1;
  Run(server);
  EXPECT_EQ(out_, "dn:CN=a,DC=t\n>cn: a\n\n\n");
  EXPECT_EQ(err_, "ldap_get_next_page_s: [dc1.t] Error 0x34 (52) - Unavailable\n");
  EXPECT_EQ(settings.resultCode, 52);
}

TEST_F(PagedSearch, ServerTextsAreEscaped) {
  settings.extendedErrors = true;
  ScriptedLdapServer server({Page({}, 51, "", "busy\nExtended Error: forged")});
  Run(server);
  EXPECT_EQ(out_, "\nExtended Error: busy\\0AExtended Error: forged\n");
  EXPECT_EQ(settings.resultCode, 51);
}

TEST_F(PagedSearch, DebugLinesOfEachPage) {
  g_Debug = true;
  settings.pageSize = 5;
  settings.maxEntries = 10;
  ScriptedLdapServer server({Page({"a"}, 0, "")});
  Run(server);
  EXPECT_EQ(out_,
            "DEBUG: Initializing Search Paging...\nDEBUG: Search Initialized...\n"
            "DEBUG: Have valid Search Handle...\nDEBUG: Retrieving Page...\n"
            "DEBUG: Temp Page Size: 5\nDEBUG: Object Count: 1\n"
            "DEBUG: Object Count Remaining: 9\n"
            "dn:CN=a,DC=t\n>cn: a\n\nDEBUG: uErr=0\n"
            "DEBUG: Retrieving Page...\nDEBUG: Temp Page Size: 5\nDEBUG: Object Count: 1\n"
            "DEBUG: Object Count Remaining: 9\n");
}

}  // namespace
