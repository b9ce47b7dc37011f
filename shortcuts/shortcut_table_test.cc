// Every one of the ninety shortcuts, run through the whole pass on a store
// that holds only -sc: the -f value, every other switch, the attributes.
#include "shortcuts/shortcut_table.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "shortcuts/expand_shortcuts.h"
#include "shortcuts/shortcut_test_store.h"

namespace {

using shortcut_test::Store;
using shortcut_test::Switches;

constexpr char kSid[] = "S-1-5-21-1004-2002-3003-500";
constexpr char kGuid[] = "bf967aba-0de6-11d0-A285-00aa003049e2";
const std::string kSidToken = std::string("{{SID:") + kSid + "}}";
const std::string kGuidToken = std::string("{{GUID:") + kGuid + "}}";
const std::string kSchemaNames = "schema|s=one|sort=ldapDisplayName|list";

struct Expansion {
  std::string sc;                       // the -sc value
  std::string filter;                   // expected -f ("-" when not set)
  std::vector<std::string> switches;    // every switch besides -sc and -f
  std::vector<std::string> attributes;  // the attribute list afterwards
};

std::vector<std::string> Split(const std::string& joined) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start <= joined.size()) {
    size_t bar = joined.find('|', start);
    if (bar == std::string::npos) bar = joined.size();
    out.push_back(joined.substr(start, bar - start));
    start = bar + 1;
  }
  return out;
}

std::vector<std::string> Join(std::vector<std::string> a, const std::string& more) {
  for (const std::string& s : Split(more)) a.push_back(s);
  return a;
}

