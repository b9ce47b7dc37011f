#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

#include "directory/ldap_client_warm_up.h"
#include "directory/scripted_ldap_server.h"
#include "directory/sid_account_lookup.h"
#include "platform/ldap_client.h"
#include "platform/sid.h"

namespace {

std::string Sid(const char* text) {
  std::vector<BYTE> sid;
  EXPECT_TRUE(plat::ConvertStringSidToSidA(text, &sid)) << text;
  return std::string(sid.begin(), sid.end());
}

std::vector<std::string_view> Views(const std::vector<std::string>& sids) {
  return std::vector<std::string_view>(sids.begin(), sids.end());
}

ScriptedAttributes Holder(const char* sid, const char* account) {
  ScriptedAttributes attributes = {{"objectSid", {Sid(sid)}}};
  if (account != nullptr) attributes.push_back({"sAMAccountName", {account}});
  return attributes;
}

std::string Name(plat::LDAP* ld, const std::string& sid) {
  std::string domain, name;
  return LookupSidInDirectory(ld, sid.data(), &domain, &name) == 1 ? domain + "\\" + name : "-";
}

using SidBatchLookupTest = ScriptedServerTest;

TEST_F(SidBatchLookupTest, OneSearchAnswersTheSidsItFindsOnceTheOthersAreAskedAlone) {
  ResetSidLookups();
  ScriptedLdapServer server({
      [](int64_t id) {
        return EntryMessage(id, "CN=jdoe,CN=Users,DC=corp,DC=example", Holder("S-1-5-21-1-2-3-1105", "jdoe")) +
               EntryMessage(id, "CN=Users,CN=Builtin,DC=corp,DC=example", Holder("S-1-5-32-545", "Users")) +
               EntryMessage(id, "CN=S-1-5-21-7-7-7-7,CN=ForeignSecurityPrincipals,DC=corp,DC=example",
                            Holder("S-1-5-21-7-7-7-7", nullptr)) +
               EntryMessage(id, "CN=a,DC=corp,DC=example", Holder("S-1-5-21-1-2-3-1200", "a")) +
               EntryMessage(id, "CN=b,DC=corp,DC=example", Holder("S-1-5-21-1-2-3-1200", "b")) +
               DoneMessage(id, 0, "", false);
      },
      [](int64_t id) {
        return EntryMessage(id, "", {{"configurationNamingContext", {"CN=Configuration,DC=corp,DC=example"}}}) +
               DoneMessage(id, 0, "", false);
      },
      [](int64_t id) {
        return EntryMessage(id, "CN=CORP,CN=Partitions", {{"nETBIOSName", {"CORP"}}}) + DoneMessage(id, 0, "", false);
      },
      [](int64_t id) {  // the BUILTIN SID, never in a batch
        return EntryMessage(id, "CN=Users,CN=Builtin,DC=corp,DC=example", {{"sAMAccountName", {"Users"}}}) +
               DoneMessage(id, 0, "", false);
      },
      [](int64_t id) {  // the SID two objects held, asked by itself
        return EntryMessage(id, "CN=a,DC=corp,DC=example", {{"sAMAccountName", {"a"}}}) +
               DoneMessage(id, 0, "", false);
      },
      [](int64_t id) { return DoneMessage(id, 0x20, "", false); },  // the SID nobody holds
  });
  plat::LDAP* ld = Connect(server);
  const std::vector<std::string> sids = {Sid("S-1-5-21-1-2-3-1105"), Sid("S-1-5-32-545"), Sid("S-1-5-21-7-7-7-7"),
                                         Sid("S-1-5-21-1-2-3-1200"), Sid("S-1-5-21-1-2-3-1300"),
                                         Sid("S-1-5-21-1-2-3-1105")};
  EXPECT_EQ(PrefetchSidAccounts(ld, "DC=corp,DC=example", Views(sids)), 2u);
  EXPECT_EQ(PrefetchSidAccounts(ld, "DC=corp,DC=example", Views(sids)), 0u);  // asked once
  std::vector<ScriptedLdapServer::Search> seen = server.searches();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].base, "DC=corp,DC=example");
  EXPECT_EQ(seen[0].scope, 2);
  EXPECT_EQ(seen[0].attrs, (std::vector<std::string>{"objectSid", "sIDHistory", "sAMAccountName"}));
  EXPECT_EQ(seen[0].controls, (std::vector<std::string>{"1.2.840.113556.1.4.1340"}));  // phantom root

  EXPECT_EQ(Name(ld, sids[0]), "CORP\\jdoe");  // the domain's name is read as before
  EXPECT_EQ(server.searches().size(), 3u);
  EXPECT_EQ(Name(ld, sids[1]), "BUILTIN\\Users");
  EXPECT_EQ(Name(ld, sids[2]), "-");  // held, by an object without an account
  EXPECT_EQ(server.searches().size(), 4u);
  EXPECT_EQ(Name(ld, sids[3]), "CORP\\a");
  EXPECT_EQ(Name(ld, sids[4]), "-");
  seen = server.searches();
  ASSERT_EQ(seen.size(), 6u);
  EXPECT_EQ(seen[3].base, "<SID=S-1-5-32-545>");
  EXPECT_EQ(seen[4].base, "<SID=S-1-5-21-1-2-3-1200>");
  EXPECT_EQ(seen[5].base, "<SID=S-1-5-21-1-2-3-1300>");
  std::string dn;
  ASSERT_TRUE(LookupSidDnInDirectory(ld, "S-1-5-21-7-7-7-7", &dn));
  EXPECT_EQ(dn, "CN=S-1-5-21-7-7-7-7,CN=ForeignSecurityPrincipals,DC=corp,DC=example");
  EXPECT_EQ(server.searches().size(), 6u);
}

