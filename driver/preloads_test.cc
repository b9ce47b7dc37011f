#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "common/process_state.h"
#include "directory/connection.h"
#include "directory/scripted_ldap_server.h"
#include "driver/test_query_run.h"
#include "values/attribute_kinds.h"

namespace {

constexpr char kSchema[] = "CN=Schema,CN=Configuration,DC=t";

ScriptedAttributes Attribute(const std::string& name, const std::string& syntax,
                             const std::string& lower = "", const std::string& upper = "") {
  ScriptedAttributes a;
  if (!name.empty()) a.push_back({"lDAPDisplayName", {name}});
  a.push_back({"attributeSyntax", {syntax}});
  if (!lower.empty()) a.push_back({"rangeLower", {lower}});
  if (!upper.empty()) a.push_back({"rangeUpper", {upper}});
  return a;
}

bool In(const std::map<std::string, int>& table, const std::string& name) {
  auto it = table.find(name);
  return it != table.end() && it->second != 0;
}

// The preloads on the main connection to a scripted server.
class Preloads : public ScriptedServerTest {
 protected:
  void SetUp() override {
    LoadAttributeKindMaps();
    g_Debug = g_SddlPlus = g_DecodeGenTimes = g_GenTimesSortable = false;
    t_.Start();
    t_.HandMadeRootDse();
    run_->search.rootDse->schemaNamingContext = kSchema;
    run_->search.isLdapInteg = true;
  }

  bool Run(ScriptedLdapServer& server, int* exitCode) {
    run_->search.connection = Connect(server);
    if (bind_) {
      EXPECT_EQ(plat::ldap_simple_bind_s(ld_, "CN=me,DC=t", "pw"), 0u);
    }
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const bool going = RunPreloads(*run_, exitCode);
    out_ = testing::internal::GetCapturedStdout();
    err_ = testing::internal::GetCapturedStderr();
    if (run_->search.connection == nullptr) ld_ = nullptr;  // released by the phase
    return going;
  }

  TestQueryRun t_;
  QuerySettings& settings = t_.settings;
  CZQTimer& timers_ = t_.timers;
  std::unique_ptr<QueryRun>& run_ = t_.run;
  std::string out_;
  std::string err_;
  bool bind_ = false;  // a simple bind before the preloads
};

TEST_F(Preloads, SchemaSyntaxesFillTheKindTables) {
  const std::string at = std::string(",") + kSchema;
  ScriptedLdapServer server({[at](int64_t id) {
    return EntryMessage(id, "CN=P-Sd" + at, Attribute("pSd", "2.5.5.15")) +
           EntryMessage(id, "CN=P-Sid" + at, Attribute("pSid", "2.5.5.17")) +
           EntryMessage(id, "CN=P-Sixteen" + at, Attribute("pSixteen", "2.5.5.10", "16", "16")) +
           EntryMessage(id, "CN=P-Half" + at, Attribute("pHalf", "2.5.5.10", "16", "")) +
           EntryMessage(id, "CN=P-Named-GUID" + at, Attribute("pNamed", "2.5.5.10")) +
           EntryMessage(id, "CN=P-Dn" + at, Attribute("pDn", "2.5.5.1")) +
           EntryMessage(id, "CN=P-Nameless" + at, Attribute("", "2.5.5.17")) +
           EntryMessage(id, "CN=Logon-Workstation" + at, Attribute("logonWorkstation", "2.5.5.10")) +
           DoneMessage(id, 0, "", false);
  }});
  int exitCode = 0;
  ASSERT_TRUE(Run(server, &exitCode)) << err_;
  EXPECT_TRUE(In(g_SecurityDescriptorAttributes, "pSd"));
  EXPECT_TRUE(In(g_BinaryAttributes, "pSd"));
  EXPECT_TRUE(In(g_SidAttributes, "pSid"));
  EXPECT_TRUE(In(g_BinaryAttributes, "pSid"));
  EXPECT_TRUE(In(g_GuidAttributes, "pSixteen"));
  EXPECT_TRUE(In(g_BinaryAttributes, "pSixteen"));
  EXPECT_FALSE(In(g_GuidAttributes, "pHalf"));
  EXPECT_TRUE(In(g_BinaryAttributes, "pHalf"));
  EXPECT_TRUE(In(g_GuidAttributes, "pNamed"));  // "-guid," in the DN, in any case
  EXPECT_TRUE(In(g_DnAttributes, "pDn"));
  EXPECT_FALSE(In(g_BinaryAttributes, "pDn"));
  EXPECT_FALSE(In(g_BinaryAttributes, "logonWorkstation"));  // never binary
  EXPECT_FALSE(In(g_BinaryAttributes, ""));

  std::vector<ScriptedLdapServer::Search> seen = server.searches();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].base, kSchema);
  EXPECT_EQ(seen[0].scope, 1);
  EXPECT_EQ(seen[0].attrs, (std::vector<std::string>{"ldapDisplayName", "attributeSyntax",
                                                     "rangeUpper", "rangeLower"}));
  EXPECT_EQ(timers_.labels, std::vector<std::string>{"PARTIAL_SCHEMA"});
}

