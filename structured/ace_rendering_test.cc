#include "structured/ace_rendering.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/console_services.h"
#include "common/process_state.h"
#include "platform/sid.h"
#include "structured/sd_test_fixture.h"

namespace {

using Lines = std::vector<std::string>;

int g_lookups = 0;

// Names one domain SID only; counts every question.
int CountingLookup(const std::string&, const void* sid, std::string* domain, std::string* name) {
  ++g_lookups;
  std::string text;
  if (plat::ConvertSidToStringSidA(sid, &text) && text == "S-1-5-21-1-2-3-500") {
    *domain = "ACC";
    *name = "Administrator";
    return 1;
  }
  return 0;
}

class AceRenderingTest : public SdSettingsTest {
 protected:
  static Lines Render(const std::string& acl, const std::string& attr = "nTSecurityDescriptor") {
    Lines lines;
    RenderAclEntries(acl, &lines, attr);
    return lines;
  }
};

enum Level { kPlain, kPlus, kPlusPlus };

TEST_F(AceRenderingTest, LinesAtEachLevel) {
  g_SchemaRightsGuidMap["{BF967ABA-0DE6-11D0-A285-00AA003049E2}"] = "user";
  g_SchemaRightsGuidMap["{00299570-246D-11D0-A768-00AA006E0529}"] = "User-Force-Change-Password";
  struct Case {
    const char* name;
    Level level;
    const char* attr;
    const char* acl;
    Lines lines;
  } cases[] = {
      {"flags word and full control", kPlusPlus, "x", "D:PAI(A;;GA;;;SY)",
       {"(FLAGS:PROTECTED INHERIT)", "ALLOW;;[FC];;;SY"}},
      {"below -sddc++ the codes stay", kPlus, "x", "D:PAI(A;;GA;;;SY)", {"PAI", "A;;GA;;;SY"}},
      {"flags without a word", kPlusPlus, "x", "D:PAR(A;;RP;;;WD)",
       {"(FLAGS:PAR)", "ALLOW;;[READ PROP];;;WD"}},
      {"no flags", kPlusPlus, "x", "D:(D;;WP;;;AN)", {"(FLAGS:)", "DENY;;[WRT PROP];;;AN"}},
      {"no flags, plain level", kPlain, "x", "D:(D;;WP;;;AN)", {"", "D;;WP;;;AN"}},
      {"thirteen rights in any order are full control", kPlusPlus, "x",
       "D:(A;;RPWPCRCCDCLCLORCWOWDSDDTSW;;;SY)", {"(FLAGS:)", "ALLOW;;[FC];;;SY"}},
      {"a repeated code is not full control", kPlusPlus, "x",
       "D:(A;;RPRPWPCRCCDCLCLORCWOWDSDDTSW;;;SY)",
       {"(FLAGS:)",
        "ALLOW;;[READ PROP][READ PROP][WRT PROP][CTL][CR CHILD][DEL CHILD][LIST CHILDREN]"
        "[LIST OBJ][READ][WRT OWNER][WRT PERMS][DEL][DEL TREE][SELF WRT];;;SY"}},
      {"flags as words, unknown pieces dropped", kPlusPlus, "x", "S:AI(AU;CIIDSAFAXX;WP;;;WD)",
       {"(FLAGS:INHERIT)", "AUDIT;[CONT INHERIT][INHERITED][SUCCESS][FAILURE];[WRT PROP];;;WD"}},
      {"hex mask as words and the rest at -sddc++", kPlusPlus, "x", "D:(A;OICI;0x100014;;;AU)",
       {"(FLAGS:)", "ALLOW;[OBJ INHERIT][CONT INHERIT];[LIST CHILDREN][READ PROP][0x100000];;;AU"}},
      {"hex mask stays below", kPlus, "x", "D:(A;OICI;0x100014;;;AU)", {"", "A;OICI;0x100014;;;AU"}},
      {"hex masks: full control, no coded bit, zero", kPlusPlus, "x",
       "D:(A;;0x1F01FF;;;SY)(A;;0x80000200;;;SY)(A;;0x0;;;SY)",
       {"(FLAGS:)", "ALLOW;;[FC][0x100000];;;SY", "ALLOW;;[GEN READ][0x200];;;SY", "ALLOW;;;;;SY"}},
      {"hex mask on the mailbox attribute", kPlusPlus, "msExchMailboxSecurityDescriptor",
       "D:(A;;0x120001;;;SY)", {"(FLAGS:)", "ALLOW;;[FULL MBX][READ PERMS][0x100000];;;SY"}},
      {"mailbox rights CCRC", kPlusPlus, "msExchMailboxSecurityDescriptor", "D:(A;;CCRC;;;SY)",
       {"(FLAGS:)", "ALLOW;;[FULL MBX][READ PERMS];;;SY"}},
      {"mailbox words first, then the rest in code order", kPlusPlus,
       "MSEXCHMAILBOXSECURITYDESCRIPTOR", "D:(A;;RPCCWD;;;SY)",
       {"(FLAGS:)", "ALLOW;;[FULL MBX][CHG PERMS][READ PROP];;;SY"}},
      {"object GUIDs named, unknown GUID kept", kPlus, "x",
       "D:AI(OA;CIIO;CR;00299570-246d-11d0-a768-00aa006e0529;bf967aba-0de6-11d0-a285-00aa003049e2;"
       "WD)(OA;;RP;11111111-2222-3333-4444-555555555555;;WD)",
       {"AI", "OA;CIIO;CR;User-Force-Change-Password;user;WD",
        "OA;;RP;11111111-2222-3333-4444-555555555555;;WD"}},
      {"object types in words", kPlusPlus, "x", "D:(OD;;CR;;;WD)(OU;;;;;WD)(OL;;;;;WD)(AL;;;;;WD)",
       {"(FLAGS:)", "OBJ DENY;;[CTL];;;WD", "OBJ AUDIT;;;;;WD", "OBJ ALARM;;;;;WD",
        "ALARM;;;;;WD"}},
      {"unknown type keeps its code; missing fields are empty", kPlusPlus, "x", "D:(XA;;RP)",
       {"(FLAGS:)", "XA;;[READ PROP];;;"}},
      {"fields beyond the sixth are not written", kPlain, "x", "D:(A;;RP;;;WD;extra)",
       {"", "A;;RP;;;WD"}},
      {"no parenthesis, no line", kPlusPlus, "x", "D:PAI", {}},
      {"SACL after a DACL part", kPlus, "x", "S:(AU;SA;WP;;;WD)(AU;FA;RP;;;WD)",
       {"", "AU;SA;WP;;;WD", "AU;FA;RP;;;WD"}},
  };
  for (const Case& c : cases) {
    Reset();
    g_SchemaRightsGuidMap["{BF967ABA-0DE6-11D0-A285-00AA003049E2}"] = "user";
    g_SchemaRightsGuidMap["{00299570-246D-11D0-A768-00AA006E0529}"] =
        "User-Force-Change-Password";
    g_SddlPlus = c.level != kPlain;
    g_SddlPlusPlus = c.level == kPlusPlus;
    EXPECT_EQ(Render(c.acl, c.attr), c.lines) << c.name;
  }
}

TEST_F(AceRenderingTest, TrusteesResolvedOnceAndCached) {
  SetSidAccountLookup(&CountingLookup);
  g_ResolveSids = true;
  g_SddlPlusPlus = true;
  const Lines lines =
      Render("D:(A;;RP;;;S-1-5-21-1-2-3-500)(A;;RP;;;S-1-5-21-1-2-3-500)(A;;WP;;;S-1-5-21-1-2-3-500)");
  EXPECT_EQ(lines, (Lines{"(FLAGS:)", "ALLOW;;[READ PROP];;;ACC\\Administrator",
                          "ALLOW;;[READ PROP];;;ACC\\Administrator",
                          "ALLOW;;[WRT PROP];;;ACC\\Administrator"}));
  EXPECT_EQ(g_lookups, 1);  // the SID once, the repeated ACE from the ACE cache
  EXPECT_EQ(g_AceTextCache.size(), 2u);
  // Later ACLs reuse the cached lines without another lookup.
  Render("D:(A;;RP;;;S-1-5-21-1-2-3-500)");
  EXPECT_EQ(g_lookups, 1);
}

TEST_F(AceRenderingTest, CacheKeepsMailboxAndDirectoryRenderingsApart) {
  g_SddlPlusPlus = true;
  EXPECT_EQ(Render("D:(A;;CCRC;;;SY)", "msExchMailboxSecurityDescriptor")[1],
            "ALLOW;;[FULL MBX][READ PERMS];;;SY");
  EXPECT_EQ(Render("D:(A;;CCRC;;;SY)")[1], "ALLOW;;[CR CHILD][READ];;;SY");
  EXPECT_EQ(Render("D:(A;;CCRC;;;SY)", "msExchMailboxSecurityDescriptor")[1],
            "ALLOW;;[FULL MBX][READ PERMS];;;SY");
  EXPECT_EQ(AceCacheKey("A;;CC;;;SY", false), "A;;CC;;;SY");
  EXPECT_NE(AceCacheKey("A;;CC;;;SY", true), AceCacheKey("A;;CC;;;SY", false));
}

TEST_F(AceRenderingTest, AceFilters) {
  const char* acl =
      "D:PAI(A;;RP;;;WD)(OA;CIID;WP;;;S-1-5-21-1-2-3-500)(D;ID;SD;;;AN)(A;;;;;AU)";
  struct Case {
    const char* name;
    Level level;
    bool resolve;
    const char* filter;
    const char* notFilter;
    Lines lines;
  } cases[] = {
      {"type as its word at -sddc++", kPlusPlus, false, "obj allow", "",
       {"OBJ ALLOW;[CONT INHERIT][INHERITED];[WRT PROP];;;S-1-5-21-1-2-3-500"}},
      {"the type code does not match the word", kPlusPlus, false, "OA", "", {}},
      {"NOT filter on ID below -sddc++", kPlain, false, "", ";ID", {"A;;RP;;;WD", "A;;;;;AU"}},
      {"NOT filter on inherited at -sddc++", kPlusPlus, false, "", ";inherited",
       {"ALLOW;;[READ PROP];;;WD", "ALLOW;;;;;AU"}},
      {"trustee matched against the resolved name", kPlain, true, ";;;;;acc\\admin", "",
       {"OA;CIID;WP;;;ACC\\Administrator"}},
      {"every given field must hold its pattern", kPlain, false, "A;ID", "",
       {"OA;CIID;WP;;;S-1-5-21-1-2-3-500"}},
      {"show filter '-' keeps empty fields", kPlain, false, ";-", "",
       {"A;;RP;;;WD", "A;;;;;AU"}},
      {"NOT filter '-' drops non-empty fields", kPlain, false, "", ";;-",
       {"A;;;;;AU"}},
      {"both filters at once", kPlain, false, "a", ";;RP", {"OA;CIID;WP;;;S-1-5-21-1-2-3-500",
                                                            "A;;;;;AU"}},
  };
  for (const Case& c : cases) {
    Reset();
    SetSidAccountLookup(&CountingLookup);
    g_SddlPlus = c.level != kPlain;
    g_SddlPlusPlus = c.level == kPlusPlus;
    g_ResolveSids = c.resolve;
    SetAceFilter(c.filter, false);
    SetAceFilter(c.notFilter, true);
    // No flags line while an ACE filter is in force.
    EXPECT_EQ(Render(acl), c.lines) << c.name;
  }
}

TEST_F(AceRenderingTest, FlagsOnlyAndDebugLines) {
  g_SdAclFlagsOnly = true;
  EXPECT_EQ(Render("D:PAI(A;;RP;;;WD)"), (Lines{"PAI"}));
  SetAceFilter("A", false);
  EXPECT_EQ(Render("D:PAI(A;;RP;;;WD)"), Lines{});

  Reset();
  g_Debug = true;
  SetAceFilter(";;rp", true);
  testing::internal::CaptureStdout();
  EXPECT_EQ(Render("D:(A;;RP;;;WD)"), Lines{});
  const std::string debug = testing::internal::GetCapturedStdout();
  EXPECT_EQ(debug,
            "DEBUG: Checking SDDL NOT Filter...\n"
            "DEBUG:    [] [A]\nDEBUG:    [] []\nDEBUG:    [rp] [RP]\n"
            "DEBUG:    [] []\nDEBUG:    [] []\nDEBUG:    [] [WD]\n"
            "DEBUG: Match Count: 1 - 1\n"
            "DEBUG: (0|1)\n");
}

}  // namespace
