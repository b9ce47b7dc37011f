#include "values/flag_decoders.h"

namespace {

// --- Accounts, groups and the domain head -----------------------------------

// userAccountControl and msDS-User-Account-Control-Computed. Bits 2, 10, 14,
// 15 and 25 to 31 have no name and are left for the remainder.
constexpr FlagRow kAccountControl[] = {
    {0x00000001, "SCRIPT(1)"},
    {0x00000002, "DISABLED(2)"},
    {0x00000008, "HOMEDIR_REQ(8)"},
    {0x00000010, "LOCKED(16)"},
    {0x00000020, "PWD_NOT_REQ(32)"},
    {0x00000040, "PASSWD_NO_CHG(64)"},
    {0x00000080, "ENC_TXT_PWD(128)"},
    {0x00000100, "LOCAL_USER(256)"},
    {0x00000200, "NORMAL_USER(512)"},
    {0x00000800, "TRUST_ACCT(2048)"},
    {0x00001000, "WKST_ACCOUNT(4096)"},
    {0x00002000, "DC(8192)"},
    {0x00010000, "NO_EXPIRE(65536)"},
    {0x00020000, "MNS_LOGON_ACCT(131072)"},
    {0x00040000, "SMARTCARD_REQ(262144)"},
    {0x00080000, "TRUST_DELEG(524288)"},
    {0x00100000, "NOT_DELEG(1048576)"},
    {0x00200000, "DES_ONLY(2097152)"},
    {0x00400000, "NO_PREAUTH(4194304)"},
    {0x00800000, "EXPIRED(8388608)"},
    {0x01000000, "TRUSTED_TO_AUTH_FOR_DELEG(16777216)"},
};

constexpr NumberRow kAccountType[] = {
    {0, "DOMAIN(0)"},
    {268435456, "GROUP(268435456)"},
    {268435457, "NON-SEC_GROUP(268435457)"},
    {536870912, "ALIAS(536870912)"},
    {536870913, "NON-SEC ALIAS(536870913)"},
    {805306368, "USER(805306368)"},
    {805306369, "COMPUTER(805306369)"},
    {805306370, "TRUST(805306370)"},
    {1073741824, "APP_BASIC_GROUP(1073741824)"},
    {1073741825, "APP_QUERY_GROUP(1073741825)"},
};

// The security bit is named before the system bit.
constexpr FlagRow kGroupType[] = {
    {0x00000002, "GLOBAL(2)"},
    {0x00000004, "DOMAIN_LOCAL(4)"},
    {0x00000008, "UNIVERSAL(8)"},
    {0x00000010, "APP_BASIC(16)"},
    {0x00000020, "APP_QUERY(32)"},
    {0x80000000, "SECURITY(2147483648)"},
    {0x00000001, "SYSTEM(1)"},
};

constexpr NumberRow kMixedDomain[] = {
    {0, "Native Mode"},
    {1, "Mixed Mode"},
};

constexpr FlagRow kPasswordProperties[] = {
    {0x00000001, "DOMAIN_PASSWORD_COMPLEX(1)"},
    {0x00000002, "DOMAIN_PASSWORD_NO_ANON_CHANGE(2)"},
    {0x00000004, "DOMAIN_PASSWORD_NO_CLEAR_CHANGE(4)"},
    {0x00000008, "DOMAIN_LOCKOUT_ADMINS(8)"},
    {0x00000010, "DOMAIN_PASSWORD_STORE_CLEARTEXT(16)"},
    {0x00000020, "DOMAIN_REFUSE_PASSWORD_CHANGE(32)"},
};

constexpr DecoderBlock kSamBlocks[] = {
    {.name = "useraccountcontrol", .kind = BlockKind::kFlagWord, .flags = kAccountControl},
    {.name = "msds-user-account-control-computed", .kind = BlockKind::kFlagWord,
     .flags = kAccountControl},
    {.name = "samaccounttype", .kind = BlockKind::kNumberEquals, .numbers = kAccountType},
    {.name = "grouptype", .kind = BlockKind::kFlagWord, .flags = kGroupType},
    {.name = "ntmixeddomain", .kind = BlockKind::kNumberEquals, .numbers = kMixedDomain},
    {.name = "pwdproperties", .kind = BlockKind::kFlagWord, .flags = kPasswordProperties},
};

// Intervals: minutes (unit 0) or days (unit 2).
constexpr DecoderBlock kIntervalBlocks[] = {
    {.name = "lockoutduration", .kind = BlockKind::kInterval, .intervalUnit = 0},
    {.name = "lockoutobservationwindow", .kind = BlockKind::kInterval, .intervalUnit = 0},
    {.name = "forcelogoff", .kind = BlockKind::kInterval, .intervalUnit = 0},
    {.name = "maxpwdage", .kind = BlockKind::kInterval, .intervalUnit = 2},
    {.name = "minpwdage", .kind = BlockKind::kInterval, .intervalUnit = 2},
};

// --- RootDSE ------------------------------------------------------------------

constexpr TextRow kSupportedControls[] = {
    {"1.2.840.113556.1.4.319", "LDAP_PAGED_RESULT_OID_STRING"},
    {"1.2.840.113556.1.4.473", "LDAP_SERVER_SORT_OID"},
    {"1.2.840.113556.1.4.474", "LDAP_SERVER_RESP_SORT_OID"},
    {"1.2.840.113556.1.4.801", "LDAP_SERVER_SD_FLAGS_OID"},
    {"1.2.840.113556.1.4.528", "LDAP_SERVER_NOTIFICATION_OID"},
    {"1.2.840.113556.1.4.417", "LDAP_SERVER_SHOW_DELETED_OID"},
    {"1.2.840.113556.1.4.619", "LDAP_SERVER_LAZY_COMMIT_OID"},
    {"1.2.840.113556.1.4.841", "LDAP_SERVER_DIRSYNC_OID"},
    {"1.2.840.113556.1.4.529", "LDAP_SERVER_EXTENDED_DN_OID"},
    {"1.2.840.113556.1.4.805", "LDAP_SERVER_TREE_DELETE_OID"},
    {"1.2.840.113556.1.4.521", "LDAP_SERVER_CROSSDOM_MOVE_TARGET_OID"},
    {"1.2.840.113556.1.4.1338", "LDAP_SERVER_VERIFY_NAME_OID"},
    {"1.2.840.113556.1.4.1339", "LDAP_SERVER_DOMAIN_SCOPE_OID"},
    {"1.2.840.113556.1.4.1340", "LDAP_SERVER_SEARCH_OPTIONS_OID"},
    {"1.2.840.113556.1.4.1413", "LDAP_SERVER_PERMISSIVE_MODIFY_OID"},
    {"1.2.840.113556.1.4.970", "LDAP_SERVER_GET_STATS_OID"},
    {"2.16.840.1.113730.3.4.10", "LDAP_CONTROL_VLVRESPONSE"},
    {"2.16.840.1.113730.3.4.9", "LDAP_CONTROL_VLVREQUEST"},
    {"1.2.840.113556.1.4.1504", "LDAP_SERVER_ASQ_OID"},
    {"1.2.840.113556.1.4.1852", "LDAP_SERVER_QUOTA_CONTROL_OID"},
    {"1.2.840.113556.1.4.802", "LDAP_SERVER_RANGE_OPTION_OID"},
    {"1.2.840.113556.1.4.1907", "LDAP_SERVER_SHUTDOWN_NOTIFY_OID"},
    {"1.2.840.113556.1.4.1948", "LDAP_SERVER_RANGE_RETRIEVAL_NOERR"},
    {"1.2.840.113556.1.4.1974", "LDAP_SERVER_FORCE_UPDATE"},
    {"1.2.840.113556.1.4.1341", "****UNKNOWN****"},
};

constexpr TextRow kSupportedCapabilities[] = {
    {"1.2.840.113556.1.4.1791", "LDAP_CAP_ACTIVE_DIRECTORY_LDAP_INTEG_OID"},
    {"1.2.840.113556.1.4.800", "LDAP_CAP_ACTIVE_DIRECTORY_OID"},
    {"1.2.840.113556.1.4.1670", "LDAP_CAP_ACTIVE_DIRECTORY_V51_OID"},
    {"1.2.840.113556.1.4.1851", "LDAP_CAP_ACTIVE_DIRECTORY_ADAM_OID"},
    {"1.2.840.113556.1.4.1935", "LDAP_CAP_ACTIVE_DIRECTORY_V61_OID"},
    {"1.2.840.113556.1.4.1880", "LDAP_CAP_ACTIVE_DIRECTORY_ADAM_DIGEST"},
};

constexpr TextRow kSupportedExtensions[] = {
    {"1.3.6.1.4.1.1466.20037", "LDAP_SERVER_START_TLS_OID"},
    {"1.3.6.1.4.1.1466.101.119.1", "LDAP_TTL_REFRESH_OID"},
    {"1.2.840.113556.1.4.1781", "LDAP_SERVER_FAST_BIND_OID"},
    {"1.3.6.1.4.1.4203.1.11.3", "LDAP_SERVER_WHO_AM_I_OID"},
};

// The domain controller's level has no interim row.
constexpr NumberRow kControllerLevels[] = {
    {0, "Windows 2000 Mode"},
    {2, "Windows Server 2003 Mode"},
    {3, "Windows Longhorn Mode"},
};

constexpr NumberRow kDomainLevels[] = {
    {0, "Windows 2000 Domain Mode"},
    {1, "Windows Server 2003 Interim Domain Mode"},
    {2, "Windows Server 2003 Domain Mode"},
    {3, "Windows Longhorn Domain Mode"},
};

constexpr NumberRow kForestLevels[] = {
    {0, "Windows 2000 Forest Mode"},
    {1, "Windows Server 2003 Interim Forest Mode"},
    {2, "Windows Server 2003 Forest Mode"},
    {3, "Windows Longhorn Forest Mode"},
};

constexpr DecoderBlock kRootDseBlocks[] = {
    {.name = "supportedcontrol", .kind = BlockKind::kTextEquals, .texts = kSupportedControls},
    {.name = "supportedcapabilities", .kind = BlockKind::kTextEquals,
     .texts = kSupportedCapabilities},
    {.name = "supportedextension", .kind = BlockKind::kTextEquals, .texts = kSupportedExtensions},
    {.name = "domaincontrollerfunctionality", .kind = BlockKind::kNumberEquals,
     .numbers = kControllerLevels},
    {.name = "domainfunctionality", .kind = BlockKind::kNumberEquals, .numbers = kDomainLevels},
    {.name = "forestfunctionality", .kind = BlockKind::kNumberEquals, .numbers = kForestLevels},
};

// --- Schema -----------------------------------------------------------------------

// The index-dependent flags are marked "INVALID " on an attribute that is
// not indexed (index bit clear).
constexpr FlagRow kSearchFlags[] = {
    {0x001, "INDEX(1)"},
    {0x002, "CONTAINER INDEX(2)", true},
    {0x004, "ANR(4)", true},
    {0x008, "PRESERVE TOMBSTONE(8)"},
    {0x010, "COPY VALUE(16)"},
    {0x020, "TUPLE INDEX(32)", true},
    {0x040, "SUBTREE INDEX(64)", true},
    {0x080, "CONFIDENTIAL(128)"},
};

constexpr FlagRow kSchemaSystemFlags[] = {
    {0x00000001, "NOT REPLICATED(1)"},
    {0x00000002, "PAS-ATTR(2)"},
    {0x00000004, "CONSTRUCTED(4)"},
    {0x00000008, "OPERATIONAL(8)"},
    {0x00000010, "CAT-1(16)"},
    {0x00000020, "IS-RDN(32)"},
    {0x08000000, "NO-RENAME(134217728)"},
};

constexpr DecoderBlock kSchemaFlagBlocks[] = {
    {.name = "searchflags", .kind = BlockKind::kFlagWord, .flags = kSearchFlags, .indexBit = 1},
    {.name = "systemflags", .kind = BlockKind::kFlagWord, .flags = kSchemaSystemFlags},
};

constexpr TextRow kSyntaxes[] = {
    {"2.5.5.0", "UNDEFINED"},
    {"2.5.5.1", "OBJECT (DN)"},
    {"2.5.5.2", "STRING"},
    {"2.5.5.3", "STRING (CASE-SENSITIVE)"},
    {"2.5.5.4", "STRING (CASE-IGNORE TELETEX)"},
    {"2.5.5.5", "STRING (PRINTABLE/IA5)"},
    {"2.5.5.6", "STRING (NUMERIC)"},
    {"2.5.5.7", "OBJECT (DN-BINARY)"},
    {"2.5.5.8", "BOOLEAN"},
    {"2.5.5.9", "INTEGER/ENUMERATION"},
    {"2.5.5.10", "STRING (OCTET)"},
    {"2.5.5.11", "STRING (UTC/GENERALIZED TIME)"},
    {"2.5.5.12", "STRING (UNICODE)"},
    {"2.5.5.13", "OBJECT (PRESENTATION ADDRESS)"},
    {"2.5.5.14", "OBJECT (DN-STRING)"},
    {"2.5.5.15", "STRING (SECURITY DESCRIPTOR)"},
    {"2.5.5.16", "LARGEINTEGER"},
    {"2.5.5.17", "STRING (SID)"},
};

constexpr NumberRow kClassCategories[] = {
    {0, "CLASS-88"},
    {1, "STRUCTURAL"},
    {2, "ABSTRACT"},
    {3, "AUXILIARY"},
};

constexpr DecoderBlock kSyntaxBlocks[] = {
    {.name = "attributesyntax", .kind = BlockKind::kTextEquals, .texts = kSyntaxes},
    {.name = "objectclasscategory", .kind = BlockKind::kNumberEquals,
     .numbers = kClassCategories},
};

// --- Configuration ------------------------------------------------------------------

// Extended rights' access bits; these names keep a blank before the number.
constexpr FlagRow kValidAccesses[] = {
    {0x008, "SELF (8)"},
    {0x010, "READ_PROP (16)"},
    {0x020, "WRITE_PROP (32)"},
    {0x100, "CONTROL_ACCESS (256)"},
};

constexpr DecoderBlock kValidAccessesBlocks[] = {
    {.name = "validaccesses", .kind = BlockKind::kFlagWord, .flags = kValidAccesses,
     .remainderOpen = "UNKNOWN_FLAGS ("},
};

// Cross-references of the partitions.
constexpr FlagRow kCrossRefSystemFlags[] = {
    {0x00000001, "XREF_NC_NTDS(1)"},
    {0x00000002, "XREF_NC_Domain(2)"},
    {0x00000004, "XREF_NC_NOT_GC_REPLICATED(4)"},
    {0x02000000, "NO_MOVE_TO_DEL_OBJS(33554432)"},
    {0x10000000, "CAN_MOVE_RESTRICTED(268435456)"},
    {0x20000000, "CAN_MOVE_UNRESTRICTED(536870912)"},
    {0x40000000, "CAN_RENAME(1073741824)"},
    {0x80000000, "NO_DELETE(2147483648)"},
};

constexpr DecoderBlock kCrossRefBlocks[] = {
    {.name = "systemflags", .kind = BlockKind::kFlagWord, .flags = kCrossRefSystemFlags},
};

// --- Any object ---------------------------------------------------------------------

// The last row names bits 29 and 30 only when both are set.
constexpr FlagRow kObjectSystemFlags[] = {
    {0x02000000, "NO_MOVE_TO_DEL_OBJS(33554432)"},
    {0x04000000, "NO_MOVE(67108864)"},
    {0x08000000, "NO_RENAME(134217728)"},
    {0x80000000, "NO_DELETE(2147483648)"},
    {0x60000000, "EXCHANGE_NOT_NEEDED_BUG(1610612736)"},
};

constexpr DecoderBlock kObjectSystemFlagsBlocks[] = {
    {.name = "systemflags", .kind = BlockKind::kFlagWord, .flags = kObjectSystemFlags},
};

// Software packages: deployment flags, then the path type in bits 29 to 31.
constexpr FlagRow kPackageDeployment[] = {
    {0x00000004, "UNINSTALL_UNMANAGED(4)"},
    {0x00000008, "PUBLISHED_APP(8)"},
    {0x00000010, "POST_W2K_BETA3(16)"},
    {0x00000020, "USER_INSTALL_ADD_REMOVE_PRGS(32)"},
    {0x00000040, "ON_DEMAND_INSTALL(64)"},
    {0x00000080, "WILL_ORPHAN(128)"},
    {0x00000200, "PILOT(512)"},
    {0x00000400, "ASSIGNED(1024)"},
    {0x00000800, "ORPHAN_POLICY_REMOVAL(2048)"},
    {0x00001000, "WILL_UNINSTALL(4096)"},
    {0x00002000, "FULL_INSTALL_USER_ASSGNED_APPS(8192)"},
    {0x00004000, "FORCE_UPGD(16384)"},
    {0x00008000, "MINIMAL_INSTALL_UI(32768)"},
    {0x00010000, "32_BIT_ONLY(65536)"},
    {0x00020000, "ANY_LANGUAGE(131072)"},
    {0x00040000, "HAS_UPGDS(262144)"},
    {0x00080000, "FULL_INSTALL_UI(524288)"},
    {0x00100000, "PRESERVE_CLASSES(1048576)"},
};

constexpr const char* kPathTypes[] = {
    "PATHTYPE_EXE", "PATHTYPE_DLL", "PATHTYPE_TLB",           "PATHTYPE_CAB",
    "PATHTYPE_INF", "PATHTYPE_MSI", "PATHTYPE_SETUPNAMEPATH",
};

constexpr FieldNames kPathType = {0xE0000000, 29, kPathTypes, "PATHTYPE_UNKNOWN"};

constexpr DecoderBlock kPackageBlocks[] = {
    {.name = "packageflags", .kind = BlockKind::kFlagWord, .flags = kPackageDeployment,
     .field = &kPathType},
};

constexpr FlagRow kInstanceType[] = {
    {0x01, "NC_HEAD(1)"},
    {0x02, "NOT_INSTANTIATED(2)"},
    {0x04, "WRITABLE(4)"},
    {0x08, "NC_ABOVE_HELD(8)"},
    {0x10, "NC_UNDER_CONSTRUCTION(16)"},
    {0x20, "NC_BEING_REMOVED(32)"},
};

constexpr DecoderBlock kInstanceTypeBlocks[] = {
    {.name = "instancetype", .kind = BlockKind::kFlagWord, .flags = kInstanceType},
};

constexpr NumberRow kBehaviorVersions[] = {
    {0, "Windows 2000 Mode"},
    {1, "Windows Server 2003 Interim Mode"},
    {2, "Windows Server 2003 Mode"},
    {3, "Windows Longhorn Mode"},
};

constexpr DecoderBlock kBehaviorVersionBlocks[] = {
    {.name = "msds-behavior-version", .kind = BlockKind::kNumberEquals,
     .numbers = kBehaviorVersions},
};

}  // namespace

