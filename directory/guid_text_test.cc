#include "directory/guid_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

TEST(GuidText, BracedUpperCaseWithFirstFieldsReversed) {
  std::vector<BYTE> bytes;
  for (int i = 0; i < 16; ++i) bytes.push_back(static_cast<BYTE>(i));
  EXPECT_EQ(GuidToString(reinterpret_cast<const GUID*>(bytes.data())),
            "{03020100-0504-0706-0809-0A0B0C0D0E0F}");
  // Any alignment: the same GUID one byte into a buffer.
  std::vector<BYTE> shifted(17, 0xAB);
  std::copy(bytes.begin(), bytes.end(), shifted.begin() + 1);
  EXPECT_EQ(GuidToString(reinterpret_cast<const GUID*>(shifted.data() + 1)),
            "{03020100-0504-0706-0809-0A0B0C0D0E0F}");
  EXPECT_EQ(GuidToString(nullptr), "");
}

}  // namespace
