// The shortcut pass as a function from a switch store to a switch store:
// the meta switches, the common mechanics of an entry, the conditional
// writes and the fallback to the shortcut help.
#include "shortcuts/expand_shortcuts.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shortcuts/shortcut_entry.h"
#include "shortcuts/shortcut_test_store.h"

namespace {

using shortcut_test::Store;
using shortcut_test::Switches;

struct Case {
  std::vector<std::string> before;        // switches the user gave
  std::vector<std::string> attributes;    // attributes the user gave
  std::vector<std::string> after;         // the whole switch map afterwards
  std::vector<std::string> attributesAfter;
};

void ExpectCases(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    std::string trace;
    for (const std::string& s : c.before) trace += " -" + s;
    SCOPED_TRACE(trace);
    CCmdLine store = Store(c.before, c.attributes);
    ExpandShortcuts(&store);
    EXPECT_EQ(store.switchValues, Switches(c.after));
    EXPECT_EQ(store.args, c.attributesAfter);
  }
}

// The -f value the pass leaves for these switches.
std::string FilterFor(const std::vector<std::string>& before) {
  CCmdLine store = Store(before);
  ExpandShortcuts(&store);
  return store.GetValue("f");
}

TEST(FilterElement, AddsParenthesesOnlyWhereMissing) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"objectclass=user", "(objectclass=user)"},
      {"(objectclass=user)", "(objectclass=user)"},
      {"(a=1)(b=2)", "(a=1)(b=2)"},
      {"(&(a=1)(b=2))", "(&(a=1)(b=2))"},
      {"(a=1)b=2", "((a=1)b=2)"},      // not a list of filters: one element
      {"(a=1", "((a=1)"},              // unbalanced: left to the server
      {"(cn=a\\29)", "(cn=a\\29)"},    // escaped parenthesis
      {"(cn=\\))", "(cn=\\))"},
      {"cn=(x)", "(cn=(x))"},
  };
  for (const auto& [in, want] : cases) EXPECT_EQ(FilterElement(in), want) << in;
}

TEST(ExpandShortcuts, NamesMatchWholeIgnoringCase) {
  EXPECT_EQ(FilterFor({"sc=MODES"}), "(objectclass=*)");
  EXPECT_EQ(FilterFor({"sc=IndexedL"}), "(searchFlags:1.2.840.113556.1.4.803:=1)");
  for (const char* name : {"mode", "modesx", "norepl+l", "", ":modes", "listpropsets csv"}) {
    SCOPED_TRACE(name);
    CCmdLine store = Store({std::string("sc=") + name, "b=dc=x", "alldc", "rootdse", "af=cn=x"}, {"cn"});
    ExpandShortcuts(&store);
    EXPECT_EQ(store.switchValues, Switches({"????"}));
    EXPECT_TRUE(store.args.empty());
  }
}

TEST(ExpandShortcuts, ArgumentKeepsCaseAndColons) {
  CCmdLine kids = Store({"sc=kids:a:b"});
  ExpandShortcuts(&kids);
  EXPECT_EQ(kids.GetValue("b"), "a:b");
  EXPECT_EQ(FilterFor({"sc=adamguid:AbC:d"}), "(objectguid={{GUID:AbC:d}})");
  EXPECT_EQ(FilterFor({"sc=adsid:s-1-5-32-544"}),
            "(|(objectsid={{SID:s-1-5-32-544}})(sidhistory={{SID:s-1-5-32-544}}))");
  EXPECT_EQ(FilterFor({"sc=findpropsetrg:Web Information"}), "(displayname=Web Information)");
  // Not escaped: filter characters in the argument shape the filter.
  EXPECT_EQ(FilterFor({"sc=fo:a*)(cn=b"}), "(name=a*)(cn=b)");
  // Without an argument the empty text goes in.
  EXPECT_EQ(FilterFor({"sc=fo"}), "(name=)");
  EXPECT_EQ(FilterFor({"sc=indexed:whatever"}), "(searchFlags:1.2.840.113556.1.4.803:=1)");
}