// Which batch entries answer: only the SIDs of the search they came in, only
// from a search that ended with success, only a SID one object holds, as
// its objectSid. Every other SID takes a search of its own.
TEST_F(SidBatchLookupTest, ABatchAnswersOnlyWhatItProvesTheOthersAreAskedAlone) {
  using Reply = ScriptedLdapServer::Reply;
  const std::string first = "S-1-5-21-1-2-3-1000";
  // A reply of the entries (DN, attributes) and the closing code.
  auto reply = [](int code, std::vector<std::pair<const char*, ScriptedAttributes>> entries) -> Reply {
    return [=](int64_t id) {
      std::string messages;
      for (const auto& [dn, attributes] : entries) messages += EntryMessage(id, dn, attributes);
      return messages + DoneMessage(id, code, "", false);
    };
  };
  const ScriptedAttributes ownSid = {{"objectSid", {Sid(first.c_str())}}};
  const ScriptedAttributes inHistory = {{"objectSid", {Sid("S-1-5-21-1-2-3-999")}},
                                        {"sIDHistory", {Sid(first.c_str())}}};
  struct Case {
    const char* what;
    size_t sids;                 // S-1-5-21-1-2-3-1000 and on, 250 to a batch
    std::vector<Reply> batches;  // the replies to the batch searches
    bool alone;                  // whether the first SID then takes a search of its own
  };
  const Case cases[] = {
      {"held once, as objectSid", 1, {reply(0, {{"CN=x", ownSid}})}, false},
      {"held once in an answer to another batch", 300, {reply(0, {}), reply(0, {{"CN=x", ownSid}})}, true},
      {"held once in a batch cut short", 2, {reply(4, {{"CN=x", ownSid}})}, true},
      {"held as objectSid and in another object's history", 1,
       {reply(0, {{"CN=x", ownSid}, {"CN=y", inHistory}})}, true},
      {"held in history only", 1, {reply(0, {{"CN=y", inHistory}})}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ResetSidLookups();
    std::vector<Reply> replies = c.batches;
    replies.push_back(reply(0, {{"CN=alone", {}}}));
    ScriptedLdapServer server(replies);
    plat::LDAP* ld = Connect(server);
    std::vector<std::string> sids;
    for (size_t i = 0; i < c.sids; ++i) {
      sids.push_back(Sid(("S-1-5-21-1-2-3-" + std::to_string(1000 + i)).c_str()));
    }
    EXPECT_EQ(PrefetchSidAccounts(ld, "DC=corp,DC=example", Views(sids)), c.alone ? 0u : 1u);
    std::string dn;
    EXPECT_TRUE(LookupSidDnInDirectory(ld, first, &dn));
    EXPECT_EQ(dn, c.alone ? "CN=alone" : "CN=x");
    const std::vector<ScriptedLdapServer::Search> seen = server.searches();
    EXPECT_EQ(seen.size(), c.batches.size() + (c.alone ? 1 : 0));
    EXPECT_EQ(seen.empty() ? "" : seen.back().base, c.alone ? "<SID=" + first + ">" : "DC=corp,DC=example");
    plat::ldap_unbind(ld);
    ld_ = nullptr;
  }
}

// Last in this file: after it the directory is not asked again in this process.
TEST_F(SidBatchLookupTest, ABatchThatGetsNoAnswerIsOneFailedLookup) {
  ResetSidLookups();
  ScriptedLdapServer server({});
  server.StallAtSearch(0);
  plat::LDAP* ld = Connect(server);
  ULONG two = 2;
  plat::ldap_set_option(ld, plat::LDAP_OPT_WAIT_LIMIT, &two);
  WarmUpLdapClient();
  std::vector<std::string> sids;
  for (int rid = 1000; rid < 1600; ++rid) sids.push_back(Sid(("S-1-5-21-1-2-3-" + std::to_string(rid)).c_str()));
  testing::internal::CaptureStderr();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(PrefetchSidAccounts(ld, "DC=corp,DC=example", Views(sids)), 0u);
  EXPECT_EQ(Name(ld, sids[0]), "-");
  std::string dn;
  EXPECT_FALSE(LookupSidDnInDirectory(ld, "S-1-5-21-1-2-3-1000", &dn));
  // One wait, not one per batch of the SIDs or per lookup after it.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(3500));
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(err.rfind("LDAP_SEARCH_S: ", 0), 0u) << err;
  EXPECT_EQ(err.find('\n'), err.size() - 1) << err;
  EXPECT_EQ(DirectoryLookupFailure(), plat::LDAP_TIMEOUT);
}

}  // namespace
