// Each decoder's table over its edge cases: what a value's brackets hold.
#include "values/flag_decoders.h"

#include <gtest/gtest.h>

#include <string>


namespace {

struct Case {
  const char* attrName;  // as the server spells it
  const char* value;
  const char* names;  // what the brackets hold
};

// The bracket text of one value: the line without label, value and brackets.
std::string Names(const FlagDecoder& decoder, const Case& c) {
  const char* values[] = {c.value, nullptr};
  std::string line;
  AppendDecodedValues(decoder, c.attrName, values, true, &line);
  const std::string head = std::string(c.value) + " [";
  EXPECT_EQ(line.compare(0, head.size(), head), 0) << line;
  EXPECT_TRUE(line.ends_with("]\n")) << line;
  return line.substr(head.size(), line.size() - head.size() - 2);
}

template <size_t N>
void ExpectNames(const FlagDecoder& decoder, const Case (&cases)[N]) {
  for (const Case& c : cases) {
    EXPECT_EQ(Names(decoder, c), c.names) << c.attrName << ": \"" << c.value << '"';
  }
}

TEST(DecodeSamAttributes, AccountControlTypesGroupsAndDomainWords) {
  const Case cases[] = {
      {"userAccountControl", "514", "DISABLED(2);NORMAL_USER(512)"},
      {"userAccountControl", "516", "NORMAL_USER(512);UNKNOWN_FLAGS(4)"},
      {"userAccountControl", "0", ""},
      {"userAccountControl", "66048", "NORMAL_USER(512);NO_EXPIRE(65536)"},
      {"userAccountControl", "4096", "WKST_ACCOUNT(4096)"},
      // Bits 9 and 31, unsigned and signed: the remainder is negative.
      {"userAccountControl", "2147484160", "NORMAL_USER(512);UNKNOWN_FLAGS(-2147483648)"},
      {"userAccountControl", "-2147483136", "NORMAL_USER(512);UNKNOWN_FLAGS(-2147483648)"},
      // Every bit: all 21 names in table order, the unnamed bits left over.
      {"UserAccountControl", "-1",
       "SCRIPT(1);DISABLED(2);HOMEDIR_REQ(8);LOCKED(16);PWD_NOT_REQ(32);PASSWD_NO_CHG(64);"
       "ENC_TXT_PWD(128);LOCAL_USER(256);NORMAL_USER(512);TRUST_ACCT(2048);WKST_ACCOUNT(4096);"
       "DC(8192);NO_EXPIRE(65536);MNS_LOGON_ACCT(131072);SMARTCARD_REQ(262144);"
       "TRUST_DELEG(524288);NOT_DELEG(1048576);DES_ONLY(2097152);NO_PREAUTH(4194304);"
       "EXPIRED(8388608);TRUSTED_TO_AUTH_FOR_DELEG(16777216);UNKNOWN_FLAGS(-33504252)"},
      {"msDS-User-Account-Control-Computed", "8388624", "LOCKED(16);EXPIRED(8388608)"},
      {"userAccountControl", "not a number", ""},
      {"sAMAccountType", "805306368", "USER(805306368)"},
      {"sAMAccountType", "805306369", "COMPUTER(805306369)"},
      {"sAMAccountType", "268435457", "NON-SEC_GROUP(268435457)"},
      {"sAMAccountType", "536870913", "NON-SEC ALIAS(536870913)"},
      {"sAMAccountType", "1073741825", "APP_QUERY_GROUP(1073741825)"},
      {"sAMAccountType", "805306371", ""},
      {"sAMAccountType", "0", "DOMAIN(0)"},
      {"sAMAccountType", "junk", "DOMAIN(0)"},
      // SYSTEM comes after SECURITY, whatever the sign of the text.
      {"groupType", "2147483653", "DOMAIN_LOCAL(4);SECURITY(2147483648);SYSTEM(1)"},
      {"groupType", "-2147483643", "DOMAIN_LOCAL(4);SECURITY(2147483648);SYSTEM(1)"},
      {"groupType", "-2147483646", "GLOBAL(2);SECURITY(2147483648)"},
      {"groupType", "56", "UNIVERSAL(8);APP_BASIC(16);APP_QUERY(32)"},
      {"groupType", "64", "UNKNOWN_FLAGS(64)"},
      {"nTMixedDomain", "1", "Mixed Mode"},
      {"nTMixedDomain", "0", "Native Mode"},
      {"nTMixedDomain", "2", ""},
      {"pwdProperties", "65", "DOMAIN_PASSWORD_COMPLEX(1);UNKNOWN_FLAGS(64)"},
      {"pwdProperties", "62",
       "DOMAIN_PASSWORD_NO_ANON_CHANGE(2);DOMAIN_PASSWORD_NO_CLEAR_CHANGE(4);"
       "DOMAIN_LOCKOUT_ADMINS(8);DOMAIN_PASSWORD_STORE_CLEARTEXT(16);"
       "DOMAIN_REFUSE_PASSWORD_CHANGE(32)"},
      // Names are compared exactly.
      {"userAccountControl;x", "2", ""},
  };
  ExpectNames(kSamAttributesDecoder, cases);
}

TEST(DecodeDomainIntervals, MinutesDaysAndNever) {
  const Case cases[] = {
      {"lockoutDuration", "-18000000000", "-30.00 minutes(s)"},
      {"lockOutObservationWindow", "-18000000000", "-30.00 minutes(s)"},
      {"forceLogoff", "-9223372036854775808", "undefined"},
      {"maxPwdAge", "-36288000000000", "-42.00 day(s)"},
      {"minPwdAge", "-864000000000", "-1.00 day(s)"},
      {"minPwdAge", "0", "0.00 day(s)"},
      {"maxPwdAge;x", "0", ""},
  };
  ExpectNames(kDomainIntervalsDecoder, cases);
}

TEST(DecodeRootDSEAttributes, ControlsCapabilitiesExtensionsAndLevels) {
  const Case cases[] = {
      {"supportedControl", "1.2.840.113556.1.4.319", "LDAP_PAGED_RESULT_OID_STRING"},
      {"supportedControl", "1.2.840.113556.1.4.805", "LDAP_SERVER_TREE_DELETE_OID"},
      {"supportedControl", "2.16.840.1.113730.3.4.9", "LDAP_CONTROL_VLVREQUEST"},
      {"supportedControl", "1.2.840.113556.1.4.1974", "LDAP_SERVER_FORCE_UPDATE"},
      {"supportedControl", "1.2.840.113556.1.4.1341", "****UNKNOWN****"},
      {"supportedControl", "1.2.840.113556.1.4.2064", ""},
      {"supportedControl", "1.2.840.113556.1.4.319 ", ""},  // a trailing blank
      {"supportedControl", "1.2.840.113556.1.4.0319", ""},  // a leading zero
      {"supportedCapabilities", "1.2.840.113556.1.4.1791",
       "LDAP_CAP_ACTIVE_DIRECTORY_LDAP_INTEG_OID"},
      {"supportedCapabilities", "1.2.840.113556.1.4.1880", "LDAP_CAP_ACTIVE_DIRECTORY_ADAM_DIGEST"},
      {"supportedExtension", "1.3.6.1.4.1.4203.1.11.3", "LDAP_SERVER_WHO_AM_I_OID"},
      {"supportedExtension", "1.3.6.1.4.1.1466.101.119.1", "LDAP_TTL_REFRESH_OID"},
      {"domainControllerFunctionality", "0", "Windows 2000 Mode"},
      {"domainControllerFunctionality", "1", ""},  // no interim row
      {"domainControllerFunctionality", "3", "Windows Longhorn Mode"},
      {"domainFunctionality", "1", "Windows Server 2003 Interim Domain Mode"},
      {"domainFunctionality", "x", "Windows 2000 Domain Mode"},
      {"forestFunctionality", "3", "Windows Longhorn Forest Mode"},
      {"forestFunctionality", "2", "Windows Server 2003 Forest Mode"},
      {"domainControllerFunctionality", "4", ""},
      {"domainFunctionality", "4", ""},
      {"forestFunctionality", "4", ""},
      // Prefix names: an option after the name still fits.
      {"supportedControl;x", "1.2.840.113556.1.4.473", "LDAP_SERVER_SORT_OID"},
  };
  ExpectNames(kRootDseAttributesDecoder, cases);
}

TEST(DecodeSchemaAttributeFlags, SearchFlagsWithInvalidPrefixAndSystemFlags) {
  const Case cases[] = {
      {"searchFlags", "1", "INDEX(1)"},
      {"searchFlags", "3", "INDEX(1);CONTAINER INDEX(2)"},
      {"searchFlags", "2", "INVALID CONTAINER INDEX(2)"},
      {"searchFlags", "8", "PRESERVE TOMBSTONE(8)"},
      {"searchFlags", "36", "INVALID ANR(4);INVALID TUPLE INDEX(32)"},
      {"searchFlags", "254",
       "INVALID CONTAINER INDEX(2);INVALID ANR(4);PRESERVE TOMBSTONE(8);COPY VALUE(16);"
       "INVALID TUPLE INDEX(32);INVALID SUBTREE INDEX(64);CONFIDENTIAL(128)"},
      {"searchFlags", "255",
       "INDEX(1);CONTAINER INDEX(2);ANR(4);PRESERVE TOMBSTONE(8);COPY VALUE(16);"
       "TUPLE INDEX(32);SUBTREE INDEX(64);CONFIDENTIAL(128)"},
      {"searchFlags", "256", "UNKNOWN_FLAGS(256)"},
      {"searchFlags", "0", ""},
      {"systemFlags", "16", "CAT-1(16)"},
      {"systemFlags", "18", "PAS-ATTR(2);CAT-1(16)"},
      {"systemFlags", "64", "UNKNOWN_FLAGS(64)"},
      {"systemFlags", "134217773", "NOT REPLICATED(1);CONSTRUCTED(4);OPERATIONAL(8);IS-RDN(32);"
                                   "NO-RENAME(134217728)"},
      {"systemFlags", "-2147483648", "UNKNOWN_FLAGS(-2147483648)"},
  };
  ExpectNames(kSchemaAttributeFlagsDecoder, cases);
}

TEST(DecodeAttributeSyntax, SyntaxOidsAndClassCategories) {
  const Case cases[] = {
      {"attributeSyntax", "2.5.5.12", "STRING (UNICODE)"},
      {"attributeSyntax", "2.5.5.1", "OBJECT (DN)"},
      {"attributeSyntax", "2.5.5.0", "UNDEFINED"},
      {"attributeSyntax", "2.5.5.17", "STRING (SID)"},
      {"attributeSyntax", "2.5.5.11", "STRING (UTC/GENERALIZED TIME)"},
      {"attributeSyntax", "2.5.5.18", ""},
      {"attributeSyntax", "2.5.5.12 ", ""},
      {"attributeSyntax", "1.3.6.1.4.1.1466.115.121.1.15", ""},
      {"objectClassCategory", "1", "STRUCTURAL"},
      {"objectClassCategory", "3", "AUXILIARY"},
      {"objectClassCategory", "4", ""},
      {"objectClassCategory", "none", "CLASS-88"},
  };
  ExpectNames(kAttributeSyntaxDecoder, cases);
}

TEST(DecodeValidAccesses, NamesAndRemainderWithABlank) {
  const Case cases[] = {
      {"validAccesses", "48", "READ_PROP (16);WRITE_PROP (32)"},
      {"validAccesses", "264", "SELF (8);CONTROL_ACCESS (256)"},
      {"validAccesses", "1", "UNKNOWN_FLAGS (1)"},
      {"validAccesses", "-2147483384",
       "SELF (8);CONTROL_ACCESS (256);UNKNOWN_FLAGS (-2147483648)"},
      {"validAccesses", "0", ""},
      {"validAccesses;x", "8", ""},  // an exact name test
  };
  ExpectNames(kValidAccessesDecoder, cases);
}

TEST(DecodeCrossRefSystemFlags, PartitionFlagsWithBit31) {
  const Case cases[] = {
      {"systemFlags", "3", "XREF_NC_NTDS(1);XREF_NC_Domain(2)"},
      {"systemFlags", "2147483651", "XREF_NC_NTDS(1);XREF_NC_Domain(2);NO_DELETE(2147483648)"},
      {"systemFlags", "-2147483645", "XREF_NC_NTDS(1);XREF_NC_Domain(2);NO_DELETE(2147483648)"},
      {"systemFlags", "1912602628",
       "XREF_NC_NOT_GC_REPLICATED(4);NO_MOVE_TO_DEL_OBJS(33554432);"
       "CAN_MOVE_RESTRICTED(268435456);CAN_MOVE_UNRESTRICTED(536870912);CAN_RENAME(1073741824)"},
      {"systemFlags", "8", "UNKNOWN_FLAGS(8)"},
  };
  ExpectNames(kCrossRefSystemFlagsDecoder, cases);
}

TEST(DecodeObjectSystemFlags, TheTwoBitRowNeedsBothBits) {
  const Case cases[] = {
      {"systemFlags", "1610612736", "EXCHANGE_NOT_NEEDED_BUG(1610612736)"},
      {"systemFlags", "1073741824", "UNKNOWN_FLAGS(1073741824)"},
      {"systemFlags", "536870912", "UNKNOWN_FLAGS(536870912)"},
      {"systemFlags", "2348810240", "NO_MOVE(67108864);NO_RENAME(134217728);NO_DELETE(2147483648)"},
      {"systemFlags", "-1946157056", "NO_MOVE(67108864);NO_RENAME(134217728);NO_DELETE(2147483648)"},
      {"systemFlags", "-536870912", "NO_DELETE(2147483648);EXCHANGE_NOT_NEEDED_BUG(1610612736)"},
      {"systemFlags", "-1073741824", "NO_DELETE(2147483648);UNKNOWN_FLAGS(1073741824)"},
      {"systemFlags", "33554448", "NO_MOVE_TO_DEL_OBJS(33554432);UNKNOWN_FLAGS(16)"},
      {"systemFlags", "268435456", "UNKNOWN_FLAGS(268435456)"},
  };
  ExpectNames(kObjectSystemFlagsDecoder, cases);
}

TEST(DecodePackageFlags, DeploymentFlagsPathTypeAndRemainder) {
  const Case cases[] = {
      {"packageFlags", "0", "PATHTYPE_EXE(0)"},
      {"packageFlags", "not a number", "PATHTYPE_EXE(0)"},
      {"packageFlags", "1032", "PUBLISHED_APP(8);ASSIGNED(1024);PATHTYPE_EXE(0)"},
      {"packageFlags", "536870912", "PATHTYPE_DLL(536870912)"},
      {"packageFlags", "1073741824", "PATHTYPE_TLB(1073741824)"},
      {"packageFlags", "1610612736", "PATHTYPE_CAB(1610612736)"},
      {"packageFlags", "2147483648", "PATHTYPE_INF(-2147483648)"},
      {"packageFlags", "-2147483648", "PATHTYPE_INF(-2147483648)"},
      {"packageFlags", "-1610612736", "PATHTYPE_MSI(-1610612736)"},
      {"packageFlags", "-1073741824", "PATHTYPE_SETUPNAMEPATH(-1073741824)"},
      {"packageFlags", "-536870912", "PATHTYPE_UNKNOWN(-536870912|7)"},
      {"packageFlags", "1", "PATHTYPE_EXE(0);UNKNOWN_FLAGS(1)"},
      {"packageFlags", "256", "PATHTYPE_EXE(0);UNKNOWN_FLAGS(256)"},
      {"packageFlags", "268435458", "PATHTYPE_EXE(0);UNKNOWN_FLAGS(268435458)"},
      {"packageFlags", "2097148",
       "UNINSTALL_UNMANAGED(4);PUBLISHED_APP(8);POST_W2K_BETA3(16);"
       "USER_INSTALL_ADD_REMOVE_PRGS(32);ON_DEMAND_INSTALL(64);WILL_ORPHAN(128);PILOT(512);"
       "ASSIGNED(1024);ORPHAN_POLICY_REMOVAL(2048);WILL_UNINSTALL(4096);"
       "FULL_INSTALL_USER_ASSGNED_APPS(8192);FORCE_UPGD(16384);MINIMAL_INSTALL_UI(32768);"
       "32_BIT_ONLY(65536);ANY_LANGUAGE(131072);HAS_UPGDS(262144);FULL_INSTALL_UI(524288);"
       "PRESERVE_CLASSES(1048576);PATHTYPE_EXE(0);UNKNOWN_FLAGS(256)"},
  };
  ExpectNames(kPackageFlagsDecoder, cases);
}

TEST(DecodeInstanceType, NamingContextRoles) {
  const Case cases[] = {
      {"instanceType", "4", "WRITABLE(4)"},
      {"instanceType", "5", "NC_HEAD(1);WRITABLE(4)"},
      {"instanceType", "13", "NC_HEAD(1);WRITABLE(4);NC_ABOVE_HELD(8)"},
      {"instanceType", "50", "NOT_INSTANTIATED(2);NC_UNDER_CONSTRUCTION(16);NC_BEING_REMOVED(32)"},
      {"instanceType", "64", "UNKNOWN_FLAGS(64)"},
      {"instanceType", "x", ""},
  };
  ExpectNames(kInstanceTypeDecoder, cases);
}

TEST(DecodeBehaviorVersion, FunctionalLevels) {
  const Case cases[] = {
      {"msDS-Behavior-Version", "0", "Windows 2000 Mode"},
      {"msDS-Behavior-Version", "1", "Windows Server 2003 Interim Mode"},
      {"msDS-Behavior-Version", "2", "Windows Server 2003 Mode"},
      {"msDS-Behavior-Version", "3", "Windows Longhorn Mode"},
      {"msDS-Behavior-Version", "4", ""},
      {"msDS-Behavior-Version", "x", "Windows 2000 Mode"},
  };
  ExpectNames(kBehaviorVersionDecoder, cases);
}

}  // namespace
