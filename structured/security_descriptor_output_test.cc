#include "structured/security_descriptor_output.h"

#include <gtest/gtest.h>

#include <string>

#include "common/process_state.h"
#include "platform/security_descriptor_builder.h"
#include "structured/sd_test_fixture.h"

namespace {

using sdtest::Ace;
using sdtest::Acl;
using sdtest::Bytes;
using sdtest::Descriptor;
using sdtest::SidBytes;

constexpr char kName[] = "nTSecurityDescriptor";

// O:BAG:SYD:PAI(A;;RPWP;;;SY)(D;;SD;;;WD)S:(AU;SA;WP;;;WD)
Bytes Sample() {
  return Descriptor(SidBytes("BA"), SidBytes("SY"),
                    Acl({Ace(0x00, 0, 0x30, SidBytes("SY")), Ace(0x01, 0, 0x10000, SidBytes("WD"))}),
                    Acl({Ace(0x02, 0x40, 0x20, SidBytes("WD"))}), 0x1400);
}

class SdOutputTest : public SdSettingsTest {
 protected:
  static std::string Out(const Bytes& sd, bool decode = true, bool noLabel = false) {
    return OutputSecurityDescriptor(kName, decode, noLabel, sd.data(), sd.size());
  }
};

TEST_F(SdOutputTest, SectionsAtPlainLevel) {
  EXPECT_EQ(Out(Sample()),
            ">nTSecurityDescriptor: [OWNER] BA\n"
            ">nTSecurityDescriptor: [GROUP] SY\n"
            ">nTSecurityDescriptor: [DACL]  PAI(A;;RPWP;;;SY)(D;;SD;;;WD)\n"
            ">nTSecurityDescriptor: [SACL]  (AU;SA;WP;;;WD)\n");
}

TEST_F(SdOutputTest, HeaderWithoutDecodeAndSizeLine) {
  const Bytes sd = Sample();
  EXPECT_EQ(Out(sd, false), ">nTSecurityDescriptor: {Security Descriptor}\n");
  EXPECT_EQ(Out(sd, false, true), "{Security Descriptor}\n");

  const std::string bytes = std::to_string(sd.size());
  g_SdShowSize = true;
  EXPECT_EQ(Out(sd, false), ">nTSecurityDescriptor: [SIZE] " + bytes + "B\n");
  EXPECT_EQ(Out(sd, false, true), bytes + "B\n");
  g_SdSizeDivisor = 1024;
  g_SdSizeUnit = "KB";
  char kb[32];
  std::snprintf(kb, sizeof kb, "%.2fKB\n", sd.size() / 1024.0);
  EXPECT_EQ(Out(sd, false), ">nTSecurityDescriptor: [SIZE] " + std::string(kb));
  g_SdSizeUnit = "";
  EXPECT_EQ(Out(sd, false, true), std::string(kb).substr(0, std::string(kb).size() - 3) + "\n");
}

TEST_F(SdOutputTest, SizeOfLargeDescriptorInKb) {
  // 20 + 8 + 61 ACEs of 20 bytes = 1248 bytes = 1.22 KB.
  Bytes acl(8);
  acl[0] = 4;
  for (int i = 0; i < 61; ++i) {
    Bytes ace = Ace(0x00, 0, 0x10, SidBytes("SY"));
    acl.insert(acl.end(), ace.begin(), ace.end());
  }
  sdtest::PutLe16(&acl, 2, static_cast<unsigned>(acl.size()));
  sdtest::PutLe16(&acl, 4, 61);
  const Bytes sd = Descriptor({}, {}, acl, {});
  ASSERT_EQ(sd.size(), 1248u);
  g_SdShowSize = true;
  g_SdSizeDivisor = 1024;
  g_SdSizeUnit = "KB";
  EXPECT_EQ(Out(sd, false), ">nTSecurityDescriptor: [SIZE] 1.22KB\n");
}

TEST_F(SdOutputTest, MalformedValuesFallBack) {
  Bytes sd = Sample();
  sd.resize(sd.size() - 3);  // the SACL cut short
  g_SdShowSize = true;
  EXPECT_EQ(Out(sd), ">nTSecurityDescriptor: [SIZE] Invalid Security Descriptor\n");
  EXPECT_EQ(Out(sd, true, true), "Invalid Security Descriptor\n");
  g_SdShowSize = false;
  EXPECT_EQ(Out(sd), ">nTSecurityDescriptor: {Security Descriptor}\n");
  EXPECT_EQ(OutputSecurityDescriptor(kName, true, false, nullptr, 0),
            ">nTSecurityDescriptor: {Security Descriptor}\n");
  // A sound descriptor with an ACE it cannot write.
  const Bytes opaque = Descriptor({}, {}, Acl({Bytes{0x11, 0, 12, 0, 1, 0, 0, 0, 0, 0, 0, 0}}), {});
  EXPECT_EQ(Out(opaque), ">nTSecurityDescriptor: {Security Descriptor}\n");
}

TEST_F(SdOutputTest, PartsLeftOutMissingOrFiltered) {
  const Bytes sample = Sample();
  const Bytes bare = Descriptor({}, {}, Acl({Ace(0x00, 0, 0x10, SidBytes("SY"))}), {});
  g_SddlPlus = true;
  EXPECT_EQ(Out(bare, true, true),
            "[OWNER] Not specified in SD\n[GROUP] Not specified in SD\n"
            "[DACL] \n[DACL] A;;RP;;;SY\n"
            "[SACL] Not specified in SD or insufficient rights\n");
  g_SdNoOwner = true;
  g_SdNoSacl = true;
  EXPECT_EQ(Out(bare, true, true), "[GROUP] Not specified in SD\n[DACL] \n[DACL] A;;RP;;;SY\n");

  // -onlydacl
  g_SdNoGroup = true;
  EXPECT_EQ(Out(sample, true, true), "[DACL] PAI\n[DACL] A;;RPWP;;;SY\n[DACL] D;;SD;;;WD\n");

  // An ACE filter withholds owner and group and blanks the header.
  Reset();
  SetAceFilter(";;;;;nobody", false);
  EXPECT_EQ(Out(sample), "");
  EXPECT_EQ(Out(bare, true, true), "[OWNER] Not specified in SD\n[GROUP] Not specified in SD\n");
  SetAceFilter("d", false);
  EXPECT_EQ(Out(sample, true, true), "[DACL]  (D;;SD;;;WD)\n");

  // The NOT value filter drops the owner written with the alias BA.
  Reset();
  g_MvNotFilterOn = true;
  g_MvNotFilterMap["ntsecuritydescriptor"] = "ba";
  EXPECT_EQ(Out(sample, true, true),
            "[GROUP] SY\n[DACL]  PAI(A;;RPWP;;;SY)(D;;SD;;;WD)\n[SACL]  (AU;SA;WP;;;WD)\n");
  // The show filter drops what lacks its pattern; a missing part gives no line.
  Reset();
  g_MvFilterOn = true;
  g_MvFilterMap["ntsecuritydescriptor"] = "wd";
  EXPECT_EQ(Out(sample, true, true), "[DACL]  PAI(D;;SD;;;WD)\n[SACL]  (AU;SA;WP;;;WD)\n");
  EXPECT_EQ(Out(bare, true, true), "");
  // Under -mvfiltercs the owner part keeps its case.
  g_MvFilterCaseSensitive = true;
  g_MvFilterMap["ntsecuritydescriptor"] = "O:BA";
  EXPECT_EQ(Out(sample, true, true), "[OWNER] BA\n");
}

TEST_F(SdOutputTest, RawSddlResolutionAndDebug) {
  g_RawSddl = true;
  g_SddlPlusPlus = g_SddlPlus = true;
  g_ResolveSids = true;
  g_Debug = true;
  testing::internal::CaptureStdout();
  const std::string text = Out(Sample());
  const std::string debug = testing::internal::GetCapturedStdout();
  EXPECT_EQ(text,
            ">nTSecurityDescriptor: [SDDL] O:BAG:SYD:PAI(A;;RPWP;;;SY)(D;;SD;;;WD)S:(AU;SA;WP;;;WD)\n"
            ">nTSecurityDescriptor: [OWNER] BUILTIN\\Administrators\n"
            ">nTSecurityDescriptor: [GROUP] NT AUTHORITY\\SYSTEM\n"
            ">nTSecurityDescriptor: [DACL] (FLAGS:PROTECTED INHERIT)\n"
            ">nTSecurityDescriptor: [DACL] ALLOW;;[READ PROP][WRT PROP];;;NT AUTHORITY\\SYSTEM\n"
            ">nTSecurityDescriptor: [DACL] DENY;;[DEL];;;Everyone\n"
            ">nTSecurityDescriptor: [SACL] (FLAGS:)\n"
            ">nTSecurityDescriptor: [SACL] AUDIT;[SUCCESS];[WRT PROP];;;Everyone\n");
  EXPECT_EQ(debug.substr(0, debug.find('\n', debug.find('\n') + 1) + 1),
            "DEBUG: RawSDDL - O:BAG:SYD:PAI(A;;RPWP;;;SY)(D;;SD;;;WD)S:(AU;SA;WP;;;WD)\n"
            "DEBUG: 56 | 0 / 3 | 4 / 7 | 8 / 38 | 39 / 55\n");
}

TEST_F(SdOutputTest, AclSectionsFindTagsInEitherCase) {
  g_SddlPlus = true;
  struct Case {
    const char* name;
    const char* sddl;
    const char* body;
  } cases[] = {
      {"lower-case tags", "d:(A;;RP;;;WD)s:(AU;SA;RP;;;WD)",
       "[DACL] \n[DACL] A;;RP;;;WD\n[SACL] \n[SACL] AU;SA;RP;;;WD\n"},
      // Both parts run to the end: the SACL's last ACE swallows the DACL.
      {"SACL before DACL", "S:(AU;SA;RP;;;WD)D:(A;;RP;;;WD)",
       "[DACL] \n[DACL] A;;RP;;;WD\n[SACL] \n[SACL] AU;SA;RP;;;WDD:(A\n"},
      {"no SACL part", "D:(A;;RP;;;WD)",
       "[DACL] \n[DACL] A;;RP;;;WD\n[SACL] Not specified in SD or insufficient rights\n"},
  };
  for (const Case& c : cases) {
    std::string body, header = "h";
    OutputAclSections("", &body, &header, c.sddl, "");
    EXPECT_EQ(body, c.body) << c.name;
  }
  std::string body, header = "kept";
  OutputAclSections(">a: ", &body, &header, "D:(A;;RP;;;WD)S:", "a");
  EXPECT_EQ(body, ">a: [DACL] \n>a: [DACL] A;;RP;;;WD\n");
  EXPECT_EQ(header, "kept");
  OutputAclSections(">a: ", &body, &header, "S:", "a");
  EXPECT_EQ(header, "");
}

TEST_F(SdOutputTest, ObjectOwnerText) {
  const Bytes sd = Sample();
  EXPECT_EQ(GetObjectOwnerText(false, false, sd.data(), sd.size()), ">_OBJECT_OWNER: S-1-5-32-544");
  EXPECT_EQ(GetObjectOwnerText(true, false, sd.data(), sd.size()), "S-1-5-32-544");
  EXPECT_EQ(GetObjectOwnerText(false, true, sd.data(), sd.size()), "\"S-1-5-32-544\"");
  g_ResolveSids = true;
  EXPECT_EQ(GetObjectOwnerText(true, true, sd.data(), sd.size()), "\"BUILTIN\\Administrators\"");
  g_SidBinaryOut = true;
  EXPECT_EQ(GetObjectOwnerText(true, false, sd.data(), sd.size()), "01020000000000052000000020020000");

  const Bytes none = Descriptor({}, SidBytes("SY"), {}, {});
  EXPECT_EQ(GetObjectOwnerText(false, false, none.data(), none.size()), ">_OBJECT_OWNER: {UNKNOWN}");
  EXPECT_EQ(GetObjectOwnerText(true, true, sd.data(), 30), "\"{UNKNOWN}\"");
  EXPECT_EQ(GetObjectOwnerText(true, false, nullptr, 0), "{UNKNOWN}");
}

}  // namespace

TEST_F(SdOutputTest, TheSidsGatheredForBatchesAreThoseTheTextNamesAtEveryLevel) {
  // Owner BA, group SY, an explicit ACE for a domain user, an inherited one
  // for WD (the inherited trustees are left to the lookups one by one).
  const Bytes sd = Descriptor(SidBytes("BA"), SidBytes("SY"),
                              Acl({Ace(0x00, 0, 0x30, SidBytes("S-1-5-21-1-2-3-1105")),
                                   Ace(0x00, 0x10, 0x30, SidBytes("WD"))}),
                              {});
  for (const int level : {0, 1, 2}) {
    g_SddlPlus = level >= 1;
    g_SddlPlusPlus = level == 2;
    std::vector<std::string_view> sids;
    CollectDescriptorSids(sd.data(), sd.size(), true, false, kName, &sids);
    std::vector<std::string> texts;
    for (std::string_view sid : sids) {
      texts.emplace_back();
      plat::ConvertSidToStringSidA(sid.data(), sid.size(), &texts.back());
    }
    EXPECT_EQ(texts, (std::vector<std::string>{"S-1-5-32-544", "S-1-5-18", "S-1-5-21-1-2-3-1105"})) << level;
  }
}
