#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/process_state.h"
#include "directory/scripted_ldap_server.h"
#include "driver/test_query_run.h"
#include "values/attribute_kinds.h"

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
    g_Debug = false;
    ScriptedServerTest::TearDown();
  }

  void Run(ScriptedLdapServer& server) {
    SearchState& st = t_.Start().search;
    t_.HandMadeRootDse();
    st.rootDse->dnsHostName = "dc1.t";
    if (ld_ != nullptr) plat::ldap_unbind(ld_);  // the connection of an earlier run
    st.connection = Connect(server);
    st.searchAttributes = {nullptr};
    st.sortKeyList = {nullptr, nullptr};
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
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

TEST_F(PagedSearch, AFailedPageKeepsEarlierPagesAndGivesItsCode) {
  settings.pageSize = 1;
  settings.extendedErrors = true;
  ScriptedLdapServer server({Page({"a"}, 0, "p2"), Page({}, 51, "", "server busy")});
  Run(server);
  EXPECT_EQ(out_, "dn:CN=a,DC=t\n>cn: a\n\n\nExtended Error: server busy\n");
  EXPECT_EQ(err_, "ldap_get_next_page_s: [dc1.t] Error 0x33 (51) - Busy\n");
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
