#include "shortcuts/shortcut_table.h"

namespace {

constexpr std::string_view kNotSet = "<NOT SET>";
// Sort keys spelled exactly as the attribute the entry requests: some
// servers leave a requested attribute out of sorted results when the sort
// key names it in another case.
constexpr std::string_view kDisplayName = "displayName";
constexpr std::string_view kLdapDisplayName = "ldapDisplayName";

FilterChoice Wrapped(std::string_view text) {
  return {When::kAlways, "", FilterForm::kWrapped, text};
}
FilterChoice WrappedIf(When when, std::string_view text) {
  return {when, "", FilterForm::kWrapped, text};
}
FilterChoice WrappedIfArg(std::string_view word, std::string_view text) {
  return {When::kArgIs, word, FilterForm::kWrapped, text};
}
FilterChoice AsIsIfArg(std::string_view word, std::string_view text) {
  return {When::kArgIs, word, FilterForm::kAsIs, text};
}
FilterChoice AsIs(std::string_view text) {
  return {When::kAlways, "", FilterForm::kAsIs, text};
}
FilterChoice InnerAndIfArg(std::string_view word, std::string_view text) {
  return {When::kArgIs, word, FilterForm::kInnerAnd, text};
}
FilterChoice InnerAnd(std::string_view text) {
  return {When::kAlways, "", FilterForm::kInnerAnd, text};
}

SwitchWrite Set(std::string_view name, std::string_view value = "") {
  return {When::kAlways, "", false, name, value};
}
SwitchWrite SetIf(When when, std::string_view name, std::string_view value = "") {
  return {when, "", false, name, value};
}
SwitchWrite SetIfArg(std::string_view word, std::string_view name,
                     std::string_view value = "") {
  return {When::kArgIs, word, false, name, value};
}
// Set only when the store does not hold the switch yet.
SwitchWrite SetIfAbsent(When when, std::string_view name, std::string_view value) {
  return {when, "", true, name, value};
}

// The CSV choice: the argument "csv" gives CSV output, anything else the
// attributes in list order; "<NOT SET>" stands for a missing value.
const SwitchWrite kCsvForm = {When::kArgIs, "csv", false, "csv", kNotSet};
const SwitchWrite kOaoForm = {When::kArgIsNot, "csv", false, "oao", kNotSet};

std::vector<ShortcutEntry> BuildTable() {
  using enum AttrChange;
  std::vector<ShortcutEntry> t;
  t.reserve(90);

  // Partitions and functional levels.
  t.push_back({"modes", {Wrapped("(objectclass=*)")},
               {Set("b"), Set("s", "base"), Set("oao", kNotSet), Set("rootdsedc"), Set("flagdc")},
               kReplace,
               {"domainControllerFunctionality", "domainFunctionality", "forestFunctionality"}});
  t.push_back({"forestmodes",
               {Wrapped("(|(systemflags:1.2.840.113556.1.4.803:=2)(cn=Partitions))")},
               {Set("config"), Set("rb", "cn=partitions"), Set("flagdc"), kCsvForm, kOaoForm},
               kAppend, {"msDS-Behavior-Version", "nETBIOSName", "nCName"}});
  t.push_back({"dcmodes", {Wrapped("(objectcategory=ntdsdsa)")},
               {Set("config"), Set("rb", "CN=Sites"), Set("flagdc"), kCsvForm, kOaoForm},
               kAppend, {"msDS-Behavior-Version"}});
  t.push_back({"masterncs", {Wrapped("(objectcategory=ntdsdsa)")},
               {Set("config"), Set("rb", "CN=Sites"), Set("flagdc"), kCsvForm, kOaoForm},
               kAppend, {"msDS-hasMasterNCs"}});
  t.push_back({"domainncs", {Wrapped("(systemflags:1.2.840.113556.1.4.803:=2)")},
               {Set("config"), Set("rb", "cn=partitions"), kCsvForm, kOaoForm},
               kAppend, {"nETBIOSName", "nCName", "dNSRoot"}});
  t.push_back({"domainncssl", {Wrapped("(systemflags:1.2.840.113556.1.4.803:=2)")},
               {Set("config"), Set("rb", "cn=partitions"), Set("flagdc"), Set("oao", kNotSet),
                Set("list")},
               kAppend, {"nCName"}});
  t.push_back({"appparts", {Wrapped("(systemflags:1.2.840.113556.1.4.803:=4)")},
               {Set("config"), Set("rb", "cn=partitions"), Set("flagdc"), kCsvForm, kOaoForm},
               kAppend, {"nCName", "dNSRoot"}});
  t.push_back({"appparts+", {Wrapped("(systemflags:1.2.840.113556.1.4.803:=4)")},
               {Set("config"), Set("rb", "cn=partitions"), Set("flagdc"), kCsvForm, kOaoForm},
               kAppend,
               {"nCName", "dNSRoot", "msDS-NC-Replica-Locations", "msDS-SDReferenceDomain",
                "msDS-Replication-Notify-First-DSA-Delay",
                "msDS-Replication-Notify-Subsequent-DSA-Delay"}});
  t.push_back({"apppartsl", {Wrapped("(systemflags:1.2.840.113556.1.4.803:=4)")},
               {Set("config"), Set("rb", "cn=partitions"), Set("flagdc"), Set("oao", kNotSet),
                Set("list")},
               kAppend, {"nCName"}});

  // Identity, SID and GUID lookups.
  t.push_back({"whoami", {Wrapped("(objectclass=*)")},
               {Set("rootdsedc"), Set("flagdc"), Set("b"), Set("s", "base"),
                SetIfArg("csv", "nodn"), kCsvForm, kOaoForm},
               kReplace, {"msDS-PrincipalName", "tokenGroups"}});
  t.push_back({"adamsid", {Wrapped("(objectsid=%S)")},
               {Set("binenc"), SetIf(When::kNoBase, "b"), SetIf(When::kNoBase, "pr")},
               kAppend, {}});
  t.push_back({"adsid", {Wrapped("(|(objectsid=%S)(sidhistory=%S))")},
               {Set("binenc"), Set("b"), Set("gc")}, kAppend, {}});
  t.push_back({"sguid",
               {Wrapped("(|(&(objectcategory=classschema)(schemaIdGuid=%G))"
                        "(&(objectcategory=attributeschema)(schemaIdGuid=%G))"
                        "(&(objectcategory=controlAccessRight)(rightsGuid=%A)))")},
               {Set("binenc"), Set("b"), Set("schdc"), Set("flagdc"), Set("pr")}, kAppend, {}});
  t.push_back({"s2kguid",
               {Wrapped("(|(&(objectcategory=classschema)(schemaIdGuid=%G))"
                        "(&(objectcategory=attributeschema)(schemaIdGuid=%G)))")},
               {Set("binenc"), Set("b"), Set("schdc"), Set("flagdc"), Set("schema")}, kAppend, {}});
  t.push_back({"r2kguid", {Wrapped("(&(objectcategory=controlAccessRight)(rightsGuid=%A))")},
               {Set("config"), Set("rb", "cn=extended-rights"), Set("s", "one")},
               kAppend, {"displayName"}});

  // Property sets, validated writes and extended rights.
  t.push_back({"findpropsetrg", {Wrapped("(displayname=%A)")},
               {Set("config"), Set("rb", "cn=extended-rights"), Set("s", "one")},
               kAppend, {"rightsGuid"}});
  constexpr std::string_view kPropSetMembers =
      "(&(objectcategory=attributeschema)(attributeSecurityGUID=%G))";
  t.push_back({"propsetmembers", {Wrapped(kPropSetMembers)},
               {Set("binenc"), Set("schema"), Set("s", "one"), Set("schdc"), Set("flagdc")},
               kAppend, {}});
  t.push_back({"propsetmembersl", {Wrapped(kPropSetMembers)},
               {Set("binenc"), Set("schema"), Set("s", "one"), Set("list", "ldapDisplayName"),
                Set("sort"), Set("flagdc")},
               kAppend, {}});
  struct RightsKind {
    std::string_view plain, list, csv, filter;
  };
  for (const RightsKind& k : {
           RightsKind{"listpropsets", "listpropsetsl", "listpropsetscsv", "(validaccesses=48)"},
           RightsKind{"listvwrites", "listvwritesl", "listvwritescsv", "(validaccesses=8)"},
           RightsKind{"listxrights", "listxrightsl", "listxrightscsv", "(validaccesses=256)"}}) {
    t.push_back({k.plain, {Wrapped(k.filter)},
                 {Set("rb", "CN=Extended-Rights"), Set("config"), Set("s", "one"),
                  Set("sort", "displayname"), Set("flagdc")},
                 kAppend, {}});
    t.push_back({k.list, {Wrapped(k.filter)},
                 {Set("rb", "CN=Extended-Rights"), Set("config"), Set("s", "one"),
                  Set("list", "displayName"), Set("sort", kDisplayName)},
                 kAppend, {}});
    t.push_back({k.csv, {Wrapped(k.filter)},
                 {Set("rb", "CN=Extended-Rights"), Set("config"), Set("s", "one"), Set("csv"),
                  Set("nodn"), Set("sort", "displayname")},
                 kAppend, {"displayname", "rightsguid"}});
  }

  // Object GUID lookups.
  t.push_back({"adguid", {Wrapped("(|(objectguid=%G)(msExchMailboxGuid=%G))")},
               {Set("binenc"), SetIf(When::kNoBase, "b"), Set("gc")}, kAppend, {}});
  t.push_back({"adamguid", {Wrapped("(objectguid=%G)")},
               {Set("binenc"), SetIf(When::kNoBase, "b"), Set("pr")}, kAppend, {}});

  // Schema queries: each filter in a plain form (schema objects, decoded)
  // and a list form (sorted lDAPDisplayName values only).
  struct SchemaQuery {
    std::string_view plain, list, filter;
  };
  for (const SchemaQuery& q : {
           SchemaQuery{"s", "sl", "(|(ldapdisplayname=%A)(name=%A))"},
           SchemaQuery{"scontains", "scontainsl",
                       "(|(maycontain=%A)(systemmaycontain=%A)(mustcontain=%A)"
                       "(systemmustcontain=%A))"},
           SchemaQuery{"cc", "ccl",
                       "(|(subclassof=%A)(auxiliaryclass=%A)(systemauxiliaryclass=%A))"},
           SchemaQuery{"pas", "pasl",
                       "(|(isMemberOfPartialAttributeSet=TRUE)"
                       "(systemFlags:1.2.840.113556.1.4.803:=2))"},
           SchemaQuery{"indexed", "indexedl", "(searchFlags:1.2.840.113556.1.4.803:=1)"},
           SchemaQuery{"cindexed", "cindexedl", "(searchFlags:1.2.840.113556.1.4.803:=2)"},
           SchemaQuery{"sindexed", "sindexedl", "(searchFlags:1.2.840.113556.1.4.803:=64)"},
           SchemaQuery{"confidential", "confidentiall",
                       "(searchFlags:1.2.840.113556.1.4.803:=128)"},
           SchemaQuery{"copy", "copyl", "(searchFlags:1.2.840.113556.1.4.803:=16)"},
           SchemaQuery{"constructed", "constructedl", "(systemFlags:1.2.840.113556.1.4.803:=4)"},
           SchemaQuery{"cat1", "cat1l", "(systemFlags:1.2.840.113556.1.4.803:=16)"},
           SchemaQuery{"norepl", "norepll", "(systemFlags:1.2.840.113556.1.4.803:=1)"},
           SchemaQuery{"norepl+", "norepll+",
                       "(&(systemFlags:1.2.840.113556.1.4.803:=1)"
                       "(!(linkid:1.2.840.113556.1.4.803:=1)))"},
           SchemaQuery{"anr", "anrl", "(searchFlags:1.2.840.113556.1.4.803:=4)"},
           SchemaQuery{"tuple", "tuplel", "(searchFlags:1.2.840.113556.1.4.803:=32)"}}) {
    t.push_back({q.plain, {Wrapped(q.filter)},
                 {Set("schema"), Set("schdc"), Set("flagdc"), Set("s", "one")}, kAppend, {}});
    std::vector<SwitchWrite> listWrites = {Set("schema"), Set("s", "one"),
                                           Set("sort", kLdapDisplayName), Set("list")};
    if (q.list == "ccl") {
      listWrites.push_back(Set("schdc"));
      listWrites.push_back(Set("flagdc"));
    }
    if (q.list == "sindexedl") listWrites.push_back(Set("alldc"));
    t.push_back({q.list, {Wrapped(q.filter)}, listWrites, kReplace, {"ldapDisplayName"}});
  }

  // Schema dump in a fixed layout for comparing schemas.
  t.push_back({"sdump",
               {WrappedIfArg("attrib", "(objectcategory=attributeSchema)"),
                WrappedIfArg("class", "(objectcategory=classSchema)"), Wrapped("(name=*)")},
               {kCsvForm, kOaoForm, Set("s", "one"), Set("schema"), Set("sort", "name"),
                Set("replacedn", "_schema;_config")},
               kAppend,
               {"adminDescription", "adminDisplayName", "attributeID", "attributeSecurityGUID",
                "attributeSyntax", "auxiliaryClass", "cn", "defaultHidingValue",
                "defaultObjectCategory", "defaultSecurityDescriptor", "description",
                "extendedCharsAllowed", "governsID", "isDefunct", "isMemberOfPartialAttributeSet",
                "isSingleValued", "lDAPDisplayName", "linkID", "mAPIID", "mayContain",
                "mustContain", "objectClass", "objectClassCategory", "oMSyntax", "possSuperiors",
                "rangeLower", "rangeUpper", "rDNAttID", "schemaIDGUID", "searchFlags",
                "showInAdvancedViewOnly", "subClassOf", "systemAuxiliaryClass", "systemFlags",
                "systemMayContain", "systemMustContain", "systemOnly", "systemPossSuperiors"}});

  // Tombstone and linked attributes. The fwd and rev forms replace the
  // wrapped filter, so -af does not narrow them.
  constexpr std::string_view kTombstone = "(searchFlags:1.2.840.113556.1.4.803:=8)";
  t.push_back({"tombstone", {Wrapped(kTombstone)},
               {Set("s", "one"), Set("schema"), Set("schdc"), Set("flagdc")}, kAppend, {}});
  t.push_back({"tombstonel", {Wrapped(kTombstone)},
               {Set("s", "one"), Set("schema"), Set("sort", kLdapDisplayName), Set("list")},
               kReplace, {"ldapDisplayName"}});
  const std::vector<FilterChoice> linkedFilters = {
      AsIsIfArg("fwd", "&(linkid=*)(!(linkid:1.2.840.113556.1.4.803:=1))"),
      AsIsIfArg("rev", "&(linkid=*)(linkid:1.2.840.113556.1.4.803:=1)"),
      Wrapped("(linkid=*)")};
  t.push_back({"linked", linkedFilters,
               {Set("s", "one"), Set("schema"), Set("schdc"), Set("flagdc"), Set("sort", "linkid")},
               kAppend, {}});
  t.push_back({"linkedl", linkedFilters,
               {Set("s", "one"), Set("schema"), Set("sort", kLdapDisplayName), Set("list")},
               kAppend, {"ldapDisplayName"}});

  // Universal group caching.
  constexpr std::string_view kUgcSites =
      "(&(objectCategory=nTDSSiteSettings)(options:1.2.840.113556.1.4.803:=32))";
  t.push_back({"ugcenabled", {Wrapped(kUgcSites)},
               {Set("dn"), SetIf(When::kNoBase, "config"), SetIf(When::kNoBase, "rb", "CN=Sites")},
               kAppend, {}});
  t.push_back({"ugcenabledl", {Wrapped(kUgcSites)},
               {Set("list", "distinguishedName"), SetIf(When::kNoBase, "config"),
                SetIf(When::kNoBase, "rb", "CN=Sites")},
               kAppend, {}});
  t.push_back({"usedugc", {Wrapped("(msDS-Site-Affinity=*)")},
               {SetIf(When::kNoBase, "default"), SetIfArg("decode", "sitenamedc"),
                SetIfArg("decode", "tdcas")},
               kAppend, {"msDS-Site-Affinity"}});
  t.push_back({"dumpugcinfo", {Wrapped("(msDS-Site-Affinity=*)")},
               {SetIf(When::kNoBase, "default"), SetIfArg("decode", "resolvesids"),
                SetIfArg("decode", "sitenamedc"), SetIfArg("decode", "tdcas")},
               kAppend,
               {"msDS-Site-Affinity", "MSDS-Cached-Membership", "msDS-Cached-Membership-Time-Stamp"}});

  // Quick object lookups: the whole forest through the global catalog
  // unless the user gave a base.
  const std::vector<SwitchWrite> forestUnlessBase = {SetIf(When::kNoBase, "b"), Set("gc")};
  t.push_back({"fo", {Wrapped("(name=%A)")}, forestUnlessBase, kAppend, {}});
  t.push_back({"kids", {Wrapped("(objectclass=*)")}, {Set("b", "%A"), Set("s", "one")},
               kAppend, {}});
  t.push_back({"u",
               {Wrapped("(|(&(samaccounttype=805306368)(name=%A))"
                        "(&(samaccounttype=805306368)(samaccountname=%A)))")},
               forestUnlessBase, kAppend, {}});
  t.push_back({"g",
               {Wrapped("(|(&(objectcategory=group)(name=%A))"
                        "(&(objectcategory=group)(samaccountname=%A)))")},
               forestUnlessBase, kAppend, {}});
  t.push_back({"c",
               {Wrapped("(|(&(objectcategory=computer)(name=%A))"
                        "(&(objectcategory=computer)(samaccountname=%A)))")},
               forestUnlessBase, kAppend, {}});

  // Role holders, chosen by a role word; computed user attributes.
  t.push_back({"fsmo", {Wrapped("(fSMORoleOwner=*)")},
               {SetIfArg("", "b"), SetIfArg("", "pr"),
                SetIfArg("all", "b"), SetIfArg("all", "pr"),
                SetIfArg("domain", "default"),
                SetIfArg("pdc", "default"), SetIfArg("pdc", "s", "base"),
                SetIfArg("rid", "default"), SetIfArg("rid", "rb", "CN=RID Manager$,CN=System"),
                SetIfArg("rid", "s", "base"),
                SetIfArg("im", "default"), SetIfArg("im", "rb", "CN=Infrastructure"),
                SetIfArg("im", "s", "base"),
                SetIfArg("forest", "config"), SetIfArg("forest", "pr"),
                SetIfArg("schema", "schema"), SetIfArg("schema", "s", "base"),
                SetIfArg("dnm", "config"), SetIfArg("dnm", "rb", "CN=Partitions"),
                SetIfArg("dnm", "s", "base")},
               kAppend, {"fSMORoleOwner"}});
  t.push_back({"caua", {}, {}, kAppend,
               {"*", "ms-DS-UserAccountAutoLocked", "ms-DS-UserEncryptedTextPasswordAllowed",
                "ms-DS-UserPasswordNotRequired", "msDS-User-Account-Control-Computed",
                "msDS-UserAccountDisabled", "msDS-UserDontExpirePassword",
                "msDS-UserPasswordExpired"}});

  // Security descriptors: the user's filter, or every object.
  t.push_back({"sdfilter", {},
               {SetIf(When::kDefaultBase, "default"), Set("sddl++"),
                SetIfAbsent(When::kAlways, "f", "*"), Set("resolvesids"),
                SetIf(When::kArgGiven, "mvfilter", "ntsecuritydescriptor=%A")},
               kAppend, {"ntsecuritydescriptor"}});
  t.push_back({"sdfilterns", {},
               {SetIf(When::kDefaultBase, "default"), Set("nosacl"),
                SetIfAbsent(When::kAlways, "f", "*"), Set("sddl++"), Set("resolvesids"),
                SetIf(When::kArgGiven, "mvfilter", "ntsecuritydescriptor=%A")},
               kAppend, {"ntsecuritydescriptor"}});
  t.push_back({"explaces", {},
               {SetIf(When::kDefaultBase, "b"), SetIf(When::kDefaultBase, "gc"),
                SetIfAbsent(When::kAlways, "f", "*"), Set("recmute"), Set("nogroup"),
                Set("noowner"), Set("nosacl"), Set("sddl++"), Set("resolvesids"),
                Set("sddlnotfilter", ";inherited"),
                SetIf(When::kArgGiven, "sddlfilter", ";;;;;%A")},
               kAppend, {"ntsecuritydescriptor"}});

  // Exchange: mail-enabled objects across the forest.
  t.push_back({"exchaddresses",
               {WrappedIf(When::kArgGiven, "(&(mailnickname=*)(proxyaddresses=%A*))"),
                Wrapped("(&(mailnickname=*)(proxyaddresses=*))")},
               {SetIfAbsent(When::kArgGiven, "mvfilter", "proxyaddresses=%A"),
                SetIf(When::kNoBase, "b"), Set("gc")},
               kAppend, {"proxyAddresses"}});
  t.push_back({"exchmbxs", {Wrapped("(&(mailnickname=*)(homemdb=*))")}, forestUnlessBase,
               kAppend, {}});
  constexpr std::string_view kNoMailbox = "(&(mailnickname=*)(!(homemdb=*)))";
  t.push_back({"exchme",
               {InnerAndIfArg("groups", "(&(mailnickname=*)(!(homemdb=*)))(objectcategory=group)"),
                InnerAndIfArg("users",
                              "(&(mailnickname=*)(!(homemdb=*)))(samaccounttype=805306368)"),
                InnerAndIfArg("contacts", "(&(mailnickname=*)(!(homemdb=*)))"
                                          "(objectcategory=person)(objectclass=contact)"),
                InnerAnd(kNoMailbox)},
               forestUnlessBase, kAppend, {}});
  t.push_back({"exchsmtpaddr", {Wrapped("(&(mailnickname=*)(proxyaddresses=smtp:*%A))")},
               {SetIfAbsent(When::kNoArg, "mvfilter", "proxyaddresses=smtp:"),
                SetIfAbsent(When::kArgGiven, "mvfilter", "proxyaddresses=@%A"),
                SetIf(When::kNoBase, "b"), Set("gc")},
               kAppend, {"proxyAddresses"}});
  t.push_back({"exchprimarysmtp", {Wrapped("(&(mailnickname=*)(proxyaddresses=smtp:*))")},
               {SetIfAbsent(When::kAlways, "mvfilter", "proxyaddresses=SMTP:"), Set("mvfiltercs"),
                SetIf(When::kNoBase, "b"), Set("gc")},
               kAppend, {"proxyAddresses"}});

  // Replication and metadata: ";binary" forms that the value printer
  // decodes. The ";" inside the names is why the value filter list is cut
  // at "*" here.
  t.push_back({"objmeta", {}, {SetIf(When::kNoBase, "b", "%A"), Set("s", "base")}, kAppend,
               {"msDS-ReplAttributeMetaData;binary", "msDS-ReplValueMetaData;binary"}});
  t.push_back({"objsmeta", {}, {SetIf(When::kNoBase, "b", "%A")}, kAppend,
               {"msDS-ReplAttributeMetaData;binary", "msDS-ReplValueMetaData;binary"}});
  constexpr std::string_view kLegacyValues = "msDS-ReplValueMetaData;binary=legacy";
  t.push_back({"legacylvr", {},
               {SetIf(When::kNoBase, "b", "%A"), Set("s", "base"), Set("mvfilterdelim", "*"),
                Set("mvfilter", kLegacyValues)},
               kAppend, {"msDS-ReplValueMetaData;binary"}});
  t.push_back({"legacylvrs", {},
               {SetIf(When::kNoBase, "b", "%A"), Set("mvfilterdelim", "*"),
                Set("mvfilter", kLegacyValues)},
               kAppend, {"msDS-ReplValueMetaData;binary"}});
  t.push_back({"legacygroupmembers", {AsIs("&(objectcategory=group)(member=*)")},
               {SetIf(When::kNoBase, "b", "%A"), Set("mvfilterdelim", "*"),
                Set("mvfilter", kLegacyValues)},
               kAppend, {"msDS-ReplValueMetaData;binary"}});
  t.push_back({"replqueue", {}, {Set("rootdse"), Set("oao", kNotSet)}, kAppend,
               {"msDS-ReplQueueStatistics;binary", "msDS-ReplPendingOps;binary",
                "msDS-ReplConnectionFailures;binary", "msDS-ReplLinkFailures;binary",
                "msDS-ReplAllInboundNeighbors;binary", "msDS-ReplAllOutboundNeighbors;binary"}});
  t.push_back({"ncrepl", {}, {Set("oao", kNotSet), Set("s", "base")}, kAppend,
               {"msDS-NCReplCursors;binary", "msDS-NCReplInboundNeighbors;binary",
                "msDS-NCReplOutboundNeighbors;binary"}});
  return t;
}

}  // namespace

const std::vector<ShortcutEntry>& ShortcutTable() {
  static const std::vector<ShortcutEntry> table = BuildTable();
  return table;
}