TEST_F(Preloads, NoSchemaSearchWithoutItsCapabilityWithDloidOrStatisticsOnly) {
  for (int i = 0; i < 3; ++i) {
    settings = QuerySettings{};
    run_->search.isLdapInteg = i != 0;
    settings.loadSchemaKinds = i != 1;
    settings.statsOnly = i == 2;
    g_BinaryAttributes["logonWorkstation"] = 1;
    ScriptedLdapServer server({});
    int exitCode = 0;
    ASSERT_TRUE(Run(server, &exitCode)) << i;
    EXPECT_TRUE(server.searches().empty()) << i;
    EXPECT_EQ(out_, "") << i;
    EXPECT_FALSE(In(g_BinaryAttributes, "logonWorkstation")) << i;
    plat::ldap_unbind(ld_);
    ld_ = nullptr;
  }
}

TEST_F(Preloads, AFailedSchemaSearchEndsTheRunWithItsCode) {
  settings.extendedErrors = true;
  ScriptedLdapServer server(
      {[](int64_t id) { return DoneMessage(id, 50, "", false, "no read access"); }});
  int exitCode = 0;
  EXPECT_FALSE(Run(server, &exitCode));
  EXPECT_EQ(exitCode, 50);
  EXPECT_EQ(err_, "LDAP_SEARCH_S: 0x32\nLDAP_SEARCH_S: Insufficient Rights\n");
  EXPECT_EQ(out_, "Extended Error: no read access\n");
  EXPECT_EQ(run_->search.connection, nullptr);  // released, once
  EXPECT_EQ(ld_, nullptr);
}


TEST_F(Preloads, AReferredServerThatStopsAnsweringIsWaitedOnOnce) {
  // Five references to one server that stops answering at the bind or the
  // search, or a referral of the base naming it five times: the schema search
  // waits on it once, within one wait limit, and says each one it left out:
  // the first as timed out, the others as passed over untried.
  // A referral of the base naming it and then a server that answers goes on
  // there after that wait.
  SetDirectoryWaitLimit(2);
  bind_ = true;
  for (const int row : {0, 1, 2, 3, 4}) {
    const bool atSearch = row == 1 || row == 4, thenGood = row >= 3;
    ScriptedLdapServer stalled({});
    atSearch ? stalled.StallAtSearch(0) : stalled.StallAtBind();
    const std::string name = "g" + std::to_string(row);
    ScriptedLdapServer good({[&](int64_t id) {
      return EntryMessage(id, "CN=G," + std::string(kSchema), Attribute(name, "2.5.5.17")) +
             DoneMessage(id, 0, "", false);
    }});
    std::vector<std::string> urls;
    std::string warned;
    for (int i = 0; i < (thenGood ? 1 : 5); ++i) {
      urls.push_back("ldap://127.0.0.1:" + std::to_string(stalled.port()) + "/CN=S" + std::to_string(i) + ",DC=t");
      warned += "WARN: Referral not followed (Timeout" +
                std::string(i == 0 ? "" : "; not tried: its server did not answer earlier") + "), " +
                std::string(thenGood ? "another of its URLs is followed instead: " : "its entries are left out: ") +
                urls.back() + "\n";
    }
    if (thenGood) urls.push_back("ldap://127.0.0.1:" + std::to_string(good.port()) + "/" + kSchema);
    ScriptedLdapServer server({[&](int64_t id) {
      std::string reply = EntryMessage(id, "CN=A," + std::string(kSchema), Attribute("a", "2.5.5.15"));
      for (const std::string& url : urls) reply += ReferenceMessage(id, {url});
      return row >= 2 ? ReferralDoneMessage(id, urls) : reply + DoneMessage(id, 0, "", false);
    }});
    int exitCode = 0;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Run(server, &exitCode), row != 2) << row;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(3500)) << row;
    EXPECT_EQ(stalled.binds().size(), 1u) << row;
    EXPECT_EQ(err_, warned + (row == 2 ? "LDAP_SEARCH_S: 0x55\nLDAP_SEARCH_S: Timeout\n" : "")) << row;
    EXPECT_EQ(exitCode, row == 2 ? 0x55 : 0) << row;
    EXPECT_EQ(good.searches().size(), thenGood ? 1u : 0u) << row;
    EXPECT_EQ(In(g_SidAttributes, name), thenGood) << row;
    if (run_->search.connection != nullptr) plat::ldap_unbind(run_->search.connection);
    ld_ = run_->search.connection = nullptr;
  }
  SetDirectoryWaitLimit(0);
}

}  // namespace