TEST(ExpandShortcuts, AfWrap) {
  const std::string uFilter =
      "(|(&(samaccounttype=805306368)(name=j*))(&(samaccounttype=805306368)(samaccountname=j*)))";
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"sc=u:j*", "af=mail=*"}, "(&" + uFilter + "(mail=*))"},
      {{"sc=u:j*", "af=(mail=*)"}, "(&" + uFilter + "(mail=*))"},
      {{"sc=u:j*", "af=(mail=*)(cn=j*)"}, "(&" + uFilter + "(mail=*)(cn=j*))"},
      {{"sc=u:j*", "af"}, uFilter},  // present but empty: no wrap
      {{"sc=indexedl", "af=isSingleValued=TRUE"},
       "(&(searchFlags:1.2.840.113556.1.4.803:=1)(isSingleValued=TRUE))"},
      {{"sc=sdump:class", "af=isDefunct=TRUE"},
       "(&(objectcategory=classSchema)(isDefunct=TRUE))"},
      {{"sc=linked", "af=x=1"}, "(&(linkid=*)(x=1))"},
      // The fwd and rev forms are not narrowed by -af.
      {{"sc=linked:rev", "af=x=1"}, "&(linkid=*)(linkid:1.2.840.113556.1.4.803:=1)"},
      // exchme puts the -af element inside its own AND.
      {{"sc=exchme", "af=cn=x"}, "(&(&(mailnickname=*)(!(homemdb=*)))(cn=x))"},
      {{"sc=exchme:GROUPS", "af=(cn=x)"},
       "(&(&(mailnickname=*)(!(homemdb=*)))(objectcategory=group)(cn=x))"},
      {{"sc=exchme:computers"}, "(&(&(mailnickname=*)(!(homemdb=*))))"},
      {{"sc=exchme:contacts"},
       "(&(&(mailnickname=*)(!(homemdb=*)))(objectcategory=person)(objectclass=contact))"},
      // Entries that build no filter keep the user's, -af or not.
      {{"sc=sdfilter", "af=cn=x", "f=(cn=y)"}, "(cn=y)"},
      {{"sc=objmeta:cn=x", "af=cn=x", "f=(cn=y)"}, "(cn=y)"},
      {{"sc=legacygroupmembers", "af=cn=x", "f=(cn=y)"}, "&(objectcategory=group)(member=*)"},
      {{"sc=caua", "af=cn=x"}, ""},
  };
  for (const auto& [before, want] : cases) {
    EXPECT_EQ(FilterFor(before), want) << before[0];
  }
}

TEST(ExpandShortcuts, ExchangeSystemObjectsLeftOut) {
  ExpectCases({
      {{"scexchnosys"}, {}, {"scexchnosys", "af=(!(systemflags=1610612736))",
                             "excldn=CN=Configuration,DC="}, {}},
      {{"scexchnosys", "af=mail=*"}, {}, {"scexchnosys",
                                          "af=(!(systemflags=1610612736))(mail=*)",
                                          "excldn=CN=Configuration,DC="}, {}},
  });
  EXPECT_EQ(FilterFor({"scexchnosys", "sc=g:x"}),
            "(&(|(&(objectcategory=group)(name=x))(&(objectcategory=group)(samaccountname=x)))"
            "(!(systemflags=1610612736)))");
  EXPECT_EQ(FilterFor({"scexchnosys", "af=(mail=*)", "sc=exchmbxs"}),
            "(&(&(mailnickname=*)(homemdb=*))(!(systemflags=1610612736))(mail=*))");
}

TEST(ExpandShortcuts, CsvChoice) {
  ExpectCases({
      {{"sc=forestmodes:CSV"}, {}, {"sc=forestmodes:CSV", "f=(|(systemflags:1.2.840.113556.1.4.803:=2)(cn=Partitions))",
                                    "config", "rb=cn=partitions", "flagdc", "csv=<NOT SET>"},
       {"msDS-Behavior-Version", "nETBIOSName", "nCName"}},
      {{"sc=forestmodes:csvx"}, {}, {"sc=forestmodes:csvx", "f=(|(systemflags:1.2.840.113556.1.4.803:=2)(cn=Partitions))",
                                     "config", "rb=cn=partitions", "flagdc", "oao=<NOT SET>"},
       {"msDS-Behavior-Version", "nETBIOSName", "nCName"}},
  });
  CCmdLine whoami = Store({"sc=whoami:x"});
  ExpandShortcuts(&whoami);
  EXPECT_FALSE(whoami.HasSwitch("nodn"));
  EXPECT_EQ(whoami.GetValue("oao"), "<NOT SET>");
  CCmdLine dump = Store({"sc=sdump:attrib:csv"});
  ExpandShortcuts(&dump);
  EXPECT_EQ(dump.GetValue("f"), "(name=*)");
  EXPECT_TRUE(dump.HasSwitch("oao"));
  EXPECT_FALSE(dump.HasSwitch("csv"));
}

