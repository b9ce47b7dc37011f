// The general value printer against real entries of the test domain controller
// (scripts/servers/start.sh; its env.sh must be sourced).
#include "values/value_printer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <sstream>

#include "common/process_state.h"
#include "platform/ldap_client.h"

namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v == nullptr ? "" : v;
}

// One bound connection to the DC for the whole suite.
class PrinterServerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (Env("QUELBY_TEST_SERVERS") != "1") return;
    ld_ = plat::ldap_sslinit(Env("QUELBY_TEST_IP").c_str(), plat::LDAP_PORT, 0);
    ASSERT_NE(ld_, nullptr);
    ULONG version = plat::LDAP_VERSION3;
    plat::ldap_set_option(ld_, plat::LDAP_OPT_PROTOCOL_VERSION, &version);
    ASSERT_EQ(plat::ldap_simple_bind_s(ld_, Env("QUELBY_TEST_ADMIN_DN").c_str(),
                                       Env("QUELBY_TEST_ADMIN_PASSWORD").c_str()),
              plat::LDAP_SUCCESS);
  }
  static void TearDownTestSuite() {
    plat::ldap_unbind(ld_);
    ld_ = nullptr;
  }
  void SetUp() override {
    if (ld_ == nullptr) GTEST_SKIP() << "test servers not running (source their env.sh)";
    Reset();
  }
  void TearDown() override {
    Reset();
    if (res_ != nullptr) plat::ldap_msgfree(res_);
    res_ = nullptr;
  }
  static void Reset() {
    g_TimeAttributes.clear();
    g_GenTimeAttributes.clear();
    g_BinaryAttributes.clear();
    g_MvFilterMap.clear();
    g_MvNotFilterMap.clear();
    g_MvFilterOn = g_MvNotFilterOn = g_MvFilterCaseSensitive = false;
    g_Utc = g_TimesSortable = g_GenTimesSortable = false;
  }

  // Base search of dn for the attributes; returns the entry.
  plat::LDAPMessage* Read(const std::string& dn, std::vector<const char*> attrs) {
    attrs.push_back(nullptr);
    if (res_ != nullptr) plat::ldap_msgfree(res_);
    res_ = nullptr;
    EXPECT_EQ(plat::ldap_search_s(ld_, dn.c_str(), plat::LDAP_SCOPE_BASE, "(objectClass=*)",
                                  attrs.data(), 0, &res_),
              plat::LDAP_SUCCESS);
    plat::LDAPMessage* entry = plat::ldap_first_entry(ld_, res_);
    EXPECT_NE(entry, nullptr);
    return entry;
  }

  std::string Print(plat::LDAPMessage* entry, const std::string& rawName,
                    const std::string& attrName, bool isDn = false, bool noLabel = false,
                    const std::vector<std::string>* from = nullptr,
                    const std::map<std::string, std::string>* to = nullptr) {
    std::string out;
    PrintAttributeValues(rawName, attrName, ld_, entry, noLabel, false, &out, isDn, from, to);
    return out;
  }

  static std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

  static plat::LDAP* ld_;
  plat::LDAPMessage* res_ = nullptr;
};
plat::LDAP* PrinterServerTest::ld_ = nullptr;

TEST_F(PrinterServerTest, PlainValuesOneLabelledLineEach) {
  plat::LDAPMessage* e = Read(Env("QUELBY_TEST_USER_DN"), {"cn", "sAMAccountName"});
  EXPECT_EQ(Print(e, "samaccountname", "sAMAccountName"),
            ">sAMAccountName: " + Env("QUELBY_TEST_USER") + "\n");
  EXPECT_EQ(Print(e, "samaccountname", "sAMAccountName", false, true), Env("QUELBY_TEST_USER") + "\n");
  EXPECT_EQ(Print(e, "nosuchattribute", "noSuchAttribute"), "");
}

TEST_F(PrinterServerTest, DnValuesWithReplacementAndFilters) {
  plat::LDAPMessage* e = Read(Env("QUELBY_TEST_USER_DN"), {"memberOf"});
  std::vector<std::string> from{Env("QUELBY_TEST_BASE")};
  std::map<std::string, std::string> to{{from[0], "<ROOT>"}};
  std::vector<std::string> lines = Lines(Print(e, "memberof", "memberOf", true, false, &from, &to));
  ASSERT_EQ(lines.size(), 3u);  // the test user is in three groups
  for (const std::string& line : lines) {
    EXPECT_EQ(line.rfind(">memberOf: CN=", 0), 0u) << line;
    EXPECT_NE(line.find(",<ROOT>"), std::string::npos) << line;
    EXPECT_EQ(line.find("DC=quelby"), std::string::npos) << line;
  }
  // A show filter that names the attribute keeps only the matching values;
  // a show filter for another attribute leaves this one alone.
  std::string firstGroup = lines[0].substr(std::string(">memberOf: ").size());
  firstGroup = firstGroup.substr(3, firstGroup.find(',') - 3);  // the group's cn
  std::string lower;
  for (char c : firstGroup) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  g_MvFilterOn = true;
  g_MvFilterMap["memberof"] = "cn=" + lower + ",";
  EXPECT_EQ(Lines(Print(e, "memberof", "memberOf", true)).size(), 1u);
  g_MvFilterMap.clear();
  g_MvFilterMap["description"] = "zzz-nothing";
  EXPECT_EQ(Lines(Print(e, "memberof", "memberOf", true)).size(), 3u);
  // A NOT filter drops the matching value without leaving an empty line.
  g_MvFilterOn = false;
  g_MvNotFilterOn = true;
  g_MvNotFilterMap["memberof"] = "cn=" + lower + ",";
  std::string out = Print(e, "memberof", "memberOf", true);
  EXPECT_EQ(Lines(out).size(), 2u);
  EXPECT_EQ(out.find("\n\n"), std::string::npos);
}

