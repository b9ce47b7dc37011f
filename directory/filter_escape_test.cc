#include "directory/filter_escape.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/sid.h"

namespace {

std::vector<BYTE> Counting() {
  std::vector<BYTE> b;
  for (int i = 0; i < 16; ++i) b.push_back(static_cast<BYTE>(i));
  return b;
}

TEST(FilterEscape, GuidIsItsStoredBytes) {
  std::vector<BYTE> bytes = Counting();
  std::string v = GuidToFilterValue(reinterpret_cast<const GUID*>(bytes.data()));
  EXPECT_EQ(v.size(), 48u);
  EXPECT_EQ(v, "\\00\\01\\02\\03\\04\\05\\06\\07\\08\\09\\0a\\0b\\0c\\0d\\0e\\0f");
}

TEST(FilterEscape, SidTakesItsHeaderLength) {
  std::vector<BYTE> sid;
  ASSERT_TRUE(plat::ConvertStringSidToSidA("S-1-5-32-544", &sid));
  sid.push_back(0xEE);  // a byte beyond the SID is not part of it
  EXPECT_EQ(SidToFilterValue(sid.data()), "\\01\\02\\00\\00\\00\\00\\00\\05\\20\\00\\00\\00\\20\\02\\00\\00");
}

TEST(FilterEscape, BinaryBytes) {
  BYTE bytes[] = {0x00, 0x2A, 0xFF, '(', ')'};
  EXPECT_EQ(BinaryToFilterValue(bytes, 5), "\\00\\2a\\ff\\28\\29");
  EXPECT_EQ(BinaryToFilterValue(bytes, 0), "");
  EXPECT_EQ(BinaryToFilterValue(bytes, -4), "");
  EXPECT_EQ(BinaryToFilterValue(nullptr, 0), "");
}

}  // namespace
