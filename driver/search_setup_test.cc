#include "driver/search_setup.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "common/process_state.h"
#include "driver/test_query_run.h"
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

// SetUpSearch on a run whose positional words are the given attribute names,
// against a RootDSE record filled in by hand.
class SearchSetUp : public testing::Test {
 protected:
  void SetUp() override { ResetGlobals(); }
  void TearDown() override { ResetGlobals(); }
  static void ResetGlobals() {
    g_Quiet = false;
    g_SdNoOwner = g_SdNoGroup = g_SdNoDacl = g_SdNoSacl = false;
  }

  // Runs the set-up; returns the header it printed.
  std::string Run(const std::vector<std::string>& attributes = {}) {
    QueryRun& run = t_.Start(attributes);
    t_.HandMadeRootDse().dnsHostName = "dc1.example.com";
    run.search.serverType = serverType;
    int exitCode = 0;
    testing::internal::CaptureStdout();
    EXPECT_TRUE(SetUpSearch(run, &exitCode));
    return testing::internal::GetCapturedStdout();
  }

  std::vector<std::string> Requested() const {
    std::vector<std::string> names;
    const auto& attrs = run_->search.searchAttributes;
    EXPECT_FALSE(attrs.empty());
    EXPECT_EQ(attrs.back(), nullptr);
    for (const char* a : attrs) {
      if (a != nullptr) names.emplace_back(a);
    }
    return names;
  }
  bool AskedFor(const std::string& lowerName) const {
    return run_->search.requestedAttributeSet.count(lowerName) != 0;
  }
  // The controls as "oid" or "oid=" hex value, in order; the array stays
  // null-terminated.
  std::vector<std::string> Controls() const {
    std::vector<std::string> out;
    const auto& controls = run_->search.serverControls;
    size_t i = 0;
    for (; i < controls.size() && controls[i] != nullptr; ++i) {
      std::string text = controls[i]->ldctl_oid;
      EXPECT_EQ(controls[i]->ldctl_iscritical, 1) << text;
      if (controls[i]->ldctl_value.bv_len != 0) {
        text += "=";
        for (ULONG b = 0; b < controls[i]->ldctl_value.bv_len; ++b) {
          char hex[3];
          std::snprintf(hex, sizeof hex, "%02X",
                        static_cast<unsigned char>(controls[i]->ldctl_value.bv_val[b]));
          text += hex;
        }
      }
      out.push_back(text);
    }
    for (; i < controls.size(); ++i) EXPECT_EQ(controls[i], nullptr);
    return out;
  }

  TestQueryRun t_;
  QuerySettings& settings = t_.settings;
  std::unique_ptr<QueryRun>& run_ = t_.run;
  std::string serverType = "Windows Longhorn";
};

constexpr char kSdFlags[] = "1.2.840.113556.1.4.801";

TEST_F(SearchSetUp, CountOnlyAndDnOnlyAskForNoAttributes) {
  settings.countOnly = true;
  Run();
  EXPECT_EQ(Requested(), std::vector<std::string>{"1.1"});
  EXPECT_TRUE(run_->search.attributesOnly);
  Run({"cn"});
  EXPECT_EQ(Requested(), std::vector<std::string>{"cn"});
  EXPECT_FALSE(run_->search.attributesOnly);
  settings.countOnly = false;
  settings.dnOnly = true;
  Run();
  EXPECT_EQ(Requested(), std::vector<std::string>{"1.1"});
  settings.dnOnly = false;
  Run();
  EXPECT_TRUE(Requested().empty());  // all attributes
  EXPECT_FALSE(run_->search.attributesOnly);
}

TEST_F(SearchSetUp, OwnerModesAskForTheDescriptorWithOwnerFlagsOnly) {
  settings.owner = true;
  Run();
  EXPECT_EQ(Requested(), (std::vector<std::string>{"*", "ntSecurityDescriptor"}));
  EXPECT_FALSE(AskedFor("ntsecuritydescriptor"));
  EXPECT_EQ(Controls(), std::vector<std::string>{std::string(kSdFlags) + "=3003020101"});

  settings.ownerOnly = true;
  Run({"cn", "mail"});
  EXPECT_EQ(Requested(), std::vector<std::string>{"ntSecurityDescriptor"});
  EXPECT_EQ(Controls(), std::vector<std::string>{std::string(kSdFlags) + "=3003020101"});

  // The descriptor asked for by name is printed, so its flags stay whole.
  settings.ownerOnly = false;
  Run({"cn", "nTSecurityDescriptor"});
  EXPECT_EQ(Requested(),
            (std::vector<std::string>{"cn", "nTSecurityDescriptor", "ntSecurityDescriptor"}));
  EXPECT_TRUE(AskedFor("ntsecuritydescriptor"));
  EXPECT_TRUE(Controls().empty());
}