std::vector<Expansion> AllExpansions() {
  const std::string bit = "1.2.840.113556.1.4.803";
  const std::vector<std::string> dumpAttrs = {
      "adminDescription", "adminDisplayName", "attributeID", "attributeSecurityGUID",
      "attributeSyntax", "auxiliaryClass", "cn", "defaultHidingValue", "defaultObjectCategory",
      "defaultSecurityDescriptor", "description", "extendedCharsAllowed", "governsID",
      "isDefunct", "isMemberOfPartialAttributeSet", "isSingleValued", "lDAPDisplayName",
      "linkID", "mAPIID", "mayContain", "mustContain", "objectClass", "objectClassCategory",
      "oMSyntax", "possSuperiors", "rangeLower", "rangeUpper", "rDNAttID", "schemaIDGUID",
      "searchFlags", "showInAdvancedViewOnly", "subClassOf", "systemAuxiliaryClass",
      "systemFlags", "systemMayContain", "systemMustContain", "systemOnly",
      "systemPossSuperiors"};
  const std::vector<std::string> replAttrs = {"msDS-ReplAttributeMetaData;binary",
                                              "msDS-ReplValueMetaData;binary"};
  const std::string legacy = "mvfilterdelim=*|mvfilter=msDS-ReplValueMetaData;binary=legacy";
  std::vector<Expansion> x = {
      {"modes", "(objectclass=*)", {"b", "s=base", "oao=<NOT SET>", "rootdsedc", "flagdc"},
       {"domainControllerFunctionality", "domainFunctionality", "forestFunctionality"}},
      {"forestmodes", "(|(systemflags:" + bit + ":=2)(cn=Partitions))",
       {"config", "rb=cn=partitions", "flagdc", "oao=<NOT SET>"},
       {"msDS-Behavior-Version", "nETBIOSName", "nCName"}},
      {"dcmodes:x", "(objectcategory=ntdsdsa)",
       {"config", "rb=CN=Sites", "flagdc", "oao=<NOT SET>"}, {"msDS-Behavior-Version"}},
      {"masterncs:CSV", "(objectcategory=ntdsdsa)",
       {"config", "rb=CN=Sites", "flagdc", "csv=<NOT SET>"}, {"msDS-hasMasterNCs"}},
      {"domainncs", "(systemflags:" + bit + ":=2)",
       {"config", "rb=cn=partitions", "oao=<NOT SET>"}, {"nETBIOSName", "nCName", "dNSRoot"}},
      {"domainncssl:csv", "(systemflags:" + bit + ":=2)",
       {"config", "rb=cn=partitions", "flagdc", "oao=<NOT SET>", "list"}, {"nCName"}},
      {"appparts", "(systemflags:" + bit + ":=4)",
       {"config", "rb=cn=partitions", "flagdc", "oao=<NOT SET>"}, {"nCName", "dNSRoot"}},
      {"appparts+:csv", "(systemflags:" + bit + ":=4)",
       {"config", "rb=cn=partitions", "flagdc", "csv=<NOT SET>"},
       {"nCName", "dNSRoot", "msDS-NC-Replica-Locations", "msDS-SDReferenceDomain",
        "msDS-Replication-Notify-First-DSA-Delay",
        "msDS-Replication-Notify-Subsequent-DSA-Delay"}},
      {"apppartsl", "(systemflags:" + bit + ":=4)",
       {"config", "rb=cn=partitions", "flagdc", "oao=<NOT SET>", "list"}, {"nCName"}},

      {"whoami:Csv", "(objectclass=*)",
       {"rootdsedc", "flagdc", "b", "s=base", "nodn", "csv=<NOT SET>"},
       {"msDS-PrincipalName", "tokenGroups"}},
      {std::string("adamsid:") + kSid, "(objectsid=" + kSidToken + ")", {"binenc", "b", "pr"}, {}},
      {std::string("adsid:") + kSid,
       "(|(objectsid=" + kSidToken + ")(sidhistory=" + kSidToken + "))", {"binenc", "b", "gc"},
       {}},
      {std::string("sguid:") + kGuid,
       "(|(&(objectcategory=classschema)(schemaIdGuid=" + kGuidToken +
           "))(&(objectcategory=attributeschema)(schemaIdGuid=" + kGuidToken +
           "))(&(objectcategory=controlAccessRight)(rightsGuid=" + kGuid + ")))",
       {"binenc", "b", "schdc", "flagdc", "pr"}, {}},
      {std::string("s2kguid:") + kGuid,
       "(|(&(objectcategory=classschema)(schemaIdGuid=" + kGuidToken +
           "))(&(objectcategory=attributeschema)(schemaIdGuid=" + kGuidToken + ")))",
       {"binenc", "b", "schdc", "flagdc", "schema"}, {}},
      {std::string("r2kguid:") + kGuid,
       std::string("(&(objectcategory=controlAccessRight)(rightsGuid=") + kGuid + "))",
       {"config", "rb=cn=extended-rights", "s=one"}, {"displayName"}},

      {"findpropsetrg:Public Information", "(displayname=Public Information)",
       {"config", "rb=cn=extended-rights", "s=one"}, {"rightsGuid"}},
      {std::string("propsetmembers:") + kGuid,
       "(&(objectcategory=attributeschema)(attributeSecurityGUID=" + kGuidToken + "))",
       {"binenc", "schema", "s=one", "schdc", "flagdc"}, {}},
      {std::string("propsetmembersl:") + kGuid,
       "(&(objectcategory=attributeschema)(attributeSecurityGUID=" + kGuidToken + "))",
       {"binenc", "schema", "s=one", "list=ldapDisplayName", "sort", "flagdc"}, {}},
  };
  for (const auto& [kind, value] : std::vector<std::pair<std::string, std::string>>{
           {"propsets", "48"}, {"vwrites", "8"}, {"xrights", "256"}}) {
    const std::string f = "(validaccesses=" + value + ")";
    const std::vector<std::string> base = {"rb=CN=Extended-Rights", "config", "s=one"};
    x.push_back({"list" + kind + ":x", f, Join(base, "sort=displayname|flagdc"), {}});
    x.push_back({"list" + kind + "l", f, Join(base, "list=displayName|sort=displayName"), {}});
    x.push_back({"list" + kind + "csv", f, Join(base, "csv|nodn|sort=displayname"),
                 {"displayname", "rightsguid"}});
  }
  x.push_back({std::string("adguid:") + kGuid,
               "(|(objectguid=" + kGuidToken + ")(msExchMailboxGuid=" + kGuidToken + "))",
               {"binenc", "b", "gc"}, {}});
  x.push_back({std::string("adamguid:") + kGuid, "(objectguid=" + kGuidToken + ")",
               {"binenc", "b", "pr"}, {}});

  const std::vector<std::pair<std::string, std::string>> schema = {
      {"s:msds*", "(|(ldapdisplayname=msds*)(name=msds*))"},
      {"scontains:cn",
       "(|(maycontain=cn)(systemmaycontain=cn)(mustcontain=cn)(systemmustcontain=cn))"},
      {"cc:user", "(|(subclassof=user)(auxiliaryclass=user)(systemauxiliaryclass=user))"},
      {"pas", "(|(isMemberOfPartialAttributeSet=TRUE)(systemFlags:" + bit + ":=2))"},
      {"indexed", "(searchFlags:" + bit + ":=1)"},
      {"cindexed", "(searchFlags:" + bit + ":=2)"},
      {"sindexed", "(searchFlags:" + bit + ":=64)"},
      {"confidential", "(searchFlags:" + bit + ":=128)"},
      {"copy", "(searchFlags:" + bit + ":=16)"},
      {"constructed", "(systemFlags:" + bit + ":=4)"},
      {"cat1", "(systemFlags:" + bit + ":=16)"},
      {"norepl", "(systemFlags:" + bit + ":=1)"},
      {"norepl+", "(&(systemFlags:" + bit + ":=1)(!(linkid:" + bit + ":=1)))"},
      {"anr", "(searchFlags:" + bit + ":=4)"},
      {"tuple", "(searchFlags:" + bit + ":=32)"}};
  for (const auto& [sc, f] : schema) {
    const size_t colon = sc.find(':');
    const std::string name = sc.substr(0, colon);
    const std::string arg = colon == std::string::npos ? "" : sc.substr(colon);
    const std::string listName =
        name == "norepl+" ? "norepll+" : name + "l";
    x.push_back({sc, f, {"schema", "schdc", "flagdc", "s=one"}, {}});
    std::vector<std::string> listSwitches = Split(kSchemaNames);
    if (listName == "ccl") listSwitches = Join(listSwitches, "schdc|flagdc");
    if (listName == "sindexedl") {
      listSwitches = Join(listSwitches,
                          "alldc|samdc|schdc|tdcas|flagdc|sitenamedc|rootdsedc|sddc");
    }
    x.push_back({listName + arg, f, listSwitches, {"ldapDisplayName"}});
  }

  x.push_back({"sdump", "(name=*)",
               {"oao=<NOT SET>", "s=one", "schema", "sort=name", "replacedn=_schema;_config"},
               dumpAttrs});
  x.push_back({"tombstone", "(searchFlags:" + bit + ":=8)",
               {"s=one", "schema", "schdc", "flagdc"}, {}});
  x.push_back({"tombstonel", "(searchFlags:" + bit + ":=8)", Split(kSchemaNames),
               {"ldapDisplayName"}});
  x.push_back({"linked:FWD", "&(linkid=*)(!(linkid:" + bit + ":=1))",
               {"s=one", "schema", "schdc", "flagdc", "sort=linkid"}, {}});
  x.push_back({"linkedl:rev", "&(linkid=*)(linkid:" + bit + ":=1)", Split(kSchemaNames),
               {"ldapDisplayName"}});

  const std::string ugc = "(&(objectCategory=nTDSSiteSettings)(options:" + bit + ":=32))";
  x.push_back({"ugcenabled", ugc, {"dn", "config", "rb=CN=Sites"}, {}});
  x.push_back({"ugcenabledl", ugc, {"list=distinguishedName", "config", "rb=CN=Sites"}, {}});
  x.push_back({"usedugc:decode", "(msDS-Site-Affinity=*)", {"default", "sitenamedc", "tdcas"},
               {"msDS-Site-Affinity"}});
  x.push_back({"dumpugcinfo", "(msDS-Site-Affinity=*)", {"default"},
               {"msDS-Site-Affinity", "MSDS-Cached-Membership",
                "msDS-Cached-Membership-Time-Stamp"}});

  x.push_back({"fo:Quelby*", "(name=Quelby*)", {"b", "gc"}, {}});
  x.push_back({"kids:OU=QTest,DC=x", "(objectclass=*)", {"b=OU=QTest,DC=x", "s=one"}, {}});
  for (const auto& [sc, match] : std::vector<std::pair<std::string, std::string>>{
           {"u:jsmith", "samaccounttype=805306368"},
           {"g:QG-Alpha", "objectcategory=group"},
           {"c:QWS01", "objectcategory=computer"}}) {
    const std::string arg = sc.substr(2);
    x.push_back({sc,
                 "(|(&(" + match + ")(name=" + arg + "))(&(" + match + ")(samaccountname=" +
                     arg + ")))",
                 {"b", "gc"}, {}});
  }
  x.push_back({"fsmo", "(fSMORoleOwner=*)", {"b", "pr"}, {"fSMORoleOwner"}});
  x.push_back({"caua", "-", {},
               {"*", "ms-DS-UserAccountAutoLocked", "ms-DS-UserEncryptedTextPasswordAllowed",
                "ms-DS-UserPasswordNotRequired", "msDS-User-Account-Control-Computed",
                "msDS-UserAccountDisabled", "msDS-UserDontExpirePassword",
                "msDS-UserPasswordExpired"}});

  x.push_back({"sdfilter", "*", {"default", "sddl++", "resolvesids"}, {"ntsecuritydescriptor"}});
  x.push_back({"sdfilterns:Domain Admins", "*",
               {"default", "nosacl", "sddl++", "resolvesids",
                "mvfilter=ntsecuritydescriptor=Domain Admins"},
               {"ntsecuritydescriptor"}});
  x.push_back({"explaces:jsmith", "*",
               {"b", "gc", "recmute", "nogroup", "noowner", "nosacl", "sddl++", "resolvesids",
                "sddlnotfilter=;inherited", "sddlfilter=;;;;;jsmith"},
               {"ntsecuritydescriptor"}});

  x.push_back({"exchaddresses:x500", "(&(mailnickname=*)(proxyaddresses=x500*))",
               {"mvfilter=proxyaddresses=x500", "b", "gc"}, {"proxyAddresses"}});
  x.push_back({"exchmbxs", "(&(mailnickname=*)(homemdb=*))", {"b", "gc"}, {}});
  x.push_back({"exchme:users",
               "(&(&(mailnickname=*)(!(homemdb=*)))(samaccounttype=805306368))", {"b", "gc"},
               {}});
  x.push_back({"exchsmtpaddr:contoso.com",
               "(&(mailnickname=*)(proxyaddresses=smtp:*contoso.com))",
               {"mvfilter=proxyaddresses=@contoso.com", "b", "gc"}, {"proxyAddresses"}});
  x.push_back({"exchprimarysmtp", "(&(mailnickname=*)(proxyaddresses=smtp:*))",
               {"mvfilter=proxyaddresses=SMTP:", "mvfiltercs", "b", "gc"}, {"proxyAddresses"}});

  x.push_back({"objmeta:CN=x,DC=y", "-", {"b=CN=x,DC=y", "s=base"}, replAttrs});
  x.push_back({"objsmeta:OU=y", "-", {"b=OU=y"}, replAttrs});
  x.push_back({"legacylvr:CN=g", "-", Join({"b=CN=g", "s=base"}, legacy),
               {"msDS-ReplValueMetaData;binary"}});
  x.push_back({"legacylvrs:OU=y", "-", Join({"b=OU=y"}, legacy),
               {"msDS-ReplValueMetaData;binary"}});
  x.push_back({"legacygroupmembers:OU=y", "&(objectcategory=group)(member=*)",
               Join({"b=OU=y"}, legacy), {"msDS-ReplValueMetaData;binary"}});
  // -rootdse, set by replqueue, is expanded by the later step; the list
  // the entry filled stays.
  x.push_back({"replqueue", "-", {"rootdse", "oao=<NOT SET>", "rootdsedc", "flagdc", "b", "s=base"},
               {"msDS-ReplQueueStatistics;binary", "msDS-ReplPendingOps;binary",
                "msDS-ReplConnectionFailures;binary", "msDS-ReplLinkFailures;binary",
                "msDS-ReplAllInboundNeighbors;binary", "msDS-ReplAllOutboundNeighbors;binary"}});
  x.push_back({"ncrepl", "-", {"oao=<NOT SET>", "s=base"},
               {"msDS-NCReplCursors;binary", "msDS-NCReplInboundNeighbors;binary",
                "msDS-NCReplOutboundNeighbors;binary"}});
  return x;
}

