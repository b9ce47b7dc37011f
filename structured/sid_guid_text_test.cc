#include "structured/sid_guid_text.h"

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "common/console_services.h"
#include "common/process_state.h"
#include "directory/ldap_client_warm_up.h"
#include "directory/root_dse.h"
#include "directory/scripted_ldap_server.h"
#include "directory/sid_account_lookup.h"
#include "platform/sid.h"

namespace {

std::vector<BYTE> Sid(const char* text) {
  std::vector<BYTE> sid;
  EXPECT_TRUE(plat::ConvertStringSidToSidA(text, &sid)) << text;
  return sid;
}

int g_lookups = 0;
std::string g_lastServer;

// Names S-1-5-21-1-2-3-500 only; counts every question.
int CountingLookup(const std::string& server, const void* sid, std::string* domain,
                   std::string* name) {
  ++g_lookups;
  g_lastServer = server;
  std::string text;
  if (plat::ConvertSidToStringSidA(sid, &text) && text == "S-1-5-21-1-2-3-500") {
    *domain = "ACC";
    *name = "Administrator";
    return 1;
  }
  return 0;
}

class SidGuidTextTest : public ::testing::Test {
 protected:
  void SetUp() override { Reset(); }
  void TearDown() override {
    Reset();
    SetSidAccountLookup(nullptr);
  }
  static void Reset() {
    g_ResolveSids = false;
    g_ResolveSidsViaLdap = false;
    g_SidBinaryOut = false;
    g_GuidBinaryOut = false;
    g_SidNameCache.clear();
    g_SidLookupServer.clear();
    g_RootDse = nullptr;
    g_LdapSession = nullptr;
    g_lookups = 0;
    g_lastServer = "none";
  }
};

const BYTE kGuid[16] = {0x04, 0x03, 0x02, 0x01, 0x06, 0x05, 0x08, 0x07,
                        0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0xF0};

TEST_F(SidGuidTextTest, GuidBracedOrStorageOrderHex) {
  EXPECT_EQ(GuidToText(kGuid), "{01020304-0506-0708-090A-0B0C0D0E0FF0}");
  EXPECT_EQ(GuidToText(kGuid, 16), "{01020304-0506-0708-090A-0B0C0D0E0FF0}");
  g_GuidBinaryOut = true;
  EXPECT_EQ(GuidToText(kGuid), "0403020106050807090a0b0c0d0e0ff0");
  EXPECT_EQ(GuidToText(kGuid, 16), "0403020106050807090a0b0c0d0e0ff0");
}

TEST_F(SidGuidTextTest, GuidOfWrongLengthIsShownAsItsBytes) {
  EXPECT_EQ(GuidToText(kGuid, 3), "040302");
  EXPECT_EQ(GuidToText(kGuid, 0), "");
}

TEST_F(SidGuidTextTest, SidTextWithoutResolutionMakesNoLookup) {
  SetSidAccountLookup(CountingLookup);
  std::vector<BYTE> sid = Sid("S-1-5-21-1-2-3-500");
  EXPECT_EQ(SidToText(sid.data(), sid.size()), "S-1-5-21-1-2-3-500");
  EXPECT_EQ(SidToText(sid.data()), "S-1-5-21-1-2-3-500");
  EXPECT_EQ(g_lookups, 0);
}

TEST_F(SidGuidTextTest, SidBinaryOutIsHexOfAllBytesUnresolved) {
  SetSidAccountLookup(CountingLookup);
  g_ResolveSids = true;
  g_SidBinaryOut = true;
  std::vector<BYTE> sid = Sid("S-1-5-32-544");
  ASSERT_EQ(sid.size(), 16u);  // 8 + 4 per sub-authority
  EXPECT_EQ(SidToText(sid.data(), sid.size()), "01020000000000052000000020020000");
  EXPECT_EQ(g_lookups, 0);
}

TEST_F(SidGuidTextTest, ValueThatIsNoSidIsShownAsItsBytes) {
  const BYTE truncated[] = {0x01, 0x05, 0, 0, 0, 0, 0, 5, 0x15, 0, 0, 0};  // says 5 subs, has 1
  EXPECT_EQ(SidToText(truncated, sizeof truncated), "010500000000000515000000");
  const BYTE badRevision[] = {0x02, 0x00, 0, 0, 0, 0, 0, 5};
  EXPECT_EQ(SidToText(badRevision, sizeof badRevision), "0200000000000005");
  EXPECT_EQ(SidToText(badRevision, 0), "");
}

TEST_F(SidGuidTextTest, ResolvedOnceThenFromTheCache) {
  SetSidAccountLookup(CountingLookup);
  g_ResolveSids = true;
  g_SidLookupServer = "dc1.acc.test";
  std::vector<BYTE> sid = Sid("S-1-5-21-1-2-3-500");
  EXPECT_EQ(SidToText(sid.data(), sid.size()), "ACC\\Administrator");
  EXPECT_EQ(g_lastServer, "dc1.acc.test");
  EXPECT_EQ(SidToText(sid.data(), sid.size()), "ACC\\Administrator");
  EXPECT_EQ(g_lookups, 1);
  EXPECT_EQ(g_SidNameCache["S-1-5-21-1-2-3-500"], "ACC\\Administrator");
}

TEST_F(SidGuidTextTest, UnresolvedDomainSidStaysTextAndIsNotCached) {
  SetSidAccountLookup(CountingLookup);
  g_ResolveSids = true;
  EXPECT_EQ(ResolveSidName("S-1-5-21-1-2-3-1104", nullptr), "S-1-5-21-1-2-3-1104");
  EXPECT_EQ(ResolveSidName("S-1-5-21-1-2-3-1104", nullptr), "S-1-5-21-1-2-3-1104");
  // Domain SIDs are not tried on the local computer: one question per call.
  EXPECT_EQ(g_lookups, 2);
  EXPECT_TRUE(g_SidNameCache.empty());
}

TEST_F(SidGuidTextTest, WellKnownSidFromTextAlone) {
  g_ResolveSids = true;
  EXPECT_EQ(ResolveSidName("S-1-5-18", nullptr), "NT AUTHORITY\\SYSTEM");
  EXPECT_EQ(g_SidNameCache.count("S-1-5-18"), 1u);
}

TEST_F(SidGuidTextTest, LogonSessionLabelIsCached) {
  SetSidAccountLookup(CountingLookup);
  g_ResolveSids = true;
  EXPECT_EQ(ResolveSidName("S-1-5-5-0-12345", nullptr), "Logon Session (S-1-5-5-0-12345)");
  EXPECT_EQ(g_SidNameCache["S-1-5-5-0-12345"], "Logon Session (S-1-5-5-0-12345)");
  const int asked = g_lookups;
  EXPECT_EQ(ResolveSidName("S-1-5-5-0-12345", nullptr), "Logon Session (S-1-5-5-0-12345)");
  EXPECT_EQ(g_lookups, asked);
  // S-1-5-50 and above are no logon sessions.
  EXPECT_EQ(ResolveSidName("S-1-5-50-7", nullptr), "S-1-5-50-7");
  EXPECT_EQ(ResolveSidName("S-1-5-51", nullptr), "S-1-5-51");
  EXPECT_EQ(g_SidNameCache.count("S-1-5-50-7"), 0u);
}

TEST_F(SidGuidTextTest, TextThatIsNoSidComesBackUnchanged) {
  g_ResolveSids = true;
  EXPECT_EQ(ResolveSidName("not-a-sid", nullptr), "not-a-sid");
  EXPECT_TRUE(g_SidNameCache.empty());
}

// Last in this file: after it the directory is not asked again in this process.
TEST_F(SidGuidTextTest, ASidSearchWithoutAnswerCostsOneWaitForEveryRoute) {
  ScriptedLdapServer server({});
  server.StallAtSearch(0);
  plat::LDAP* ld = plat::ldap_sslinit("127.0.0.1", static_cast<ULONG>(server.port()), 0);
  ASSERT_NE(ld, nullptr);
  ULONG two = 2;
  plat::ldap_set_option(ld, plat::LDAP_OPT_WAIT_LIMIT, &two);
  WarmUpLdapClient();
  CRootDSE root(nullptr);
  root.isADV51 = true;  // "<SID=...>" DNs asked for first (-resolvesidsldap)
  g_RootDse = &root;
  g_LdapSession = ld;
  g_ResolveSids = g_ResolveSidsViaLdap = true;
  InstallDirectorySidLookup();
  testing::internal::CaptureStderr();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(ResolveSidName("S-1-5-21-1-2-3-500", nullptr), "S-1-5-21-1-2-3-500");
  EXPECT_EQ(ResolveSidName("S-1-5-21-1-2-3-501", nullptr), "S-1-5-21-1-2-3-501");
  // Neither the account route nor the next SID waits again.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(3500));
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(err.find('\n'), err.size() - 1) << err;
  EXPECT_EQ(DirectoryLookupFailure(), plat::LDAP_TIMEOUT);
  Reset();
  plat::ldap_unbind(ld);
}

}  // namespace
