#include "driver/attribute_dispatch.h"

#include <gtest/gtest.h>

#include "common/string_util.h"
#include "directory/scripted_ldap_server.h"

namespace {

DispatchSettings Contexts() {
  DispatchSettings s;
  s.schemaNamingContext = "CN=Schema,CN=Configuration,DC=t";
  s.configurationNamingContext = "CN=Configuration,DC=t";
  return s;
}

TEST(AttributeDispatch, EntriesArePlacedByTheirNamingContext) {
  const DispatchSettings s = Contexts();
  EntryPlace schema = PlaceEntry("CN=cn,CN=Schema,CN=Configuration,DC=t", s);
  EXPECT_TRUE(schema.inSchema);
  EXPECT_FALSE(schema.inConfiguration);
  EntryPlace config = PlaceEntry("CN=Partitions,CN=Configuration,DC=t", s);
  EXPECT_FALSE(config.inSchema);
  EXPECT_TRUE(config.inConfiguration);
  EntryPlace domain = PlaceEntry("CN=u,DC=t", s);
  EXPECT_FALSE(domain.inSchema || domain.inConfiguration || domain.rootDse);
  EXPECT_TRUE(PlaceEntry("", s).rootDse);
}

TEST(AttributeDispatch, AnEmptyNamingContextContainsNoEntry) {
  DispatchSettings s;  // a directory without schema or configuration context
  EntryPlace place = PlaceEntry("uid=u,dc=x", s);
  EXPECT_FALSE(place.inSchema);
  EXPECT_FALSE(place.inConfiguration);
  s.flagDecode = true;
  EXPECT_EQ(SelectDispatchRow("systemflags", place, s), DispatchRow::kObjectSystemFlags);
}

TEST(AttributeDispatch, SystemFlagsGoesToThreeDecodersByPlace) {
  DispatchSettings s = Contexts();
  s.flagDecode = true;
  EXPECT_EQ(SelectDispatchRow("systemflags", PlaceEntry("CN=a,CN=Schema,CN=Configuration,DC=t", s), s),
            DispatchRow::kSchemaAttributeFlags);
  EXPECT_EQ(SelectDispatchRow("systemflags", PlaceEntry("CN=p,CN=Configuration,DC=t", s), s),
            DispatchRow::kCrossRefSystemFlags);
  EXPECT_EQ(SelectDispatchRow("systemflags", PlaceEntry("DC=t", s), s),
            DispatchRow::kObjectSystemFlags);
}

TEST(AttributeDispatch, RowsNeedTheirSwitchAndContext) {
  DispatchSettings s = Contexts();
  const EntryPlace domain = PlaceEntry("CN=u,DC=t", s);
  EXPECT_EQ(SelectDispatchRow("useraccountcontrol", domain, s), DispatchRow::kGeneral);
  s.samDecode = true;
  EXPECT_EQ(SelectDispatchRow("useraccountcontrol", domain, s), DispatchRow::kSamAttributes);
  EXPECT_EQ(SelectDispatchRow("maxpwdage", domain, s), DispatchRow::kDomainIntervals);
  s.rootDseDecode = true;
  EXPECT_EQ(SelectDispatchRow("supportedcontrol", domain, s), DispatchRow::kGeneral);
  EXPECT_EQ(SelectDispatchRow("supportedcontrol", PlaceEntry("", s), s),
            DispatchRow::kRootDseAttributes);
  s.sddlPlus = true;
  EXPECT_EQ(SelectDispatchRow("defaultsecuritydescriptor", domain, s), DispatchRow::kGeneral);
  EXPECT_EQ(SelectDispatchRow("defaultsecuritydescriptor",
                              PlaceEntry("CN=User,CN=Schema,CN=Configuration,DC=t", s), s),
            DispatchRow::kDefaultSecurityDescriptor);
  EXPECT_EQ(SelectDispatchRow("instancetype", domain, s), DispatchRow::kGeneral);
  s.flagDecode = true;
  EXPECT_EQ(SelectDispatchRow("instancetype", domain, s), DispatchRow::kInstanceType);
  EXPECT_EQ(SelectDispatchRow("msds-behavior-version", domain, s), DispatchRow::kBehaviorVersion);
  EXPECT_EQ(SelectDispatchRow("validaccesses", domain, s), DispatchRow::kGeneral);
  EXPECT_EQ(SelectDispatchRow("validaccesses", PlaceEntry("CN=r,CN=Configuration,DC=t", s), s),
            DispatchRow::kValidAccesses);
  // Names are compared in full, in lower case.
  EXPECT_EQ(SelectDispatchRow("useraccountcontrolx", domain, s), DispatchRow::kGeneral);
}

// --- Printing through the chosen printer ------------------------------------------

class DispatchPrinting : public ScriptedServerTest {};

TEST_F(DispatchPrinting, EachRowReachesItsDecoderAndTheRestThePlainPrinter) {
  const ScriptedAttributes attributes = {
      {"userAccountControl", {"514"}},
      {"maxPwdAge", {"-36288000000000"}},
      {"supportedControl", {"1.2.840.113556.1.4.319"}},
      {"searchFlags", {"2"}},
      {"attributeSyntax", {"2.5.5.12"}},
      {"defaultSecurityDescriptor", {"D:(A;;RP;;;WD)"}},
      {"validAccesses", {"48"}},
      {"systemFlags", {"-1946157053"}},
      {"packageFlags", {"0"}},
      {"msDS-Behavior-Version", {"1"}},
      {"instanceType", {"5"}},
  };
  ScriptedLdapServer server({[&attributes](int64_t id) {
    return EntryMessage(id, "CN=x,DC=t", attributes) + DoneMessage(id, 0, "", false);
  }});
  plat::LDAP* ld = Connect(server);
  const char* all[] = {nullptr};
  plat::LDAPMessage* result = nullptr;
  ASSERT_EQ(plat::ldap_search_s(ld, "DC=t", plat::LDAP_SCOPE_SUBTREE, "(objectClass=*)", all, 0,
                                &result),
            0u);
  plat::LDAPMessage* entry = plat::ldap_first_entry(ld, result);
  ASSERT_NE(entry, nullptr);

  DispatchSettings s = Contexts();
  s.samDecode = s.rootDseDecode = s.schemaDecode = s.flagDecode = s.sddlPlus = true;
  s.noLabel = true;
  const EntryPlace root = PlaceEntry("", s);
  const EntryPlace schema = PlaceEntry("CN=a,CN=Schema,CN=Configuration,DC=t", s);
  const EntryPlace config = PlaceEntry("CN=p,CN=Configuration,DC=t", s);
  const EntryPlace domain = PlaceEntry("CN=u,DC=t", s);
  const struct {
    const char* name;
    EntryPlace place;
    const char* want;
  } cases[] = {
      {"userAccountControl", domain, "514 [DISABLED(2);NORMAL_USER(512)]\n"},
      {"maxPwdAge", domain, "-36288000000000 [-42.00 day(s)]\n"},
      {"supportedControl", root, "1.2.840.113556.1.4.319 [LDAP_PAGED_RESULT_OID_STRING]\n"},
      {"supportedControl", domain, "1.2.840.113556.1.4.319\n"},
      {"searchFlags", schema, "2 [INVALID CONTAINER INDEX(2)]\n"},
      {"attributeSyntax", schema, "2.5.5.12 [STRING (UNICODE)]\n"},
      {"attributeSyntax", config, "2.5.5.12\n"},
      {"defaultSecurityDescriptor", schema, "D:(A;;RP;;;WD)\n"},  // printed as it came
      {"validAccesses", config, "48 [READ_PROP (16);WRITE_PROP (32)]\n"},
      // One word, three vocabularies (bits 0, 1, 26, 27 and 31).
      {"systemFlags", schema, "-1946157053 [NOT REPLICATED(1);PAS-ATTR(2);NO-RENAME(134217728);"
                              "UNKNOWN_FLAGS(-2080374784)]\n"},
      {"systemFlags", config, "-1946157053 [XREF_NC_NTDS(1);XREF_NC_Domain(2);"
                              "NO_DELETE(2147483648);UNKNOWN_FLAGS(201326592)]\n"},
      {"systemFlags", domain, "-1946157053 [NO_MOVE(67108864);NO_RENAME(134217728);"
                              "NO_DELETE(2147483648);UNKNOWN_FLAGS(3)]\n"},
      {"packageFlags", domain, "0 [PATHTYPE_EXE(0)]\n"},
      {"msDS-Behavior-Version", domain, "1 [Windows Server 2003 Interim Mode]\n"},
      {"instanceType", domain, "5 [NC_HEAD(1);WRITABLE(4)]\n"},
  };
  for (const auto& c : cases) {
    std::string out;
    DispatchAttribute(StrToLower(c.name), c.name, ld, entry, c.place, false, s, &out);
    EXPECT_EQ(out, c.want) << c.name;
  }
  plat::ldap_msgfree(result);
}

}  // namespace
