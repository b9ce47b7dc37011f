#include "directory/sid_account_lookup.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "common/console_services.h"
#include "common/process_state.h"
#include "directory/connection.h"
#include "directory/test_server_env.h"
#include "platform/ldap_client.h"
#include "platform/sid.h"

namespace {

class SidAccountLookupServerTest : public testing::Test {
 protected:
  void SetUp() override {
    SKIP_WITHOUT_TEST_SERVERS();
    ld_ = OpenTestDcAsUser();
    ASSERT_NE(ld_, nullptr);
    InstallDirectorySidLookup();
    g_LdapSession = ld_;
  }
  void TearDown() override {
    g_LdapSession = nullptr;
    SetSidAccountLookup(nullptr);
    if (ld_ != nullptr) plat::ldap_unbind(ld_);
  }
  std::vector<BYTE> SidOf(const std::string& dn) { return ObjectSidOf(ld_, dn); }
  plat::LDAP* ld_ = nullptr;
};

TEST_F(SidAccountLookupServerTest, DomainAccountsGiveDomainBackslashName) {
  std::vector<BYTE> sid = SidOf(TestEnv("QUELBY_TEST_USER_DN"));
  ASSERT_FALSE(sid.empty());
  std::string out;
  ASSERT_EQ(SidToAccountName(TestEnv("QUELBY_TEST_DC_HOST"), sid.data(), &out), 1);
  EXPECT_EQ(out, TestEnv("QUELBY_TEST_DOMAIN") + "\\" + TestEnv("QUELBY_TEST_USER"));

  sid = SidOf(TestEnv("QUELBY_TEST_ADMIN_DN"));
  ASSERT_FALSE(sid.empty());
  out.clear();
  ASSERT_EQ(SidToAccountName("", sid.data(), &out), 1);
  EXPECT_EQ(out, TestEnv("QUELBY_TEST_DOMAIN") + "\\Administrator");
}

TEST_F(SidAccountLookupServerTest, WellKnownSids) {
  std::vector<BYTE> sid;
  ASSERT_TRUE(plat::ConvertStringSidToSidA("S-1-5-32-544", &sid));
  std::string out;
  ASSERT_EQ(SidToAccountName(TestEnv("QUELBY_TEST_DC_HOST"), sid.data(), &out), 1);
  EXPECT_EQ(out, "BUILTIN\\Administrators");
  ASSERT_TRUE(plat::ConvertStringSidToSidA("S-1-5-18", &sid));
  ASSERT_EQ(SidToAccountName(TestEnv("QUELBY_TEST_DC_HOST"), sid.data(), &out), 1);
  EXPECT_EQ(out, "NT AUTHORITY\\SYSTEM");
}

TEST_F(SidAccountLookupServerTest, BuiltinGroupsFromTheDirectoryBelongToBuiltin) {
  // Asked of the directory itself (not the well-known table): the group is
  // stored under CN=Builtin in the domain's tree.
  std::vector<BYTE> sid;
  ASSERT_TRUE(plat::ConvertStringSidToSidA("S-1-5-32-545", &sid));
  std::string domain;
  std::string name;
  ASSERT_EQ(LookupSidInDirectory(ld_, sid.data(), &domain, &name), 1);
  EXPECT_EQ(domain, "BUILTIN");
  EXPECT_EQ(name, "Users");
}

TEST_F(SidAccountLookupServerTest, UnknownDomainSidIsNotFound) {
  std::vector<BYTE> sid = SidOf(TestEnv("QUELBY_TEST_USER_DN"));
  ASSERT_GE(sid.size(), 28u);
  sid[sid.size() - 1] ^= 0x7F;  // another RID in the same domain, held by nobody
  std::string out = "unchanged";
  EXPECT_EQ(SidToAccountName(TestEnv("QUELBY_TEST_DC_HOST"), sid.data(), &out), 0);
  EXPECT_EQ(out, "unchanged");
}

TEST_F(SidAccountLookupServerTest, NamedServerWithoutSearchConnection) {
  std::vector<BYTE> sid = SidOf(TestEnv("QUELBY_TEST_USER_DN"));
  ASSERT_FALSE(sid.empty());
  g_LdapSession = nullptr;
  // A connection of the lookup's own, bound with the ticket the servers'
  // start left in the test cache.
  std::string out;
  ASSERT_EQ(SidToAccountName(TestEnv("QUELBY_TEST_DC_HOST"), sid.data(), &out), 1);
  EXPECT_EQ(out, TestEnv("QUELBY_TEST_DOMAIN") + "\\" + TestEnv("QUELBY_TEST_USER"));
  out = "unchanged";
  EXPECT_EQ(SidToAccountName("", sid.data(), &out), 0);  // no server and no connection
  EXPECT_EQ(out, "unchanged");
}

TEST_F(SidAccountLookupServerTest, OneBatchGivesTheNamesOfTheLookupsOneByOne) {
  const std::string base = TestEnv("QUELBY_TEST_BASE");
  std::vector<std::vector<BYTE>> sids;
  for (const std::string& dn : {TestEnv("QUELBY_TEST_USER_DN"), TestEnv("QUELBY_TEST_ADMIN_DN"),
                                "CN=Domain Admins,CN=Users," + base}) {
    sids.push_back(SidOf(dn));
    ASSERT_FALSE(sids.back().empty()) << dn;
  }
  sids.emplace_back();
  ASSERT_TRUE(plat::ConvertStringSidToSidA("S-1-5-32-545", &sids.back()));
  sids.push_back(sids[0]);
  sids.back().back() ^= 0x7F;  // a RID nobody holds
  // The names one by one, on a connection of their own.
  plat::LDAP* alone = OpenTestDcAsUser();
  ASSERT_NE(alone, nullptr);
  std::vector<std::string> want;
  for (const std::vector<BYTE>& sid : sids) {
    std::string domain, name;
    want.push_back(LookupSidInDirectory(alone, sid.data(), &domain, &name) == 1 ? domain + "\\" + name : "-");
  }
  plat::ldap_unbind(alone);
  EXPECT_EQ(want[0], TestEnv("QUELBY_TEST_DOMAIN") + "\\" + TestEnv("QUELBY_TEST_USER"));
  EXPECT_EQ(want[3], "BUILTIN\\Users");
  EXPECT_EQ(want[4], "-");

  std::vector<std::string_view> views;
  for (const std::vector<BYTE>& sid : sids) views.emplace_back(reinterpret_cast<const char*>(sid.data()), sid.size());
  // All but the BUILTIN SID, which is never asked in a batch, and the RID nobody holds.
  EXPECT_EQ(PrefetchSidAccounts(ld_, "", views), 3u);
  for (size_t i = 0; i < sids.size(); ++i) {
    std::string domain, name;
    EXPECT_EQ(LookupSidInDirectory(ld_, sids[i].data(), &domain, &name) == 1 ? domain + "\\" + name : "-",
              want[i]);
  }
  std::string sidText, dn;
  ASSERT_TRUE(plat::ConvertSidToStringSidA(sids[0].data(), &sidText));
  ASSERT_TRUE(LookupSidDnInDirectory(ld_, sidText, &dn));
  EXPECT_EQ(dn, TestEnv("QUELBY_TEST_USER_DN"));
}

}  // namespace