TEST_F(SearchSetUp, DescriptorDecodingAndItsFlags) {
  settings.decodeSecurityDescriptors = true;
  Run();
  EXPECT_EQ(Requested(), (std::vector<std::string>{"*", "ntSecurityDescriptor"}));
  EXPECT_TRUE(AskedFor("ntsecuritydescriptor"));
  EXPECT_TRUE(Controls().empty());
  // Decoding alone adds nothing to a list of names.
  Run({"cn"});
  EXPECT_EQ(Requested(), std::vector<std::string>{"cn"});

  g_SdNoSacl = true;
  Run();
  EXPECT_EQ(Controls(), std::vector<std::string>{std::string(kSdFlags) + "=3003020107"});
  g_SdNoOwner = g_SdNoGroup = true;  // -onlydacl
  Run();
  EXPECT_EQ(Controls(), std::vector<std::string>{std::string(kSdFlags) + "=3003020104"});

  // With -owner and the descriptor not asked for, only the owner is wanted.
  g_SdNoOwner = g_SdNoGroup = false;
  settings.owner = true;
  Run({"cn"});
  EXPECT_EQ(Requested(), (std::vector<std::string>{"cn", "ntSecurityDescriptor"}));
  EXPECT_EQ(Controls(), std::vector<std::string>{std::string(kSdFlags) + "=3003020101"});
}

TEST_F(SearchSetUp, ControlsInTheirFixedOrder) {
  settings.noServerReferrals = true;
  settings.phantomRoot = true;
  settings.showDeleted = true;
  Run();
  EXPECT_EQ(Controls(), (std::vector<std::string>{"1.2.840.113556.1.4.417",
                                                  "1.2.840.113556.1.4.1340=3003020102",
                                                  "1.2.840.113556.1.4.1339"}));
  settings = QuerySettings{};
  settings.stats = true;
  settings.extendedDn = true;
  settings.attributeScopedQuery = true;
  settings.asqAttribute = "member";
  Run();
  EXPECT_EQ(Controls(),
            (std::vector<std::string>{"1.2.840.113556.1.4.970", "1.2.840.113556.1.4.529",
                                      "1.2.840.113556.1.4.1504=300804066D656D626572"}));
}

TEST_F(SearchSetUp, SortKey) {
  settings.serverSort = true;
  Run({"cn"});
  EXPECT_EQ(run_->search.sortKeyList[0], nullptr);  // no text: no key
  settings.sortKey = "name";
  settings.reverseSort = true;
  Run({"cn"});
  plat::LDAPSortKey* key = run_->search.sortKeyList[0];
  ASSERT_NE(key, nullptr);
  EXPECT_STREQ(key->sk_attrtype, "name");
  EXPECT_EQ(key->sk_matchruleoid, nullptr);
  EXPECT_TRUE(key->sk_reverseorder);
  EXPECT_EQ(run_->search.sortKeyList[1], nullptr);
  // A key naming a requested attribute in another case takes its spelling.
  settings.sortKey = "displayname";
  Run({"cn", "displayName"});
  EXPECT_STREQ(run_->search.sortKeyList[0]->sk_attrtype, "displayName");
}

TEST_F(SearchSetUp, HeaderLines) {
  EXPECT_EQ(Run(), "Using server: dc1.example.com:389\nDirectory: Windows Longhorn\n\n");
  settings.port = 1;  // global catalog
  settings.anySpecialBase = true;
  settings.base = "DC=example,DC=com";
  EXPECT_EQ(Run(),
            "Using server: dc1.example.com:3268\nDirectory: Windows Longhorn\n"
            "Base DN: DC=example,DC=com\n\n");
  settings.port = 636;
  serverType = "";
  settings.anySpecialBase = false;
  EXPECT_EQ(Run(), "Using server: dc1.example.com:636\n\n");
  g_Quiet = true;
  EXPECT_EQ(Run(), "\n");
  settings.csvLayout = true;
  EXPECT_EQ(Run(), "");
}

}  // namespace
