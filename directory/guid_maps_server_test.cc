#include "directory/guid_maps.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>

#include "common/zqtimer.h"
#include "directory/connection.h"
#include "directory/root_dse.h"
#include "directory/test_server_env.h"
#include "platform/ldap_client.h"

namespace {

class GuidMapsServerTest : public testing::Test {
 protected:
  void SetUp() override {
    SKIP_WITHOUT_TEST_SERVERS();
    ld_ = OpenTestDcAsUser();
    ASSERT_NE(ld_, nullptr);
    dse_ = std::make_unique<CRootDSE>(ld_);
    ASSERT_TRUE(dse_->valid);
  }
  void TearDown() override {
    if (ld_ != nullptr) plat::ldap_unbind(ld_);
  }
  // The directory's own display name of the right (servers word it differently).
  std::string DisplayNameOfResetPassword() {
    std::string dn = "CN=User-Force-Change-Password,CN=Extended-Rights," + dse_->configurationNamingContext;
    const char* attrs[] = {"displayName", nullptr};
    plat::LDAPMessage* res = nullptr;
    std::string name;
    if (plat::ldap_search_s(ld_, dn.c_str(), plat::LDAP_SCOPE_BASE, "(objectClass=*)", attrs, 0, &res) == 0) {
      char** v = plat::ldap_get_values(ld_, plat::ldap_first_entry(ld_, res), "displayName");
      if (v != nullptr && v[0] != nullptr) name = v[0];
      plat::ldap_value_free(v);
    }
    plat::ldap_msgfree(res);
    EXPECT_FALSE(name.empty());
    return name;
  }
  plat::LDAP* ld_ = nullptr;
  std::unique_ptr<CRootDSE> dse_;
  CZQTimer timer_{"OVERALL"};
};

// The user class's schemaIDGUID and the Reset Password right's GUID are the
// same in every Active Directory schema.
constexpr char kUserClassGuid[] = "{BF967ABA-0DE6-11D0-A285-00AA003049E2}";
constexpr char kResetPasswordGuid[] = "{00299570-246D-11D0-A768-00AA006E0529}";

TEST_F(GuidMapsServerTest, SchemaIdsAndRightsShareOneMap) {
  std::map<std::string, std::string> map;
  ASSERT_TRUE(LoadGuidMap("SCHEMAID_GUIDS", ld_, dse_->configurationNamingContext, &timer_, &map));
  EXPECT_EQ(map[kUserClassGuid], "user");
  // The schema holds well over one page of 1000 objects.
  size_t schemaCount = map.size();
  EXPECT_GT(schemaCount, 1000u);
  EXPECT_EQ(map.count(""), 0u);

  ASSERT_TRUE(LoadGuidMap("RIGHTS_GUIDS", ld_, dse_->configurationNamingContext, &timer_, &map));
  EXPECT_EQ(map[kResetPasswordGuid], DisplayNameOfResetPassword());
  EXPECT_GT(map.size(), schemaCount);
  EXPECT_EQ(map[kUserClassGuid], "user");  // schema keys kept
  // Every key is the braced upper-case form.
  for (const auto& [key, value] : map) {
    ASSERT_EQ(key.size(), 38u) << key;
    EXPECT_EQ(key.find_first_of("abcdef"), std::string::npos) << key;
  }
  // Timed under the kinds' labels.
  EXPECT_EQ(timer_.timers.count("SCHEMAID_GUIDS"), 1u);
  EXPECT_NE(timer_.timers["RIGHTS_GUIDS"].second, 0u);
}

TEST_F(GuidMapsServerTest, SitesByGuid) {
  std::map<std::string, std::string> map;
  ASSERT_TRUE(LoadGuidMap("SITE_GUIDS", ld_, dse_->configurationNamingContext, &timer_, &map));
  ASSERT_EQ(map.size(), 1u);
  EXPECT_EQ(map.begin()->second, "Default-First-Site-Name");
  EXPECT_EQ(map.begin()->first.size(), 38u);
}

TEST_F(GuidMapsServerTest, GeneralizedTimeAttributes) {
  std::map<std::string, int> set;
  ASSERT_TRUE(LoadGenTimeAttribs(ld_, dse_->schemaNamingContext, &timer_, &set));
  EXPECT_EQ(set["whenCreated"], 1);
  EXPECT_EQ(set["whenChanged"], 1);
  EXPECT_EQ(set.count("pwdLastSet"), 0u);  // a 64-bit time, not generalized time
  EXPECT_EQ(timer_.timers.count("LOAD_GEN_TIME_ATTRIBS"), 1u);
}

TEST_F(GuidMapsServerTest, FailedSearchReturnsFalseAndKeepsTheTable) {
  std::map<std::string, std::string> map = {{"{KEEP}", "kept"}};
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  bool ok = LoadGuidMap("SITE_GUIDS", ld_, "CN=Nowhere,DC=invalid", &timer_, &map);
  std::string out = testing::internal::GetCapturedStdout();
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_FALSE(ok);
  EXPECT_EQ(map.size(), 1u);
  EXPECT_EQ(err.rfind("ldap_get_next_page_s: [] Error 0x20 (32) - ", 0), 0u) << err;
  EXPECT_EQ(out, "\n");
  EXPECT_NE(timer_.timers["SITE_GUIDS"].second, 0u);  // stopped
}

}  // namespace