constinit const FlagDecoder kSamAttributesDecoder = {NameTest::kExact, kSamBlocks};
constinit const FlagDecoder kDomainIntervalsDecoder = {NameTest::kExact, kIntervalBlocks};
constinit const FlagDecoder kRootDseAttributesDecoder = {NameTest::kPrefix, kRootDseBlocks};
constinit const FlagDecoder kSchemaAttributeFlagsDecoder = {NameTest::kPrefix, kSchemaFlagBlocks};
constinit const FlagDecoder kAttributeSyntaxDecoder = {NameTest::kPrefix, kSyntaxBlocks};
constinit const FlagDecoder kValidAccessesDecoder = {NameTest::kExact, kValidAccessesBlocks};
constinit const FlagDecoder kCrossRefSystemFlagsDecoder = {NameTest::kPrefix, kCrossRefBlocks};
constinit const FlagDecoder kObjectSystemFlagsDecoder = {NameTest::kPrefix, kObjectSystemFlagsBlocks};
constinit const FlagDecoder kPackageFlagsDecoder = {NameTest::kPrefix, kPackageBlocks};
constinit const FlagDecoder kBehaviorVersionDecoder = {NameTest::kPrefix, kBehaviorVersionBlocks};
constinit const FlagDecoder kInstanceTypeDecoder = {NameTest::kPrefix, kInstanceTypeBlocks};

