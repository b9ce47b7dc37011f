#include "directory/guid_maps.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/ldap_client.h"

namespace {

plat::berval Value(std::vector<char>& bytes) {
  return plat::berval{static_cast<ULONG>(bytes.size()), bytes.empty() ? nullptr : bytes.data()};
}

TEST(GuidValueKey, SixteenBytesOrMoreGiveTheGuidText) {
  std::vector<char> bytes;
  for (int i = 0; i < 16; ++i) bytes.push_back(static_cast<char>(0xA0 + i));
  plat::berval v = Value(bytes);
  EXPECT_EQ(GuidValueKey(&v), "{A3A2A1A0-A5A4-A7A6-A8A9-AAABACADAEAF}");
  bytes.push_back(0x01);  // extra bytes are not part of the key
  v = Value(bytes);
  EXPECT_EQ(GuidValueKey(&v), "{A3A2A1A0-A5A4-A7A6-A8A9-AAABACADAEAF}");
}

TEST(GuidValueKey, ShortOrMissingValuesGiveNoKey) {
  // Exactly-sized buffers: the sanitizer build catches any read past them.
  for (size_t n : {0u, 1u, 15u}) {
    std::vector<char> bytes(n, 'x');
    plat::berval v = Value(bytes);
    EXPECT_EQ(GuidValueKey(&v), "") << n;
  }
  EXPECT_EQ(GuidValueKey(nullptr), "");
}

}  // namespace
