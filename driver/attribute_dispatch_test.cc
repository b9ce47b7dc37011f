#include "driver/attribute_dispatch.h"

#include <gtest/gtest.h>

#include <set>

#include "common/string_util.h"
#include "directory/scripted_ldap_server.h"
#include "values/default_security_descriptor.h"
#include "values/flag_decoders.h"
#include "values/value_printer.h"

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

using Printer = void (*)(std::string, std::string, plat::LDAP*, plat::LDAPMessage*, bool,
                         std::string*);

class DispatchPrinting : public ScriptedServerTest {};

TEST_F(DispatchPrinting, EachRowPrintsThroughItsDecoderAndTheRestThroughThePlainPrinter) {
  ScriptedLdapServer server({[](int64_t id) {
    return EntryMessage(id, "CN=x,DC=t",
                        {{"userAccountControl", {"544"}},
                         {"maxPwdAge", {"-864000000000"}},
                         {"supportedControl", {"1.2.840.113556.1.4.417"}},
                         {"searchFlags", {"4"}},
                         {"attributeSyntax", {"2.5.5.9"}},
                         {"defaultSecurityDescriptor", {"D:(A;;RP;;;WD)"}},
                         {"validAccesses", {"8"}},
                         {"systemFlags", {"-1946157053"}},  // bits 0, 1, 26, 27 and 31
                         {"packageFlags", {"8"}},
                         {"msDS-Behavior-Version", {"2"}},
                         {"instanceType", {"1"}}}) +
           DoneMessage(id, 0, "", false);
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
  const EntryPlace root = PlaceEntry("", s);
  const EntryPlace schema = PlaceEntry("CN=a,CN=Schema,CN=Configuration,DC=t", s);
  const EntryPlace config = PlaceEntry("CN=p,CN=Configuration,DC=t", s);
  const EntryPlace domain = PlaceEntry("CN=u,DC=t", s);
  const struct {
    const char* name;
    EntryPlace place;
    Printer printer;  // null: the general value printer
  } cases[] = {
      {"userAccountControl", domain, DecodeSamAttributes},
      {"maxPwdAge", domain, DecodeDomainIntervals},
      {"supportedControl", root, DecodeRootDSEAttributes},
      {"supportedControl", domain, nullptr},
      {"searchFlags", schema, DecodeSchemaAttributeFlags},
      {"attributeSyntax", schema, DecodeAttributeSyntax},
      {"attributeSyntax", config, nullptr},
      {"defaultSecurityDescriptor", schema, DecodeDefaultSecurityDescriptor},
      {"validAccesses", config, DecodeValidAccesses},
      {"systemFlags", schema, DecodeSchemaAttributeFlags},
      {"systemFlags", config, DecodeCrossRefSystemFlags},
      {"systemFlags", domain, DecodeObjectSystemFlags},
      {"packageFlags", domain, DecodePackageFlags},
      {"msDS-Behavior-Version", domain, DecodeBehaviorVersion},
      {"instanceType", domain, DecodeInstanceType},
  };
  std::set<std::string> systemFlagsTexts;
  for (const auto& c : cases) {
    const std::string fetchName = StrToLower(c.name);
    std::string got;
    DispatchAttribute(fetchName, c.name, ld, entry, c.place, false, s, &got);
    std::string plain;
    PrintAttributeValues(fetchName, c.name, ld, entry, false, false, &plain, false, nullptr,
                         nullptr);
    std::string want = plain;
    if (c.printer != nullptr) {
      want.clear();
      c.printer(fetchName, c.name, ld, entry, false, &want);
      EXPECT_NE(want, plain) << c.name;  // the decoder adds the names
    }
    EXPECT_EQ(got, want) << c.name;
    EXPECT_TRUE(got.starts_with(">" + std::string(c.name) + ": ")) << got;
    if (fetchName == "systemflags") systemFlagsTexts.insert(got);
  }
  // One word, three vocabularies.
  EXPECT_EQ(systemFlagsTexts.size(), 3u);
  plat::ldap_msgfree(result);
}

}  // namespace
