#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

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
  EXPECT_EQ(PrefetchSidAccounts(ld, "DC=corp,DC=example", Views(sids)), 3u);
  EXPECT_EQ(PrefetchSidAccounts(ld, "DC=corp,DC=example", Views(sids)), 0u);  // asked once
  std::vector<ScriptedLdapServer::Search> seen = server.searches();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].base, "DC=corp,DC=example");
  EXPECT_EQ(seen[0].scope, 2);
  EXPECT_EQ(seen[0].attrs, (std::vector<std::string>{"objectSid", "sAMAccountName"}));

  EXPECT_EQ(Name(ld, sids[0]), "CORP\\jdoe");  // the domain's name is read as before
  EXPECT_EQ(Name(ld, sids[1]), "BUILTIN\\Users");
  EXPECT_EQ(Name(ld, sids[2]), "-");  // held, by an object without an account
  EXPECT_EQ(server.searches().size(), 3u);
  EXPECT_EQ(Name(ld, sids[3]), "CORP\\a");
  EXPECT_EQ(Name(ld, sids[4]), "-");
  seen = server.searches();
  ASSERT_EQ(seen.size(), 5u);
  EXPECT_EQ(seen[3].base, "<SID=S-1-5-21-1-2-3-1200>");
  EXPECT_EQ(seen[4].base, "<SID=S-1-5-21-1-2-3-1300>");
  std::string dn;
  ASSERT_TRUE(LookupSidDnInDirectory(ld, "S-1-5-21-7-7-7-7", &dn));
  EXPECT_EQ(dn, "CN=S-1-5-21-7-7-7-7,CN=ForeignSecurityPrincipals,DC=corp,DC=example");
  EXPECT_EQ(server.searches().size(), 5u);
}

// Last in this file: after it the directory is not asked again in this process.
TEST_F(SidBatchLookupTest, ABatchThatGetsNoAnswerIsOneFailedLookup) {
  ScriptedLdapServer server({});
  server.StallAtSearch(0);
  plat::LDAP* ld = Connect(server);
  ULONG one = 1;
  plat::ldap_set_option(ld, plat::LDAP_OPT_WAIT_LIMIT, &one);
  std::vector<std::string> sids;
  for (int rid = 1000; rid < 1600; ++rid) sids.push_back(Sid(("S-1-5-21-1-2-3-" + std::to_string(rid)).c_str()));
  testing::internal::CaptureStderr();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(PrefetchSidAccounts(ld, "DC=corp,DC=example", Views(sids)), 0u);
  EXPECT_EQ(Name(ld, sids[0]), "-");
  std::string dn;
  EXPECT_FALSE(LookupSidDnInDirectory(ld, "S-1-5-21-1-2-3-1000", &dn));
  // One wait, not one per batch of the SIDs or per lookup after it.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2500));
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(err.rfind("LDAP_SEARCH_S: ", 0), 0u) << err;
  EXPECT_EQ(err.find('\n'), err.size() - 1) << err;
  EXPECT_EQ(DirectoryLookupFailure(), plat::LDAP_TIMEOUT);
}

}  // namespace
