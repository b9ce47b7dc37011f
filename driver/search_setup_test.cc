#include "driver/search_setup.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/ldap_client.h"

namespace {

std::string Bytes(const plat::LDAPControl* c) {
  return std::string(c->ldctl_value.bv_val, c->ldctl_value.bv_len);
}

void Free(plat::LDAPControl* c) {
  if (c->ldctl_value.bv_len != 0) delete[] c->ldctl_value.bv_val;
  delete c;
}

TEST(SearchSetup, ScopeText) {
  EXPECT_EQ(SearchScopeOf(""), 2);
  EXPECT_EQ(SearchScopeOf("base"), 0);
  EXPECT_EQ(SearchScopeOf("onelevel"), 1);
  EXPECT_EQ(SearchScopeOf("one"), 1);
  EXPECT_EQ(SearchScopeOf("sub"), 2);
  EXPECT_EQ(SearchScopeOf("xyz"), 2);
  EXPECT_EQ(SearchScopeOf("baseone"), 0);
}

TEST(SearchSetup, ControlValuesAreDerEncoded) {
  plat::LDAPControl* flags = MakeIntegerControl("1.2.840.113556.1.4.801", 15);
  ASSERT_NE(flags, nullptr);
  EXPECT_EQ(Bytes(flags), std::string("\x30\x03\x02\x01\x0f", 5));
  EXPECT_EQ(flags->ldctl_iscritical, 1);
  EXPECT_STREQ(flags->ldctl_oid, "1.2.840.113556.1.4.801");
  Free(flags);

  plat::LDAPControl* phantom = MakeIntegerControl("1.2.840.113556.1.4.1340", 2);
  EXPECT_EQ(Bytes(phantom), std::string("\x30\x03\x02\x01\x02", 5));
  Free(phantom);

  plat::LDAPControl* asq = MakeTextControl("1.2.840.113556.1.4.1504", "member");
  EXPECT_EQ(Bytes(asq), std::string("\x30\x08\x04\x06member", 10));
  Free(asq);

  plat::LDAPControl* bare = MakeControl("1.2.840.113556.1.4.417");
  EXPECT_EQ(bare->ldctl_value.bv_len, 0u);
  EXPECT_EQ(bare->ldctl_value.bv_val, nullptr);
  EXPECT_EQ(bare->ldctl_iscritical, 1);
  Free(bare);
}

}  // namespace
