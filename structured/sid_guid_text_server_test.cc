// objectSid and objectGUID text checked against Samba's own decoding of the
// same object (ldbsearch), on the test domain controller.
#include "structured/sid_guid_text.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <map>

#include "common/process_state.h"
#include "platform/ldap_client.h"

namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v == nullptr ? "" : v;
}

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// "name: value" lines of ldbsearch for one object.
std::map<std::string, std::string> LdbSearch(const std::string& dn) {
  std::string cmd = "ldbsearch -H ldap://" + Quote(Env("QUELBY_TEST_IP")) + " --simple-bind-dn=" +
                    Quote(Env("QUELBY_TEST_ADMIN_DN")) + " --password=" +
                    Quote(Env("QUELBY_TEST_ADMIN_PASSWORD")) + " -s base -b " + Quote(dn) +
                    " objectSid objectGUID 2>&1";
  std::map<std::string, std::string> fields;
  FILE* p = popen(cmd.c_str(), "r");
  if (p == nullptr) return fields;
  std::array<char, 4096> buf;
  while (std::fgets(buf.data(), buf.size(), p) != nullptr) {
    std::string line = buf.data();
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    size_t colon = line.find(": ");
    if (colon != std::string::npos) fields[line.substr(0, colon)] = line.substr(colon + 2);
  }
  pclose(p);
  return fields;
}

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

TEST(SidGuidTextServer, ObjectSidAndGuidMatchSambasDecoding) {
  if (Env("QUELBY_TEST_SERVERS") != "1") GTEST_SKIP() << "test servers not running";
  g_ResolveSids = g_SidBinaryOut = g_GuidBinaryOut = false;
  plat::LDAP* ld = plat::ldap_sslinit(Env("QUELBY_TEST_IP").c_str(), plat::LDAP_PORT, 0);
  ASSERT_NE(ld, nullptr);
  ULONG version = plat::LDAP_VERSION3;
  plat::ldap_set_option(ld, plat::LDAP_OPT_PROTOCOL_VERSION, &version);
  ASSERT_EQ(plat::ldap_simple_bind_s(ld, Env("QUELBY_TEST_ADMIN_DN").c_str(),
                                     Env("QUELBY_TEST_ADMIN_PASSWORD").c_str()),
            plat::LDAP_SUCCESS);

  for (const char* var : {"QUELBY_TEST_USER_DN", "QUELBY_TEST_ADMIN_DN", "QUELBY_TEST_COMPUTER_DN",
                          "QUELBY_TEST_BIG_GROUP_DN"}) {
    const std::string dn = Env(var);
    SCOPED_TRACE(dn);
    const char* attrs[] = {"objectSid", "objectGUID", nullptr};
    plat::LDAPMessage* res = nullptr;
    ASSERT_EQ(plat::ldap_search_s(ld, dn.c_str(), plat::LDAP_SCOPE_BASE, "(objectClass=*)", attrs,
                                  0, &res),
              plat::LDAP_SUCCESS);
    plat::LDAPMessage* e = plat::ldap_first_entry(ld, res);
    ASSERT_NE(e, nullptr);
    plat::berval** sid = plat::ldap_get_values_len(ld, e, "objectSid");
    plat::berval** guid = plat::ldap_get_values_len(ld, e, "objectGUID");
    ASSERT_NE(sid, nullptr);
    ASSERT_NE(guid, nullptr);
    const std::string sidText = SidToText(sid[0]->bv_val, sid[0]->bv_len);
    const std::string guidText = GuidToText(guid[0]->bv_val, guid[0]->bv_len);
    plat::ldap_value_free_len(sid);
    plat::ldap_value_free_len(guid);
    plat::ldap_msgfree(res);

    std::map<std::string, std::string> samba = LdbSearch(dn);
    ASSERT_EQ(samba.count("objectSid"), 1u) << "ldbsearch gave no objectSid";
    ASSERT_EQ(samba.count("objectGUID"), 1u);
    EXPECT_EQ(sidText, samba["objectSid"]);
    EXPECT_EQ(sidText.rfind("S-1-5-21-", 0), 0u);
    EXPECT_EQ(guidText, "{" + Upper(samba["objectGUID"]) + "}");
  }
  plat::ldap_unbind(ld);
}

}  // namespace
