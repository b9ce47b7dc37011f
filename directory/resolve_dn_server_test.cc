#include "directory/resolve_dn.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/string_util.h"
#include "directory/connection.h"
#include "directory/test_server_env.h"
#include "platform/ldap_client.h"
#include "platform/sid.h"

namespace {

class ResolveDnServerTest : public testing::Test {
 protected:
  void SetUp() override {
    SKIP_WITHOUT_TEST_SERVERS();
    ld_ = OpenTestDcAsUser();
    ASSERT_NE(ld_, nullptr);
  }
  void TearDown() override {
    if (ld_ != nullptr) plat::ldap_unbind(ld_);
  }
  // The SID text of an object, read from its objectSid.
  std::string SidOf(const std::string& dn) {
    std::vector<BYTE> sid = ObjectSidOf(ld_, dn);
    std::string text;
    if (!sid.empty()) plat::ConvertSidToStringSidA(sid.data(), sid.size(), &text);
    return text;
  }
  plat::LDAP* ld_ = nullptr;
};

TEST_F(ResolveDnServerTest, SidFormGivesTheObjectsDn) {
  std::string dn = TestEnv("QUELBY_TEST_USER_DN");
  std::string sid = SidOf(dn);
  ASSERT_EQ(sid.rfind("S-1-5-21-", 0), 0u) << sid;
  EXPECT_EQ(StrToLower(ResolveDN(ld_, "<SID=" + sid + ">")), StrToLower(dn));
}

TEST_F(ResolveDnServerTest, UnknownObjectsComeBackUnchanged) {
  std::string missing = "CN=Nobody Here," + TestEnv("QUELBY_TEST_BASE");
  EXPECT_EQ(ResolveDN(ld_, missing), missing);
  EXPECT_EQ(ResolveDN(ld_, "<SID=S-1-5-21-1-2-3-999999>"), "<SID=S-1-5-21-1-2-3-999999>");
  EXPECT_EQ(ResolveDN(nullptr, "CN=x"), "CN=x");
}

}  // namespace
