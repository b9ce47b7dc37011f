#include "platform/security_descriptor.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/security_descriptor_builder.h"

namespace plat {
namespace {

using sdtest::Ace;
using sdtest::Acl;
using sdtest::Bytes;
using sdtest::Descriptor;
using sdtest::ObjectAce;
using sdtest::SidBytes;

constexpr char kUserClass[] = "bf967aba-0de6-11d0-a285-00aa003049e2";
constexpr char kMemberAttr[] = "bf9679c0-0de6-11d0-a285-00aa003049e2";

// Converts a copy of the bytes held in a buffer of exactly their size, so
// that the sanitizer build catches any read past the value.
bool Convert(const Bytes& sd, std::string* text, DWORD info = 15) {
  std::unique_ptr<BYTE[]> exact(new BYTE[sd.size() ? sd.size() : 1]);
  if (!sd.empty()) std::memcpy(exact.get(), sd.data(), sd.size());
  return ConvertSecurityDescriptorToStringSecurityDescriptorA(exact.get(), sd.size(),
                                                              SDDL_REVISION_1, info, text);
}

TEST(SecurityDescriptor, ConvertsToPlatformSddl) {
  const Bytes domainAdmins = SidBytes("S-1-5-21-1-2-3-512");
  struct Case {
    const char* name;
    Bytes sd;
    const char* sddl;
  } cases[] = {
      {"owner group protected auto-inherited DACL",
       Descriptor(SidBytes("BA"), SidBytes("SY"),
                  Acl({Ace(0x00, 0, 0x10000000, SidBytes("SY"))}), {},
                  SE_DACL_PROTECTED | SE_DACL_AUTO_INHERITED),
       "O:BAG:SYD:PAI(A;;GA;;;SY)"},
      {"full directory control in bit order, domain SID as text",
       Descriptor(domainAdmins, {}, Acl({Ace(0x00, 0x02, 0x000F01FF, domainAdmins)}), {}),
       "O:S-1-5-21-1-2-3-512D:(A;CI;CCDCLCSWRPWPDTLOCRSDRCWDWO;;;S-1-5-21-1-2-3-512)"},
      {"object ACE with both GUIDs and every inheritance flag",
       Descriptor({}, {},
                  Acl({ObjectAce(0x05, 0x1F, 0x30, kMemberAttr, kUserClass, SidBytes("PS"))}), {}),
       "D:(OA;OICINPIOID;RPWP;bf9679c0-0de6-11d0-a285-00aa003049e2;"
       "bf967aba-0de6-11d0-a285-00aa003049e2;PS)"},
      {"object ACE with the inherited type only, deny",
       Descriptor({}, {}, Acl({ObjectAce(0x06, 0, 0x100, nullptr, kUserClass, SidBytes("WD"))}), {}),
       "D:(OD;;CR;;bf967aba-0de6-11d0-a285-00aa003049e2;WD)"},
      {"a bit without a code gives the whole mask in hex",
       Descriptor({}, {}, Acl({Ace(0x00, 0, 0x00100014, SidBytes("AU"))}), {}),
       "D:(A;;0x100014;;;AU)"},
      {"generic rights",
       Descriptor({}, {}, Acl({Ace(0x01, 0, 0xE0000000, SidBytes("AN"))}), {}),
       "D:(D;;GRGWGX;;;AN)"},
      {"SACL with audit and alarm ACEs and its own flags",
       Descriptor({}, {}, {},
                  Acl({Ace(0x02, 0xC0, 0x20, SidBytes("WD")), Ace(0x03, 0x40, 0, SidBytes("SY")),
                       ObjectAce(0x07, 0x80, 0x20, kMemberAttr, nullptr, SidBytes("WD")),
                       ObjectAce(0x08, 0, 0x10, nullptr, nullptr, SidBytes("WD"))}),
                  SE_SACL_AUTO_INHERIT_REQ | SE_SACL_AUTO_INHERITED),
       "S:ARAI(AU;SAFA;WP;;;WD)(AL;SA;;;;SY)(OU;FA;WP;bf9679c0-0de6-11d0-a285-00aa003049e2;;WD)"
       "(OL;;RP;;;WD)"},
      {"empty protected DACL", Descriptor({}, {}, Acl({}), {}, SE_DACL_PROTECTED), "D:P"},
      {"present null DACL", sdtest::NullDacl(), "D:NO_ACCESS_CONTROL"},
      {"nothing but the header", Descriptor({}, {}, {}, {}), ""},
      {"SID with an authority of 2^32 or more",
       Descriptor(SidBytes("S-1-0x01AABBCCDDEE-7"), {}, {}, {}), "O:S-1-0x01AABBCCDDEE-7"},
  };
  for (const Case& c : cases) {
    std::string text = "unchanged";
    EXPECT_TRUE(IsValidSecurityDescriptor(c.sd.data(), c.sd.size())) << c.name;
    ASSERT_TRUE(Convert(c.sd, &text)) << c.name;
    EXPECT_EQ(text, c.sddl) << c.name;
  }
}

TEST(SecurityDescriptor, InformationMaskChoosesParts) {
  const Bytes sd = Descriptor(SidBytes("BA"), SidBytes("SY"),
                              Acl({Ace(0x00, 0, 0x10000000, SidBytes("SY"))}),
                              Acl({Ace(0x02, 0x40, 0x10000000, SidBytes("WD"))}));
  std::string text;
  ASSERT_TRUE(Convert(sd, &text, OWNER_SECURITY_INFORMATION | SACL_SECURITY_INFORMATION));
  EXPECT_EQ(text, "O:BAS:(AU;SA;GA;;;WD)");
  ASSERT_TRUE(Convert(sd, &text, GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION));
  EXPECT_EQ(text, "G:SYD:(A;;GA;;;SY)");
}

// Each malformed descriptor is rejected by validation and by the converter,
// and reads nothing past its bytes.
TEST(SecurityDescriptor, MalformedDescriptorsAreRejected) {
  const Bytes good = Descriptor(SidBytes("BA"), SidBytes("SY"),
                                Acl({Ace(0x00, 0, 0x10000000, SidBytes("SY")),
                                     ObjectAce(0x05, 0, 0x10, kMemberAttr, kUserClass,
                                               SidBytes("AU"))}),
                                {});
  // Offsets of the parts in `good`: header 20, owner 16 bytes, group 12,
  // then the DACL at 48.
  const size_t daclAt = 48;
  ASSERT_EQ(good[16], daclAt);
  const Bytes ownerOnly = Descriptor(SidBytes("S-1-5-21-1-2-3-512"), {}, {}, {});
  auto with = [&good](size_t at, std::initializer_list<BYTE> bytes) {
    Bytes b = good;
    size_t i = at;
    for (BYTE v : bytes) b[i++] = v;
    return b;
  };
  struct Case {
    const char* name;
    Bytes sd;
  } cases[] = {
      {"empty", {}},
      {"shorter than the header", Bytes(good.begin(), good.begin() + 19)},
      {"revision 2", with(0, {2})},
      {"not self-relative", with(3, {0x00})},
      {"owner offset past the end", with(4, {0xF0, 0})},
      {"owner offset inside the header", with(4, {8})},
      {"owner SID with 16 sub-authorities", with(21, {16})},
      {"owner SID running past the end",
       Bytes(ownerOnly.begin(), ownerOnly.end() - 4)},
      {"group SID revision 3", with(36, {3})},
      {"ACL revision 9", with(daclAt, {9})},
      {"ACL size larger than the value", with(daclAt + 2, {0xFF, 0x7F})},
      {"ACL size smaller than its ACEs", with(daclAt + 2, {20, 0})},
      {"ACL size below its header", with(daclAt + 2, {4, 0})},
      {"ACE count too large", with(daclAt + 4, {3, 0})},
      {"ACE size below its header", with(daclAt + 8 + 2, {2, 0})},
      {"ACE size past the ACL", with(daclAt + 8 + 2, {0xF0, 0})},
      {"ACE SID with too many sub-authorities", with(daclAt + 8 + 8 + 1, {15})},
      {"object ACE announcing a GUID it has no room for", with(daclAt + 8 + 20 + 2, {24, 0})},
      {"DACL offset past the end", with(16, {0xF8, 0x01})},
  };
  for (const Case& c : cases) {
    std::unique_ptr<BYTE[]> exact(new BYTE[c.sd.size() ? c.sd.size() : 1]);
    if (!c.sd.empty()) std::memcpy(exact.get(), c.sd.data(), c.sd.size());
    EXPECT_FALSE(IsValidSecurityDescriptor(exact.get(), c.sd.size())) << c.name;
    EXPECT_EQ(GetSecurityDescriptorLength(exact.get(), c.sd.size()), 0u) << c.name;
    std::string text = "unchanged";
    EXPECT_FALSE(Convert(c.sd, &text)) << c.name;
    EXPECT_EQ(text, "unchanged") << c.name;
  }
  // Every truncation of a sound descriptor is rejected.
  for (size_t n = 0; n < good.size(); ++n) {
    std::string text;
    EXPECT_FALSE(Convert(Bytes(good.begin(), good.begin() + n), &text)) << n;
  }
  std::string text;
  EXPECT_TRUE(Convert(good, &text));
}

TEST(SecurityDescriptor, UnknownAceTypeIsValidButNotConvertible) {
  Bytes unknown = {0x11, 0, 12, 0, 1, 0, 0, 0, 0, 0, 0, 0};  // mandatory label, opaque
  const Bytes sd = Descriptor({}, {}, {}, Acl({unknown}));
  EXPECT_TRUE(IsValidSecurityDescriptor(sd.data(), sd.size()));
  std::string text;
  EXPECT_FALSE(Convert(sd, &text));
  // An ACE flag without a code (0x20) cannot be converted either.
  const Bytes flagged = Descriptor({}, {}, Acl({Ace(0x00, 0x20, 0x10, SidBytes("SY"))}), {});
  EXPECT_TRUE(IsValidSecurityDescriptor(flagged.data(), flagged.size()));
  EXPECT_FALSE(Convert(flagged, &text));
}

TEST(SecurityDescriptor, LengthAndOwner) {
  const Bytes sd = Descriptor(SidBytes("S-1-5-21-1-2-3-512"), SidBytes("SY"),
                              Acl({Ace(0x00, 0, 0x10, SidBytes("SY"))}), {});
  EXPECT_EQ(GetSecurityDescriptorLength(sd.data(), sd.size()), sd.size());
  // Trailing bytes after the parts do not count.
  Bytes padded = sd;
  padded.resize(sd.size() + 40);
  EXPECT_EQ(GetSecurityDescriptorLength(padded.data(), padded.size()), sd.size());

  const void* owner = nullptr;
  DWORD ownerLength = 0;
  BOOL defaulted = true;
  ASSERT_TRUE(GetSecurityDescriptorOwner(sd.data(), sd.size(), &owner, &ownerLength, &defaulted));
  EXPECT_EQ(owner, sd.data() + 20);
  EXPECT_EQ(ownerLength, 28u);
  EXPECT_FALSE(defaulted);

  const Bytes none = Descriptor({}, SidBytes("SY"), {}, {});
  ASSERT_TRUE(GetSecurityDescriptorOwner(none.data(), none.size(), &owner, &ownerLength, nullptr));
  EXPECT_EQ(owner, nullptr);
  // The owner SID cut short by the value's end.
  EXPECT_FALSE(GetSecurityDescriptorOwner(sd.data(), 30, &owner, &ownerLength, nullptr));
  EXPECT_FALSE(GetSecurityDescriptorOwner(sd.data(), 12, &owner, &ownerLength, nullptr));
}

}  // namespace
}  // namespace plat
