#include "directory/root_dse.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <string>

#include "common/process_state.h"
#include "directory/scripted_ldap_server.h"
#include "platform/ldap_client.h"

namespace {

// A record whose read failed (no connection), to be filled by hand.
std::unique_ptr<CRootDSE> Blank() {
  testing::internal::CaptureStderr();
  auto dse = std::make_unique<CRootDSE>(nullptr);
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(err.rfind("LDAP_SEARCH_S: 0x", 0), 0u) << err;
  return dse;
}

std::unique_ptr<CRootDSE> Classified(std::initializer_list<const char*> caps, int domain = 0, int forest = 0,
                                     int dc = 0) {
  auto dse = Blank();
  for (const char* c : caps) dse->supportedCapabilities[c] = true;
  dse->domainFunctionality = domain;
  dse->forestFunctionality = forest;
  dse->domainControllerFunctionality = dc;
  dse->ClassifyServer();
  return dse;
}

TEST(RootDse, FailedReadLeavesEverythingEmpty) {
  auto dse = Blank();
  EXPECT_FALSE(dse->valid);
  EXPECT_TRUE(dse->serverType.empty());
  EXPECT_EQ(dse->namingContextCount, 0u);
}

TEST(ClassifyServer, LastMatchingTestWins) {
  EXPECT_EQ(Classified({})->serverType, "");
  EXPECT_EQ(Classified({kCapLdapIntegration})->serverType, "Unknown Windows LDAP");

  auto w2k = Classified({kCapLdapIntegration, kCapActiveDirectory}, 2, 2, 2);
  EXPECT_EQ(w2k->serverType, "Windows 2000");
  EXPECT_TRUE(w2k->isAD);
  EXPECT_EQ(w2k->domainMode, "");  // no level texts before the 2003 capability
  EXPECT_EQ(w2k->dcMode, "");

  auto longhorn = Classified({kCapLdapIntegration, kCapActiveDirectory, kCapActiveDirectoryV51,
                              kCapActiveDirectoryV61}, 2, 2, 2);
  EXPECT_EQ(longhorn->serverType, "Windows Longhorn");
  EXPECT_EQ(longhorn->domainMode, "Windows Server 2003 Domain Mode");
  EXPECT_EQ(longhorn->forestMode, "Windows Server 2003 Forest Mode");
  EXPECT_EQ(longhorn->dcMode, "Windows Server 2003 Functional Mode");

  auto adam = Classified({kCapApplicationMode, kCapActiveDirectoryV51});
  EXPECT_EQ(adam->serverType, "Windows Server 2003");
  EXPECT_TRUE(adam->isADAM);
  EXPECT_FALSE(adam->isAD);
  EXPECT_EQ(Classified({kCapApplicationMode})->serverType, "Active Directory Application Mode");
}

TEST(ClassifyServer, LevelTexts) {
  auto levels = Classified({kCapActiveDirectoryV61}, 0, 1, 3);
  EXPECT_EQ(levels->domainMode, "Windows 2000 Domain Mode");
  EXPECT_EQ(levels->forestMode, "Windows Server 2003 Interim Forest Mode");
  EXPECT_EQ(levels->dcMode, "Windows Longhorn Functional Mode");
  auto outside = Classified({kCapActiveDirectoryV51}, 4, -1, 7);
  EXPECT_EQ(outside->domainMode, "");
  EXPECT_EQ(outside->forestMode, "");
  EXPECT_EQ(outside->dcMode, "");
}

TEST(ApplicationDefaultContext, PicksTheContextThatIsNoneOfTheOthers) {
  auto dse = Classified({kCapApplicationMode});
  dse->configurationNamingContext = "CN=Configuration,CN={X}";
  dse->schemaNamingContext = "CN=Schema,CN=Configuration,CN={X}";
  dse->namingContexts = {"CN=Schema,CN=Configuration,CN={X}", "O=App", "CN=Configuration,CN={X}"};
  dse->namingContextCount = 3;
  dse->PickApplicationDefaultContext();
  EXPECT_EQ(dse->defaultNamingContext, "O=App");

  // A context differing only in letter case counts as different.
  auto cased = Classified({kCapApplicationMode});
  cased->configurationNamingContext = "CN=Configuration,CN={X}";
  cased->schemaNamingContext = "CN=Schema,CN=Configuration,CN={X}";
  cased->namingContexts = {"cn=configuration,cn={x}", "O=App", "CN=Schema,CN=Configuration,CN={X}"};
  cased->namingContextCount = 3;
  cased->PickApplicationDefaultContext();
  EXPECT_EQ(cased->defaultNamingContext, "cn=configuration,cn={x}");

  auto four = Classified({kCapApplicationMode});
  four->namingContexts = {"A", "B", "C", "D"};
  four->namingContextCount = 4;
  four->PickApplicationDefaultContext();
  EXPECT_EQ(four->defaultNamingContext, "");

  auto notAdam = Classified({kCapActiveDirectory});
  notAdam->namingContexts = {"A", "B", "C"};
  notAdam->namingContextCount = 3;
  notAdam->PickApplicationDefaultContext();
  EXPECT_EQ(notAdam->defaultNamingContext, "");
}

TEST(RootDse, FailedSearchPrintsTheSearchLines) {
  // Nothing listens on the discard port.
  plat::LDAP* ld = plat::ldap_sslinit("127.0.0.1", 9, 0);
  ASSERT_NE(ld, nullptr);
  testing::internal::CaptureStderr();
  CRootDSE dse(ld);
  std::string err = testing::internal::GetCapturedStderr();
  plat::ldap_unbind(ld);
  EXPECT_FALSE(dse.valid);
  EXPECT_EQ(err, std::string("LDAP_SEARCH_S: 0x51\nLDAP_SEARCH_S: ") + plat::ldap_err2string(0x51) + "\n\n");
}

// --- The read, against a scripted server -------------------------------------

class RootDseReadTest : public ScriptedServerTest {
 protected:
  void TearDown() override {
    g_Debug = false;
    ScriptedServerTest::TearDown();
  }
};

TEST_F(RootDseReadTest, FieldsFromTheEntryAndTheApplicationModeDefault) {
  ScriptedLdapServer server({[](int64_t id) {
    return EntryMessage(
               id, "",
               {{"configurationNamingContext", {"CN=Configuration,CN={X}"}},
                {"schemaNamingContext", {"CN=Schema,CN=Configuration,CN={X}"}},
                {"namingContexts", {"CN=Configuration,CN={X}", "O=App", "CN=Schema,CN=Configuration,CN={X}"}},
                {"supportedCapabilities",
                 {kCapApplicationMode, kCapActiveDirectoryV51, kCapApplicationMode}},
                {"dnsHostName", {"first.example", "second.example"}},
                {"dsServiceName", {"CN=NTDS Settings"}},
                {"highestCommittedUsn", {"12345"}},
                {"ldapServiceName", {"svc"}},
                {"serverName", {"CN=Server"}},
                {"currentTime", {"20261209051500.0Z"}},
                {"domainFunctionality", {"2"}},
                {"forestFunctionality", {"not a number"}},
                {"domainControllerFunctionality", {"4"}},
                {"dsaVersionString", {"1.0"}},
                {"msDS-PrincipalName", {"X\\me"}}}) +
           DoneMessage(id, 0, "", false);
  }});
  g_Debug = true;
  testing::internal::CaptureStdout();
  CRootDSE dse(Connect(server));
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out, "DEBUG: Entering CRootDSE...\nDEBUG: Leaving CRootDSE.\n");
  ASSERT_TRUE(dse.valid);
  EXPECT_EQ(dse.defaultNamingContext, "O=App");  // the one context that is none of the others
  EXPECT_EQ(dse.rootDomainNamingContext, "");
  EXPECT_EQ(dse.serverType, "Windows Server 2003");
  EXPECT_TRUE(dse.isADAM);
  EXPECT_EQ(dse.namingContextCount, 3u);
  EXPECT_EQ(dse.namingContexts,
            (std::vector<std::string>{"CN=Configuration,CN={X}", "O=App", "CN=Schema,CN=Configuration,CN={X}"}));
  EXPECT_EQ(dse.supportedCapabilities.size(), 2u);  // a repeated value is a member once
  EXPECT_EQ(dse.dnsHostName, "first.example");     // the first value
  EXPECT_EQ(dse.dsServiceName, "CN=NTDS Settings");
  EXPECT_EQ(dse.highestCommittedUsn, "12345");
  EXPECT_EQ(dse.ldapServiceName, "svc");
  EXPECT_EQ(dse.serverName, "CN=Server");
  EXPECT_EQ(dse.currentTime, "20261209051500.0Z");
  EXPECT_EQ(dse.dsaVersionString, "1.0");
  EXPECT_EQ(dse.msDSPrincipalName, "X\\me");
  EXPECT_EQ(dse.domainFunctionality, 2);
  EXPECT_EQ(dse.forestFunctionality, 0);
  EXPECT_EQ(dse.domainControllerFunctionality, 4);
  EXPECT_EQ(dse.domainMode, "Windows Server 2003 Domain Mode");
  EXPECT_EQ(dse.forestMode, "Windows 2000 Forest Mode");
  EXPECT_EQ(dse.dcMode, "");