TEST_F(PrinterServerTest, RangedValuesPrintUnderTheNameWithoutRange) {
  plat::LDAPMessage* e = Read(Env("QUELBY_TEST_BIG_GROUP_DN"), {"member;range=0-99"});
  // The server names the attribute by the range it sent.
  plat::BerElement* walk = nullptr;
  char* name = plat::ldap_first_attribute(ld_, e, &walk);
  ASSERT_NE(name, nullptr);
  std::string ranged = name;
  plat::ldap_memfree(name);
  plat::ber_free(walk, 0);
  for (char& c : ranged) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  ASSERT_EQ(ranged, "member;range=0-99");
  std::vector<std::string> lines = Lines(Print(e, ranged, "member", true));
  ASSERT_EQ(lines.size(), 100u);
  for (const std::string& line : lines) EXPECT_EQ(line.rfind(">member: CN=", 0), 0u) << line;
}

TEST_F(PrinterServerTest, RangedBinaryValuesAreFetchedUnderTheirRangedName) {
  plat::LDAPMessage* e = Read(Env("QUELBY_TEST_BIG_GROUP_DN"), {"member;range=0-9"});
  g_BinaryAttributes["member"] = 1;
  // The entry holds only "member;range=0-9": the binary values are found under
  // that name and dumped, not printed as text.
  std::vector<std::string> lines = Lines(Print(e, "member;range=0-9", "member", true));
  ASSERT_EQ(lines.size(), 10u);
  for (const std::string& line : lines) {
    EXPECT_EQ(line.rfind(">member: 434E 3D", 0), 0u) << line;  // "CN=" in hex
  }
}

TEST_F(PrinterServerTest, TimesAsDatesAgainstAnIndependentConversion) {
  plat::LDAPMessage* e = Read(Env("QUELBY_TEST_USER_DN"), {"pwdLastSet", "whenCreated"});
  char** raw = plat::ldap_get_values(ld_, e, "pwdlastset");
  ASSERT_NE(raw, nullptr);
  const long long count = std::atoll(raw[0]);
  plat::ldap_value_free(raw);
  ASSERT_GT(count, 0);
  // Without the time table the raw number prints.
  EXPECT_EQ(Print(e, "pwdlastset", "pwdLastSet"), ">pwdLastSet: " + std::to_string(count) + "\n");

  std::time_t secs = static_cast<std::time_t>(count / 10000000LL - 11644473600LL);
  std::tm tm{};
  gmtime_r(&secs, &tm);
  char want[64];
  std::strftime(want, sizeof want, "%m/%d/%Y-%H:%M:%S Coordinated Universal Time", &tm);
  char wantIso[64];
  std::strftime(wantIso, sizeof wantIso, "%Y/%m/%d-%H:%M:%S Coordinated Universal Time", &tm);
  g_TimeAttributes["pwdLastSet"] = 1;
  g_Utc = true;
  EXPECT_EQ(Print(e, "pwdlastset", "pwdLastSet"), std::string(">pwdLastSet: ") + want + "\n");
  g_TimesSortable = true;
  EXPECT_EQ(Print(e, "pwdlastset", "pwdLastSet"), std::string(">pwdLastSet: ") + wantIso + "\n");

  raw = plat::ldap_get_values(ld_, e, "whencreated");
  ASSERT_NE(raw, nullptr);
  const std::string gt = raw[0];  // YYYYMMDDhhmmss.0Z
  plat::ldap_value_free(raw);
  g_GenTimeAttributes["whenCreated"] = 1;
  EXPECT_EQ(Print(e, "whencreated", "whenCreated"),
            ">whenCreated: " + gt.substr(4, 2) + "/" + gt.substr(6, 2) + "/" + gt.substr(0, 4) +
                "-" + gt.substr(8, 2) + ":" + gt.substr(10, 2) + ":" + gt.substr(12, 2) +
                " Coordinated Universal Time\n");
}

TEST_F(PrinterServerTest, BinaryAttributeIsHexDumped) {
  plat::LDAPMessage* e = Read(Env("QUELBY_TEST_USER_DN"), {"objectGUID"});
  plat::berval** vals = plat::ldap_get_values_len(ld_, e, "objectGUID");
  ASSERT_NE(vals, nullptr);
  ASSERT_EQ(vals[0]->bv_len, 16u);
  std::string want = ">objectGUID: ";
  char pair[8];
  for (int i = 0; i < 16; i += 2) {
    std::snprintf(pair, sizeof pair, "%.2X%.2X ", static_cast<unsigned char>(vals[0]->bv_val[i]),
                  static_cast<unsigned char>(vals[0]->bv_val[i + 1]));
    want += pair;
  }
  plat::ldap_value_free_len(vals);
  g_BinaryAttributes["objectGUID"] = 1;
  EXPECT_EQ(Print(e, "objectguid", "objectGUID"), want + "\n");
}

}  // namespace
