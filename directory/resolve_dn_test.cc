#include "directory/resolve_dn.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "directory/scripted_ldap_server.h"
#include "platform/ldap_client.h"

namespace {

using ResolveDnTest = ScriptedServerTest;

TEST_F(ResolveDnTest, TheFirstEntrysDnFromANamesOnlyBaseSearch) {
  ScriptedLdapServer server({[](int64_t id) {
    return EntryMessage(id, "CN=Found,DC=x", {}) + EntryMessage(id, "CN=Second,DC=x", {}) +
           DoneMessage(id, 0, "", false);
  }});
  EXPECT_EQ(ResolveDN(Connect(server), "<SID=S-1-5-21-1-2-3-1000>"), "CN=Found,DC=x");
  std::vector<ScriptedLdapServer::Search> seen = server.searches();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].base, "<SID=S-1-5-21-1-2-3-1000>");
  EXPECT_EQ(seen[0].scope, 0);
  EXPECT_TRUE(seen[0].attrsOnly);
  EXPECT_EQ(seen[0].attrs, std::vector<std::string>{"1.1"});
}

TEST_F(ResolveDnTest, NoEntryOrAFailedSearchGivesTheDnUnchangedAndPrintsNothing) {
  ScriptedLdapServer server({
      [](int64_t id) { return DoneMessage(id, 0, "", false); },
      [](int64_t id) { return DoneMessage(id, 0x20, "", false, "no such object"); },
  });
  plat::LDAP* ld = Connect(server);
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  EXPECT_EQ(ResolveDN(ld, "CN=Nothing,DC=x"), "CN=Nothing,DC=x");
  EXPECT_EQ(ResolveDN(ld, "<SID=S-1-5-21-9>"), "<SID=S-1-5-21-9>");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(server.searches().size(), 2u);
}

}  // namespace
