#include "directory/root_dse.h"

#include <gtest/gtest.h>

#include <string>

#include "common/string_util.h"
#include "directory/connection.h"
#include "directory/test_server_env.h"
#include "platform/ldap_client.h"

namespace {

class RootDseServerTest : public testing::Test {
 protected:
  void SetUp() override { SKIP_WITHOUT_TEST_SERVERS(); }
};

TEST_F(RootDseServerTest, SambaIsAnActiveDirectoryOfTheLonghornKind) {
  std::string host = TestEnv("QUELBY_TEST_DC_HOST");
  plat::LDAP* ld = OpenTestDcAsUser();
  ASSERT_NE(ld, nullptr);
  CRootDSE dse(ld);
  plat::ldap_unbind(ld);
  ASSERT_TRUE(dse.valid);
  EXPECT_EQ(dse.serverType, "Windows Longhorn");
  EXPECT_TRUE(dse.isAD);
  EXPECT_TRUE(dse.isADV51);
  EXPECT_TRUE(dse.isADV61);
  EXPECT_FALSE(dse.isADAM);
  std::string base = TestEnv("QUELBY_TEST_BASE");
  EXPECT_EQ(StrToLower(dse.defaultNamingContext), StrToLower(base));
  EXPECT_EQ(StrToLower(dse.rootDomainNamingContext), StrToLower(base));
  EXPECT_EQ(StrToLower(dse.configurationNamingContext), StrToLower("CN=Configuration," + base));
  EXPECT_EQ(StrToLower(dse.schemaNamingContext), StrToLower("CN=Schema,CN=Configuration," + base));
  EXPECT_EQ(StrToLower(dse.dnsHostName), StrToLower(host));
  EXPECT_NE(dse.ldapServiceName.find(TestEnv("QUELBY_TEST_REALM")), std::string::npos);
  EXPECT_FALSE(dse.currentTime.empty());
  EXPECT_FALSE(dse.highestCommittedUsn.empty());
  EXPECT_EQ(dse.namingContextCount, dse.namingContexts.size());
  EXPECT_GE(dse.namingContextCount, 3u);
  // Levels above 3 have no text of their own.
  EXPECT_GE(dse.domainFunctionality, 2);
  EXPECT_EQ(dse.domainMode.empty(), dse.domainFunctionality > 3);
  EXPECT_EQ(dse.forestMode.empty(), dse.forestFunctionality > 3);
  EXPECT_EQ(dse.dcMode.empty(), dse.domainControllerFunctionality > 3);
}

TEST_F(RootDseServerTest, SlapdHasNoServerType) {
  std::string host = TestEnv("QUELBY_TEST_SLAPD_HOST");
  int port = std::atoi(TestEnv("QUELBY_TEST_SLAPD_PORT").c_str());
  plat::LDAP* ld = OpenLDAP(host.c_str(), port, false, true, true, "", "", false, false, false, false, false);
  ASSERT_NE(ld, nullptr);
  CRootDSE dse(ld);
  plat::ldap_unbind(ld);
  ASSERT_TRUE(dse.valid);
  EXPECT_EQ(dse.serverType, "");
  EXPECT_FALSE(dse.isAD || dse.isADAM || dse.isADV51 || dse.isADV61 || dse.isLdapInteg);
  EXPECT_EQ(dse.domainMode, "");
  EXPECT_EQ(dse.namingContextCount, dse.namingContexts.size());
  EXPECT_EQ(dse.defaultNamingContext, "");
  EXPECT_EQ(dse.dsServiceName, "");
}

TEST_F(RootDseServerTest, RootDseOverUdp) {
  std::string ip = TestEnv("QUELBY_TEST_IP");
  plat::LDAP* ld = UDPOpenLDAP(ip.c_str(), 0);
  ASSERT_NE(ld, nullptr);
  CRootDSE dse(ld);
  plat::ldap_unbind(ld);
  ASSERT_TRUE(dse.valid);
  EXPECT_EQ(StrToLower(dse.defaultNamingContext), StrToLower(TestEnv("QUELBY_TEST_BASE")));
  EXPECT_EQ(dse.serverType, "Windows Longhorn");
}

}  // namespace
