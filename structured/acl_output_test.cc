#include "structured/acl_output.h"

#include <gtest/gtest.h>

#include "common/process_state.h"
#include "structured/sd_test_fixture.h"

namespace {

constexpr char kLabel[] = ">nTSecurityDescriptor: ";
constexpr char kDacl[] = "D:PAI(A;;RPWP;;;SY)(D;;SD;;;WD)";

class AclOutputTest : public SdSettingsTest {
 protected:
  static std::string Out(const std::string& acl = kDacl) {
    return OutputAcl(kLabel, "[DACL]", acl, "nTSecurityDescriptor");
  }
};

TEST_F(AclOutputTest, Layouts) {
  struct Case {
    const char* name;
    bool plus, plusPlus, csv, flagsOnly;
    const char* acl;
    const char* text;
  } cases[] = {
      {"one line per item at -sddc+", true, false, false, false, kDacl,
       ">nTSecurityDescriptor: [DACL] PAI\n"
       ">nTSecurityDescriptor: [DACL] A;;RPWP;;;SY\n"
       ">nTSecurityDescriptor: [DACL] D;;SD;;;WD\n"},
      {"the whole ACL on one line at -sddc", false, false, false, false, kDacl,
       ">nTSecurityDescriptor: [DACL]  PAI(A;;RPWP;;;SY)(D;;SD;;;WD)\n"},
      {"an ACL without flags at -sddc+", true, false, false, false, "D:(A;;RP;;;SY)",
       ">nTSecurityDescriptor: [DACL] \n>nTSecurityDescriptor: [DACL] A;;RP;;;SY\n"},
      {"CSV keeps one line at -sddc++", true, true, true, false, kDacl,
       ">nTSecurityDescriptor: [DACL]  (FLAGS:PROTECTED INHERIT)"
       "(ALLOW;;[READ PROP][WRT PROP];;;SY)(DENY;;[DEL];;;WD)\n"},
      {"flags only, one line", false, false, false, true, kDacl,
       ">nTSecurityDescriptor: [DACL]  PAI\n"},
      {"flags only, multi-line", true, false, false, true, kDacl,
       ">nTSecurityDescriptor: [DACL] PAI\n"},
      {"an ACL without ACEs writes nothing", true, false, false, false, "D:PAI", ""},
  };
  for (const Case& c : cases) {
    Reset();
    g_SddlPlus = c.plus;
    g_SddlPlusPlus = c.plusPlus;
    g_CsvOutput = c.csv;
    g_SdAclFlagsOnly = c.flagsOnly;
    EXPECT_EQ(Out(c.acl), c.text) << c.name;
  }
}

TEST_F(AclOutputTest, AceFilterHidesFlags) {
  SetAceFilter(";;sd", false);
  EXPECT_EQ(Out(), ">nTSecurityDescriptor: [DACL]  (D;;SD;;;WD)\n");
  g_SddlPlus = true;
  EXPECT_EQ(Out(), ">nTSecurityDescriptor: [DACL] D;;SD;;;WD\n");
  g_SdAclFlagsOnly = true;
  EXPECT_EQ(Out(), "");
}

TEST_F(AclOutputTest, ValueFilters) {
  g_MvFilterOn = true;
  g_MvFilterMap["ntsecuritydescriptor"] = "sy";
  g_MvFilterMap["other"] = "zz";
  // Multi-line: the flags line is a line like any other.
  g_SddlPlus = true;
  EXPECT_EQ(Out(), ">nTSecurityDescriptor: [DACL] A;;RPWP;;;SY\n");
  // One line: the flags stay, only ACEs are filtered.
  g_SddlPlus = false;
  EXPECT_EQ(Out(), ">nTSecurityDescriptor: [DACL]  PAI(A;;RPWP;;;SY)\n");
  g_MvFilterMap["ntsecuritydescriptor"] = "nothing";
  EXPECT_EQ(Out(), "");
  // An attribute without a pattern keeps everything.
  EXPECT_EQ(OutputAcl("", "[DACL]", kDacl, "third"), "[DACL]  PAI(A;;RPWP;;;SY)(D;;SD;;;WD)\n");

  // NOT filter; case kept under -mvfiltercs.
  g_MvFilterOn = false;
  g_MvNotFilterOn = true;
  g_MvNotFilterMap["ntsecuritydescriptor"] = "wd";
  EXPECT_EQ(Out(), ">nTSecurityDescriptor: [DACL]  PAI(A;;RPWP;;;SY)\n");
  g_MvFilterCaseSensitive = true;
  EXPECT_EQ(Out(), ">nTSecurityDescriptor: [DACL]  PAI(A;;RPWP;;;SY)(D;;SD;;;WD)\n");
  g_MvNotFilterMap["ntsecuritydescriptor"] = "WD";
  EXPECT_EQ(Out(), ">nTSecurityDescriptor: [DACL]  PAI(A;;RPWP;;;SY)\n");
}

}  // namespace