// Writes made only without a -b of the user's.
TEST(ExpandShortcuts, BaseOnlyWithoutUserBase) {
  struct Row {
    std::string sc;
    std::vector<std::string> without;  // switches written without -b
    std::vector<std::string> with;     // switches written with -b=dc=u
  };
  const std::vector<Row> rows = {
      {"adamsid:S-1-1", {"b", "pr"}, {"b=dc=u"}},
      {"adguid:x", {"b", "gc"}, {"b=dc=u", "gc"}},
      {"adamguid:x", {"b", "pr"}, {"b=dc=u", "pr"}},
      {"fo:x", {"b", "gc"}, {"b=dc=u", "gc"}},
      {"g:x", {"b", "gc"}, {"b=dc=u", "gc"}},
      {"exchmbxs", {"b", "gc"}, {"b=dc=u", "gc"}},
      {"ugcenabled", {"config", "rb=CN=Sites"}, {"b=dc=u"}},
      {"usedugc", {"default"}, {"b=dc=u"}},
      {"objmeta:cn=x", {"b=cn=x", "s=base"}, {"b=dc=u", "s=base"}},
      {"legacylvrs:ou=y", {"b=ou=y"}, {"b=dc=u"}},
      // These replace the user's base.
      {"adsid:S-1-1", {"b", "gc"}, {"b", "gc"}},
      {"kids:ou=k", {"b=ou=k", "s=one"}, {"b=ou=k", "s=one"}},
      {"fsmo", {"b", "pr"}, {"b", "pr"}},
      {"fsmo:rid", {"default", "rb=CN=RID Manager$,CN=System", "s=base"},
       {"b=dc=u", "default", "rb=CN=RID Manager$,CN=System", "s=base"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.sc);
    for (bool userBase : {false, true}) {
      std::vector<std::string> before = {"sc=" + row.sc};
      if (userBase) before.push_back("b=dc=u");
      CCmdLine store = Store(before);
      ExpandShortcuts(&store);
      auto got = store.switchValues;
      got.erase("sc");
      got.erase("f");
      got.erase("binenc");
      got.erase("mvfilterdelim");
      got.erase("mvfilter");
      got.erase("dn");
      EXPECT_EQ(got, Switches(userBase ? row.with : row.without)) << userBase;
    }
  }
}

TEST(ExpandShortcuts, FsmoRoleWords) {
  const std::vector<std::pair<std::string, std::vector<std::string>>> roles = {
      {"", {"b", "pr"}},
      {"ALL", {"b", "pr"}},
      {"domain", {"default"}},
      {"PDC", {"default", "s=base"}},
      {"rid", {"default", "rb=CN=RID Manager$,CN=System", "s=base"}},
      {"im", {"default", "rb=CN=Infrastructure", "s=base"}},
      {"forest", {"config", "pr"}},
      {"schema", {"schema", "s=base"}},
      {"dnm", {"config", "rb=CN=Partitions", "s=base"}},
      {"owner", {}},
  };
  for (const auto& [word, writes] : roles) {
    SCOPED_TRACE(word);
    const std::string sc = word.empty() ? "fsmo" : "fsmo:" + word;
    CCmdLine store = Store({"sc=" + sc}, {"cn"});
    ExpandShortcuts(&store);
    auto want = Switches(writes);
    want["sc"] = sc;
    want["f"] = "(fSMORoleOwner=*)";
    EXPECT_EQ(store.switchValues, want);
    EXPECT_EQ(store.args, (std::vector<std::string>{"cn", "fSMORoleOwner"}));
  }
}

TEST(ExpandShortcuts, DefaultBaseTestOfDescriptorShortcuts) {
  ExpectCases({
      {{"sc=sdfilter", "config"}, {}, {"sc=sdfilter", "config", "sddl++", "f=*", "resolvesids"},
       {"ntsecuritydescriptor"}},
      {{"sc=sdfilterns:a b", "f=(cn=x)", "root"}, {},
       {"sc=sdfilterns:a b", "root", "nosacl", "f=(cn=x)", "sddl++", "resolvesids",
        "mvfilter=ntsecuritydescriptor=a b"},
       {"ntsecuritydescriptor"}},
      {{"sc=explaces", "b=ou=x"}, {"cn"},
       {"sc=explaces", "b=ou=x", "f=*", "recmute", "nogroup", "noowner", "nosacl", "sddl++",
        "resolvesids", "sddlnotfilter=;inherited"},
       {"cn", "ntsecuritydescriptor"}},
      {{"sc=explaces", "schema"}, {},
       {"sc=explaces", "schema", "f=*", "recmute", "nogroup", "noowner", "nosacl", "sddl++",
        "resolvesids", "sddlnotfilter=;inherited"},
       {"ntsecuritydescriptor"}},
  });
}

TEST(ExpandShortcuts, ValueFilterOnlyWhenAbsent) {
  struct Row {
    std::vector<std::string> before;
    std::string mvfilter;  // "-" when none
  };
  const std::vector<Row> rows = {
      {{"sc=exchaddresses"}, "-"},
      {{"sc=exchaddresses:x500"}, "proxyaddresses=x500"},
      {{"sc=exchaddresses:x500", "mvfilter=mine=1"}, "mine=1"},
      {{"sc=exchsmtpaddr"}, "proxyaddresses=smtp:"},
      {{"sc=exchsmtpaddr:a.b"}, "proxyaddresses=@a.b"},
      {{"sc=exchsmtpaddr:a.b", "mvfilter=mine=1"}, "mine=1"},
      {{"sc=exchprimarysmtp"}, "proxyaddresses=SMTP:"},
      {{"sc=exchprimarysmtp", "mvfilter=mine=1"}, "mine=1"},
      {{"sc=sdfilter", "mvfilter=mine=1"}, "mine=1"},
      {{"sc=sdfilter:x", "mvfilter=mine=1"}, "ntsecuritydescriptor=x"},  // always written
      {{"sc=legacylvrs", "mvfilter=mine=1"}, "msDS-ReplValueMetaData;binary=legacy"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.before[0]);
    CCmdLine store = Store(row.before);
    ExpandShortcuts(&store);
    EXPECT_EQ(store.HasSwitch("mvfilter") ? store.GetValue("mvfilter") : "-", row.mvfilter);
  }
  CCmdLine primary = Store({"sc=exchprimarysmtp", "mvfilter=mine=1"});
  ExpandShortcuts(&primary);
  EXPECT_TRUE(primary.HasSwitch("mvfiltercs"));
}

TEST(ExpandShortcuts, AttributeListAppendedOrReplaced) {
  const std::vector<std::pair<std::string, std::vector<std::string>>> rows = {
      {"modes", {"domainControllerFunctionality", "domainFunctionality", "forestFunctionality"}},
      {"whoami", {"msDS-PrincipalName", "tokenGroups"}},
      {"sl:x", {"ldapDisplayName"}},
      {"tombstonel", {"ldapDisplayName"}},
      {"linkedl", {"cn", "ldapDisplayName"}},
      {"forestmodes", {"cn", "msDS-Behavior-Version", "nETBIOSName", "nCName"}},
      {"listpropsets", {"cn"}},
      {"listxrightscsv", {"cn", "displayname", "rightsguid"}},
      {"dumpugcinfo:DECODE",
       {"cn", "msDS-Site-Affinity", "MSDS-Cached-Membership", "msDS-Cached-Membership-Time-Stamp"}},
      {"s:x", {"cn"}},
      {"tombstone", {"cn"}},
  };
  for (const auto& [sc, want] : rows) {
    CCmdLine store = Store({"sc=" + sc}, {"cn"});
    ExpandShortcuts(&store);
    EXPECT_EQ(store.args, want) << sc;
  }
  CCmdLine decode = Store({"sc=usedugc:dec"});
  ExpandShortcuts(&decode);
  EXPECT_FALSE(decode.HasSwitch("sitenamedc"));
}

TEST(ExpandShortcuts, MetaSwitches) {
  const std::vector<std::string> rootDse = {
      "*", "altServer", "dsaVersionString", "dsSchemaAttrCount", "dsSchemaClassCount",
      "dsSchemaPrefixCount", "ldapServiceName", "msDS-PortLDAP", "msDS-PortSSL",
      "msDS-PrincipalName", "serviceAccountInfo", "spnRegistrationResult",
      "supportedConfigurableSettings", "supportedExtension", "tokenGroups", "validFSMOs"};
  auto fullRootDse = [](const std::string& suffix) {
    std::vector<std::string> a = {
        "*", "altServer", "dsaVersionString", "dsSchemaAttrCount", "dsSchemaClassCount",
        "dsSchemaPrefixCount", "ldapServiceName", "msDS-PortLDAP", "msDS-PortSSL",
        "msDS-PrincipalName"};
    for (const char* r : {"msDS-ReplAllInboundNeighbors", "msDS-ReplAllOutboundNeighbors",
                          "msDS-ReplQueueStatistics", "msDS-ReplConnectionFailures",
                          "msDS-ReplLinkFailures", "msDS-ReplPendingOps", "msDS-TopQuotaUsage"}) {
      a.push_back(r + suffix);
    }
    for (const char* t : {"pendingPropagations", "serviceAccountInfo", "spnRegistrationResult",
                          "supportedConfigurableSettings", "supportedExtension", "tokenGroups",
                          "validFSMOs"}) {
      a.push_back(t);
    }
    return a;
  };
  const std::vector<std::string> forced = {"rootdsedc", "flagdc", "b", "s=base"};
  auto with = [](std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  ExpectCases({
      {{"sl", "sort=cn"}, {"cn"}, {"sl", "sort", "list"}, {"cn"}},
      {{"gcb", "b=dc=x"}, {}, {"gcb", "gc", "b"}, {}},
      {{"alldc"}, {},
       {"alldc", "samdc", "schdc", "tdcas", "flagdc", "sitenamedc", "rootdsedc", "sddc"}, {}},
      {{"rootdse", "b=dc=x", "s=one"}, {}, with({"rootdse"}, forced), rootDse},
      {{"rootdse"}, {"cn"}, with({"rootdse"}, forced), {"cn"}},
      {{"fullrootdse"}, {}, with({"fullrootdse"}, forced), fullRootDse("")},
      {{"fullrootdse=BIN"}, {}, with({"fullrootdse=BIN"}, forced), fullRootDse(";binary")},
      {{"fullrootdse=binary"}, {}, with({"fullrootdse=binary"}, forced), fullRootDse("")},
      {{"fullrootdse=bin"}, {"cn"}, with({"fullrootdse=bin"}, forced), {"cn"}},
      {{"sc=replqueue"}, {"cn"},
       {"sc=replqueue", "rootdse", "oao=<NOT SET>", "rootdsedc", "flagdc", "b", "s=base"},
       {"cn", "msDS-ReplQueueStatistics;binary", "msDS-ReplPendingOps;binary",
        "msDS-ReplConnectionFailures;binary", "msDS-ReplLinkFailures;binary",
        "msDS-ReplAllInboundNeighbors;binary", "msDS-ReplAllOutboundNeighbors;binary"}},
      {{}, {"cn"}, {}, {"cn"}},
  });
}

TEST(ExpandShortcuts, AdCsvSettingsLine) {
  CCmdLine bare = Store({"adcsv=N/A"});
  testing::internal::CaptureStdout();
  ExpandShortcuts(&bare);
  const std::string m = "~~~ADCSV~~~";
  EXPECT_EQ(testing::internal::GetCapturedStdout(), m + "N/A" + m + m + m + m + m + m + m + m + m + "\n");
  EXPECT_EQ(bare.GetValue("csv"), "N/A");

  CCmdLine full = Store({"adcsv", "csvdelim=\\t", "csvmvdelim=\\n", "csvq='", "h=dc1:389",
                         "p=636", "u=Admin", "up=*", "simple"});
  EXPECT_EQ(AdCsvSettingsLine(&full),
            m + m + "\t" + m + "\n" + m + "'" + m + "dc1:389" + m + "636" + m + "Admin" + m +
                "*" + m + "1" + m + "\n");
  // -adcsv makes the run CSV, so a shortcut's -oao form is refused later.
  CCmdLine withOao = Store({"adcsv=x", "sc=modes"});
  testing::internal::CaptureStdout();
  ExpandShortcuts(&withOao);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(withOao.GetValue("csv"), "x");
  EXPECT_EQ(withOao.GetValue("oao"), "<NOT SET>");
}

}  // namespace
