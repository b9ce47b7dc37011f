// Descriptor values as the entry output prints them, read from a scripted
// server: sound and malformed values side by side.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/cmdline.h"
#include "common/process_state.h"
#include "directory/scripted_ldap_server.h"
#include "driver/entry_output.h"
#include "driver/search_state.h"
#include "driver/settings.h"
#include "platform/security_descriptor_builder.h"
#include "values/attribute_kinds.h"

namespace {

using sdtest::Ace;
using sdtest::Acl;
using sdtest::Bytes;
using sdtest::Descriptor;
using sdtest::SidBytes;

std::string Text(const Bytes& b) { return std::string(b.begin(), b.end()); }

class DescriptorEntryTest : public ScriptedServerTest {
 protected:
  void SetUp() override {
    LoadAttributeKindMaps();
    // The schema step names the descriptor attributes of a real run.
    g_SecurityDescriptorAttributes["nTSecurityDescriptor"] = 1;
    g_SddlPlus = g_SddlPlusPlus = false;
  }
  void TearDown() override {
    g_SddlPlus = false;
    ScriptedServerTest::TearDown();
  }

  std::string Print(const ScriptedAttributes& attributes, std::vector<std::string> switches = {}) {
    ScriptedLdapServer server({[attributes](int64_t id) {
      return EntryMessage(id, "CN=u,DC=t", attributes) + DoneMessage(id, 0, "", false);
    }});
    plat::LDAP* ld = Connect(server);
    const char* all[] = {nullptr};
    plat::LDAPMessage* result = nullptr;
    EXPECT_EQ(plat::ldap_search_s(ld, "DC=t", plat::LDAP_SCOPE_SUBTREE, "(objectClass=*)", all, 0,
                                  &result),
              0u);
    std::vector<std::string> words{"quelby"};
    words.insert(words.end(), switches.begin(), switches.end());
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    CCmdLine cmdLine(static_cast<int>(argv.size()), argv.data(), {}, false);
    EntryOutput out(settings_, state_, cmdLine, ld);
    uint32_t count = 1;
    testing::internal::CaptureStdout();
    out.PrintEntry(plat::ldap_first_entry(ld, result), &count);
    const std::string text = testing::internal::GetCapturedStdout();
    plat::ldap_msgfree(result);
    plat::ldap_unbind(ld_);  // a test prints from several servers
    ld_ = nullptr;
    return text;
  }

  QuerySettings settings_;
  SearchState state_;
};

TEST_F(DescriptorEntryTest, MalformedValuesFallBackAndTheNextValueIsPrinted) {
  const Bytes good = Descriptor(SidBytes("BA"), SidBytes("SY"),
                                Acl({Ace(0x00, 0, 0x10, SidBytes("AU"))}), {});
  const size_t dacl = good.size() - 28;  // ACL header and one ACE of 20 bytes
  Bytes lyingAcl = good;
  lyingAcl[dacl + 2] = 0xFF;  // ACL size far past the value
  Bytes tooManyAces = good;
  tooManyAces[dacl + 4] = 9;
  Bytes bigSid = good;
  bigSid[21] = 40;  // owner with 40 sub-authorities
  const Bytes unknownType = Descriptor({}, {}, Acl({Bytes{0x42, 0, 8, 0, 0, 0, 0, 0}}), {});

  settings_.decodeSecurityDescriptors = true;
  state_.requestedAttributeSet["ntsecuritydescriptor"] = 1;
  const std::string text = Print(
      {{"cn", {"u"}},
       {"nTSecurityDescriptor", {Text(lyingAcl), Text(good), Text(Bytes(good.begin(), good.begin() + 30)),
                                 Text(tooManyAces), Text(bigSid), Text(unknownType), Text(good)}}});
  const std::string fallback = ">nTSecurityDescriptor: {Security Descriptor}\n";
  const std::string decoded =
      ">nTSecurityDescriptor: [OWNER] BA\n>nTSecurityDescriptor: [GROUP] SY\n"
      ">nTSecurityDescriptor: [DACL]  (A;;RP;;;AU)\n"
      ">nTSecurityDescriptor: [SACL] Not specified in SD or insufficient rights\n";
  EXPECT_EQ(text, "dn:CN=u,DC=t\n>cn: u\n" + fallback + decoded + fallback + fallback + fallback +
                      fallback + decoded + "\n");
}

TEST_F(DescriptorEntryTest, OwnerLayouts) {
  const Bytes good = Descriptor(SidBytes("S-1-5-21-1-2-3-512"), {}, {}, {});
  settings_.owner = true;
  EXPECT_EQ(Print({{"nTSecurityDescriptor", {Text(good)}}}),
            "dn:CN=u,DC=t\n>_OBJECT_OWNER: S-1-5-21-1-2-3-512\n\n");
  EXPECT_EQ(Print({{"nTSecurityDescriptor", {Text(Bytes(good.begin(), good.begin() + 24))}}}),
            "dn:CN=u,DC=t\n>_OBJECT_OWNER: {UNKNOWN}\n\n");
  settings_.ownerCsv = true;
  EXPECT_EQ(Print({{"nTSecurityDescriptor", {Text(good)}}}),
            "\"CN=u,DC=t\";\"S-1-5-21-1-2-3-512\"\n");
  // Another descriptor attribute is rendered, not taken as the owner.
  settings_.ownerCsv = false;
  g_SecurityDescriptorAttributes["msExchMailboxSecurityDescriptor"] = 1;
  EXPECT_EQ(Print({{"msExchMailboxSecurityDescriptor", {Text(good)}}}),
            "dn:CN=u,DC=t\n>msExchMailboxSecurityDescriptor: {Security Descriptor}\n\n");
}

}  // namespace
