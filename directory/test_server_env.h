// Settings of the loopback test servers for the server tests, read from the
// environment that the servers' env.sh exports.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "directory/connection.h"
#include "platform/ldap_client.h"

// The variable's value, or "" when unset.
inline std::string TestEnv(const char* name) {
  const char* v = std::getenv(name);
  return v != nullptr ? v : "";
}

// Skips the calling test when no test servers were started.
#define SKIP_WITHOUT_TEST_SERVERS()                                              \
  do {                                                                           \
    if (std::getenv("QUELBY_TEST_SERVERS") == nullptr) {                         \
      GTEST_SKIP() << "QUELBY_TEST_SERVERS is not set (source STATEDIR/env.sh)"; \
    }                                                                            \
  } while (0)

// A connection to the test DC, simply bound as the test user; null when
// that fails.
inline plat::LDAP* OpenTestDcAsUser() {
  std::string host = TestEnv("QUELBY_TEST_DC_HOST");
  return OpenLDAP(host.c_str(), 0, false, true, false, TestEnv("QUELBY_TEST_USER_DN"),
                  TestEnv("QUELBY_TEST_USER_PASSWORD"), true, false, false, false, false);
}

// The binary objectSid of the object at dn; empty when it cannot be read.
inline std::vector<BYTE> ObjectSidOf(plat::LDAP* ld, const std::string& dn) {
  const char* attrs[] = {"objectSid", nullptr};
  plat::LDAPMessage* res = nullptr;
  std::vector<BYTE> sid;
  if (plat::ldap_search_s(ld, dn.c_str(), plat::LDAP_SCOPE_BASE, "(objectClass=*)", attrs, 0, &res) == 0) {
    plat::berval** v = plat::ldap_get_values_len(ld, plat::ldap_first_entry(ld, res), "objectSid");
    if (v != nullptr && v[0] != nullptr) sid.assign(v[0]->bv_val, v[0]->bv_val + v[0]->bv_len);
    plat::ldap_value_free_len(v);
  }
  plat::ldap_msgfree(res);
  return sid;
}