#define QUELBY_DECODER(function, table)                                                   \
  void function(std::string rawName, std::string attrName, plat::LDAP* ld,               \
                plat::LDAPMessage* entry, bool noLabel, std::string* out) {              \
    DecodeAttributeValues(table, rawName, attrName, ld, entry, noLabel, out);            \
  }

QUELBY_DECODER(DecodeSamAttributes, kSamAttributesDecoder)
QUELBY_DECODER(DecodeDomainIntervals, kDomainIntervalsDecoder)
QUELBY_DECODER(DecodeRootDSEAttributes, kRootDseAttributesDecoder)
QUELBY_DECODER(DecodeSchemaAttributeFlags, kSchemaAttributeFlagsDecoder)
QUELBY_DECODER(DecodeAttributeSyntax, kAttributeSyntaxDecoder)
QUELBY_DECODER(DecodeValidAccesses, kValidAccessesDecoder)
QUELBY_DECODER(DecodeCrossRefSystemFlags, kCrossRefSystemFlagsDecoder)
QUELBY_DECODER(DecodeObjectSystemFlags, kObjectSystemFlagsDecoder)
QUELBY_DECODER(DecodePackageFlags, kPackageFlagsDecoder)
QUELBY_DECODER(DecodeBehaviorVersion, kBehaviorVersionDecoder)
QUELBY_DECODER(DecodeInstanceType, kInstanceTypeDecoder)

#undef QUELBY_DECODER
