#include "directory/sid_account_lookup.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "directory/connection.h"
#include "directory/ldap_client_warm_up.h"
#include "directory/scripted_ldap_server.h"
#include "platform/ldap_client.h"
#include "platform/sid.h"

namespace {

std::vector<BYTE> Sid(const char* text) {
  std::vector<BYTE> sid;
  EXPECT_TRUE(plat::ConvertStringSidToSidA(text, &sid)) << text;
  return sid;
}

ScriptedLdapServer::Reply Account(std::string dn, std::string samName) {
  return [dn, samName](int64_t id) {
    return EntryMessage(id, dn, {{"sAMAccountName", {samName}}}) + DoneMessage(id, 0, "", false);
  };
}

ScriptedLdapServer::Reply ConfigurationContext(std::string config) {
  return [config](int64_t id) {
    return EntryMessage(id, "", {{"configurationNamingContext", {config}}}) + DoneMessage(id, 0, "", false);
  };
}

ScriptedLdapServer::Reply CrossRef(std::string netbios) {
  return [netbios](int64_t id) {
    return EntryMessage(id, "CN=X,CN=Partitions", {{"nETBIOSName", {netbios}}}) + DoneMessage(id, 0, "", false);
  };
}

using SidAccountLookupTest = ScriptedServerTest;

TEST_F(SidAccountLookupTest, DomainFromTheObjectsDnThroughItsCrossReference) {
  ScriptedLdapServer server({
      Account("CN=Doe\\, John,OU=DC=Not Here,DC=corp,DC=example", "jdoe"),
      ConfigurationContext("CN=Configuration,DC=corp,DC=example"),
      CrossRef("CORP"),
      Account("CN=Other,CN=Users,DC=corp,DC=example", "other"),
  });
  plat::LDAP* ld = Connect(server);
  std::vector<BYTE> sid = Sid("S-1-5-21-1-2-3-1105");
  std::string domain;
  std::string name;
  ASSERT_EQ(LookupSidInDirectory(ld, sid.data(), &domain, &name), 1);
  EXPECT_EQ(domain, "CORP");
  EXPECT_EQ(name, "jdoe");
  // The domain's name is asked once: a second account of it needs one search.
  ASSERT_EQ(LookupSidInDirectory(ld, Sid("S-1-5-21-1-2-3-1106").data(), &domain, &name), 1);
  EXPECT_EQ(domain, "CORP");
  EXPECT_EQ(name, "other");

  std::vector<ScriptedLdapServer::Search> seen = server.searches();
  ASSERT_EQ(seen.size(), 4u);
  EXPECT_EQ(seen[0].base, "<SID=S-1-5-21-1-2-3-1105>");
  EXPECT_EQ(seen[0].scope, 0);
  EXPECT_EQ(seen[1].base, "");
  EXPECT_EQ(seen[2].base, "CN=Partitions,CN=Configuration,DC=corp,DC=example");
  EXPECT_EQ(seen[2].scope, 1);
  EXPECT_EQ(seen[3].base, "<SID=S-1-5-21-1-2-3-1106>");
}

TEST_F(SidAccountLookupTest, BuiltinGroupsAndAccountsOutsideADomainTree) {
  ScriptedLdapServer server({
      Account("CN=Storage Replica Administrators,CN=Builtin,DC=corp2,DC=example", "Storage Replica Administrators"),
      Account("CN=Someone,O=NoDomain", "someone"),
  });
  plat::LDAP* ld = Connect(server);
  std::string domain = "unchanged";
  std::string name;
  ASSERT_EQ(LookupSidInDirectory(ld, Sid("S-1-5-32-582").data(), &domain, &name), 1);
  EXPECT_EQ(domain, "BUILTIN");
  EXPECT_EQ(name, "Storage Replica Administrators");
  ASSERT_EQ(LookupSidInDirectory(ld, Sid("S-1-5-21-7-8-9-500").data(), &domain, &name), 1);
  EXPECT_EQ(domain, "");  // no domain: the bare account name
  EXPECT_EQ(name, "someone");
  EXPECT_EQ(server.searches().size(), 2u);  // no cross-reference asked
}

TEST_F(SidAccountLookupTest, NotFoundLeavesTheOutputsAlone) {
  ScriptedLdapServer server({
      [](int64_t id) { return DoneMessage(id, 0x20, "", false); },
      [](int64_t id) { return DoneMessage(id, 0, "", false); },  // and in no sIDHistory
      // An object without an account name (such as a foreign principal).
      [](int64_t id) {
        return EntryMessage(id, "CN=S-1-5-21-4-5-6-7,CN=ForeignSecurityPrincipals,DC=x", {{"cn", {"x"}}}) +
               DoneMessage(id, 0, "", false);
      },
  });
  plat::LDAP* ld = Connect(server);
  std::string domain = "d";
  std::string name = "n";
  EXPECT_EQ(LookupSidInDirectory(ld, Sid("S-1-5-21-1-2-3-999").data(), &domain, &name), 0);
  EXPECT_EQ(LookupSidInDirectory(ld, Sid("S-1-5-21-4-5-6-7").data(), &domain, &name), 0);
  EXPECT_EQ(domain, "d");
  EXPECT_EQ(name, "n");
  // No connection, no SID or an invalid SID: nothing is asked.
  EXPECT_EQ(LookupSidInDirectory(nullptr, Sid("S-1-5-21-1-2-3-999").data(), &domain, &name), 0);
  EXPECT_EQ(LookupSidInDirectory(ld, nullptr, &domain, &name), 0);
  BYTE invalid[8] = {9, 9, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(LookupSidInDirectory(ld, invalid, &domain, &name), 0);
  EXPECT_EQ(server.searches().size(), 3u);
}

// A domain SID no object holds as objectSid is named after the one account
// holding it in sIDHistory, not when two do; an objectSid's holder wins.
TEST_F(SidAccountLookupTest, ASidInOneHistoryAloneIsNamedAfterItsHolder) {
  ResetSidLookups();
  const std::vector<BYTE> sid = Sid("S-1-5-21-1-2-3-1000");
  auto holders = [&](std::vector<std::string> names) -> ScriptedLdapServer::Reply {
    return [=](int64_t id) {
      std::string entries;
      for (const std::string& n : names) {
        entries += EntryMessage(id, "CN=" + n + ",DC=corp,DC=example",
                                {{"sIDHistory", {std::string(sid.begin(), sid.end())}}, {"sAMAccountName", {n}}});
      }
      return entries + DoneMessage(id, 0, "", false);
    };
  };
  const ScriptedLdapServer::Reply none = [](int64_t id) { return DoneMessage(id, 0x20, "", false); };
  ScriptedLdapServer server({none, holders({"m"}), ConfigurationContext("CN=Configuration,DC=corp,DC=example"),
                             CrossRef("CORP"), none, holders({"m", "n"}), Account("CN=o,DC=corp,DC=example", "o")});
  plat::LDAP* ld = Connect(server);
  std::string domain, name;
  ASSERT_EQ(LookupSidInDirectory(ld, sid.data(), &domain, &name), 1);
  EXPECT_EQ(domain + "\\" + name, "CORP\\m");
  EXPECT_EQ(LookupSidInDirectory(ld, sid.data(), &domain, &name), 0);
  ASSERT_EQ(LookupSidInDirectory(ld, sid.data(), &domain, &name), 1);
  EXPECT_EQ(name, "o");
  ASSERT_EQ(server.searches().size(), 7u);  // the history is asked of every naming context
  EXPECT_EQ(server.searches()[1].controls, std::vector<std::string>{"1.2.840.113556.1.4.1340"});
}

// Two runs in one process, against directories that name the same domain
// differently: the second asks for the name again.
TEST_F(SidAccountLookupTest, ARunStartedAfreshAsksForTheDomainsNameAgain) {
  for (const char* netbios : {"ONE", "TWO"}) {
    ResetSidLookups();
    ScriptedLdapServer server({Account("CN=jdoe,DC=other,DC=example", "jdoe"),
                               ConfigurationContext("CN=Configuration,DC=other,DC=example"), CrossRef(netbios)});
    plat::LDAP* ld = Connect(server);
    std::string domain;
    std::string name;
    EXPECT_EQ(LookupSidInDirectory(ld, Sid("S-1-5-21-1-2-3-1105").data(), &domain, &name), 1);
    EXPECT_EQ(domain, netbios);
    plat::ldap_unbind(ld);
    ld_ = nullptr;
  }
}

// A "<SID=...>" lookup referred on and on (a chain of servers stands for one
// naming itself: a scripted server takes one connection) follows as many
// referrals as a paged search and leaves one warning for the next; neither
// lookup asks about that SID again, also when the DN is asked for under a
// descriptor's alias for it.
TEST_F(SidAccountLookupTest, AReferralLoopStopsAtTheHopLimitWithOneWarning) {
  const char* text = "S-1-5-21-1-2-3-1000";
  const struct { bool dnFirst; const char *sid, *asDn; } rows[] = {
      {true, text, text}, {false, text, text}, {true, "S-1-5-33", "WR"}};
  for (const auto& row : rows) {
    ResetSidLookups();
    std::vector<std::string> urls(33);
    std::vector<std::unique_ptr<ScriptedLdapServer>> chain;
    for (size_t i = 0; i < urls.size(); ++i) {
      chain.push_back(std::make_unique<ScriptedLdapServer>(std::vector<ScriptedLdapServer::Reply>{
          [&urls, i](int64_t id) { return ReferralDoneMessage(id, {urls[(i + 1) % urls.size()]}); }}));
      urls[i] = "ldap://127.0.0.1:" + std::to_string(chain.back()->port()) + "/CN=S" + std::to_string(i) + ",DC=t";
    }
    ScriptedLdapServer server({});
    server.AnswerEveryLaterRequest(
        [&urls](int64_t id, const ScriptedLdapServer::Search&) { return ReferralDoneMessage(id, {urls[0]}); });
    plat::LDAP* ld = Connect(server);
    ULONG two = 2;  // a lookup that tried the chain again would wait on a server that took its one connection
    plat::ldap_set_option(ld, plat::LDAP_OPT_WAIT_LIMIT, &two);
    std::string dn, domain, name;
    auto byDn = [&] { return LookupSidDnInDirectory(ld, row.asDn, &dn); };
    auto byAccount = [&] { return LookupSidInDirectory(ld, Sid(row.sid).data(), &domain, &name) == 1; };
    testing::internal::CaptureStderr();
    EXPECT_FALSE(row.dnFirst ? byDn() : byAccount());
    EXPECT_FALSE(byDn() || byAccount());
    WarnUnfollowedReferrals(ld);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "WARN: Referral not followed (Referral hop limit exceeded), its entries are left out: " + urls[32] + "\n");
    ASSERT_EQ(server.searches().size(), 1u) << row.asDn << row.dnFirst;
    EXPECT_EQ(server.searches()[0].base, std::string("<SID=") + (row.dnFirst ? row.asDn : row.sid) + ">");
    for (size_t i = 0; i < urls.size(); ++i) EXPECT_EQ(chain[i]->searches().size(), i < 32 ? 1u : 0u) << i;
    plat::ldap_unbind(ld);
    ld_ = nullptr;
  }
}

// Last in this file: after it the directory is not asked again in this process.
TEST_F(SidAccountLookupTest, ALookupThatGetsNoAnswerStopsTheLookupsWithOneLine) {
  ScriptedLdapServer server({});
  server.StallAtSearch(0);
  plat::LDAP* ld = Connect(server);
  ULONG two = 2;
  plat::ldap_set_option(ld, plat::LDAP_OPT_WAIT_LIMIT, &two);
  WarmUpLdapClient();
  std::string domain = "d";
  std::string name = "n";
  testing::internal::CaptureStderr();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(LookupSidInDirectory(ld, Sid("S-1-5-21-1-2-3-500").data(), &domain, &name), 0);
  EXPECT_EQ(LookupSidInDirectory(ld, Sid("S-1-5-21-1-2-3-501").data(), &domain, &name), 0);
  // One wait of the limit: a second would take longer than the bound.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(3500));
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(err, std::string("LDAP_SEARCH_S: [] Error 0x55 (85) - ") + plat::ldap_err2string(0x55) + "\n");
  EXPECT_EQ(DirectoryLookupFailure(), plat::LDAP_TIMEOUT);
  EXPECT_EQ(server.searches().size(), 1u);
}

}  // namespace