  std::vector<ScriptedLdapServer::Search> seen = server.searches();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].base, "");
  EXPECT_EQ(seen[0].scope, 0);
  EXPECT_FALSE(seen[0].attrsOnly);
  EXPECT_EQ(seen[0].attrs, (std::vector<std::string>{"*", "dsaVersionString", "msDS-PrincipalName"}));
}

TEST_F(RootDseReadTest, ASearchWithoutAnEntryIsStillValid) {
  ScriptedLdapServer server({[](int64_t id) { return DoneMessage(id, 0, "", false); }});
  CRootDSE dse(Connect(server));
  EXPECT_TRUE(dse.valid);
  EXPECT_EQ(dse.defaultNamingContext, "");
  EXPECT_EQ(dse.serverType, "");
  EXPECT_EQ(dse.namingContextCount, 0u);
  EXPECT_TRUE(dse.namingContexts.empty());
}

TEST_F(RootDseReadTest, ARefusedSearchGivesTheSearchLinesAndNoLeavingLine) {
  ScriptedLdapServer server({[](int64_t id) { return DoneMessage(id, 0x32, "", false, "no rights"); }});
  g_Debug = true;
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  CRootDSE dse(Connect(server));
  std::string out = testing::internal::GetCapturedStdout();
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_FALSE(dse.valid);
  EXPECT_EQ(out, "DEBUG: Entering CRootDSE...\n");
  EXPECT_EQ(err, std::string("LDAP_SEARCH_S: 0x32\nLDAP_SEARCH_S: ") + plat::ldap_err2string(0x32) + "\n\n");
}

TEST_F(RootDseReadTest, AReadThatGetsNoAnswerEndsWithTheWaitLimit) {
  ScriptedLdapServer server({});
  server.StallAtSearch(0);
  plat::LDAP* ld = Connect(server);
  ULONG one = 1;
  plat::ldap_set_option(ld, plat::LDAP_OPT_WAIT_LIMIT, &one);
  testing::internal::CaptureStderr();
  CRootDSE dse(ld);
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_FALSE(dse.valid);
  EXPECT_EQ(err, std::string("LDAP_SEARCH_S: 0x55\nLDAP_SEARCH_S: ") + plat::ldap_err2string(0x55) + "\n\n");
}

}  // namespace