TEST(ShortcutTable, EveryShortcutExpandsToItsQuery) {
  std::set<std::string> visited;
  for (const Expansion& e : AllExpansions()) {
    SCOPED_TRACE(e.sc);
    CCmdLine store = Store({"sc=" + e.sc});
    ExpandShortcuts(&store);
    auto want = Switches(e.switches);
    want["sc"] = e.sc;
    if (e.filter != "-") want["f"] = e.filter;
    EXPECT_EQ(store.switchValues, want);
    EXPECT_EQ(store.args, e.attributes);
    visited.insert(e.sc.substr(0, e.sc.find(':')));
  }
  std::set<std::string> names;
  for (const ShortcutEntry& entry : ShortcutTable()) names.insert(std::string(entry.name));
  EXPECT_EQ(ShortcutTable().size(), 90u);
  EXPECT_EQ(names.size(), 90u);  // distinct
  std::set<std::string> lowered;
  for (const std::string& v : visited) {
    std::string l;
    for (char ch : v) l.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(ch))));
    lowered.insert(l);
  }
  EXPECT_EQ(lowered, names);
}

TEST(ShortcutTable, NamesStandInTheirFixedOrder) {
  const std::vector<std::string> order = {
      "modes", "forestmodes", "dcmodes", "masterncs", "domainncs", "domainncssl", "appparts",
      "appparts+", "apppartsl", "whoami", "adamsid", "adsid", "sguid", "s2kguid", "r2kguid",
      "findpropsetrg", "propsetmembers", "propsetmembersl", "listpropsets", "listpropsetsl",
      "listpropsetscsv", "listvwrites", "listvwritesl", "listvwritescsv", "listxrights",
      "listxrightsl", "listxrightscsv", "adguid", "adamguid", "s", "sl", "scontains",
      "scontainsl", "cc", "ccl", "pas", "pasl", "indexed", "indexedl", "cindexed", "cindexedl",
      "sindexed", "sindexedl", "confidential", "confidentiall", "copy", "copyl", "constructed",
      "constructedl", "cat1", "cat1l", "norepl", "norepll", "norepl+", "norepll+", "anr",
      "anrl", "tuple", "tuplel", "sdump", "tombstone", "tombstonel", "linked", "linkedl",
      "ugcenabled", "ugcenabledl", "usedugc", "dumpugcinfo", "fo", "kids", "u", "g", "c",
      "fsmo", "caua", "sdfilter", "sdfilterns", "explaces", "exchaddresses", "exchmbxs",
      "exchme", "exchsmtpaddr", "exchprimarysmtp", "objmeta", "objsmeta", "legacylvr",
      "legacylvrs", "legacygroupmembers", "replqueue", "ncrepl"};
  std::vector<std::string> names;
  for (const ShortcutEntry& entry : ShortcutTable()) names.emplace_back(entry.name);
  EXPECT_EQ(names, order);
}

}  // namespace
