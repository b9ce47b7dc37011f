#include "driver/descriptor_text.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// A self-relative descriptor whose owner is S-1-5-32-544.
std::vector<unsigned char> Descriptor() {
  return {1, 0, 0x04, 0x80, 20, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
          // owner: revision 1, two sub-authorities, authority 5, 32, 544
          1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x20, 2, 0, 0};
}

TEST(DescriptorText, OwnerLineInEachLayout) {
  const std::vector<unsigned char> sd = Descriptor();
  EXPECT_EQ(DescriptorOwnerText(false, false, sd.data(), sd.size()),
            ">_OBJECT_OWNER: S-1-5-32-544");
  EXPECT_EQ(DescriptorOwnerText(true, false, sd.data(), sd.size()), "S-1-5-32-544");
  EXPECT_EQ(DescriptorOwnerText(false, true, sd.data(), sd.size()), "\"S-1-5-32-544\"");
}

TEST(DescriptorText, NoReadableOwnerIsUnknown) {
  std::vector<unsigned char> sd = Descriptor();
  sd[4] = 0;  // no owner
  EXPECT_EQ(DescriptorOwnerText(false, false, sd.data(), sd.size()), ">_OBJECT_OWNER: {UNKNOWN}");
  sd = Descriptor();
  sd[4] = 200;  // owner offset past the value
  EXPECT_EQ(DescriptorOwnerText(true, false, sd.data(), sd.size()), "{UNKNOWN}");
  EXPECT_EQ(DescriptorOwnerText(true, false, sd.data(), 10), "{UNKNOWN}");
  EXPECT_EQ(DescriptorOwnerText(true, false, nullptr, 0), "{UNKNOWN}");
}

TEST(DescriptorText, ValueIsDumpedWithItsLabel) {
  const unsigned char bytes[] = {0x01, 0xAB, 0x7F};
  EXPECT_EQ(DescriptorValueText("nTSecurityDescriptor", false, bytes, 3),
            ">nTSecurityDescriptor: 01AB 7F \n");
  EXPECT_EQ(DescriptorValueText("nTSecurityDescriptor", true, bytes, 3), "01AB 7F \n");
}

}  // namespace
