#include "values/site_affinity.h"

#include <gtest/gtest.h>

#include <vector>

#include "common/process_state.h"

namespace {

// GUID {01020304-0506-0708-090A-0B0C0D0E0F10} in storage layout, then a time.
std::vector<unsigned char> Value(int64_t time) {
  std::vector<unsigned char> v = {0x04, 0x03, 0x02, 0x01, 0x06, 0x05, 0x08, 0x07,
                                  0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x10};
  uint64_t u = static_cast<uint64_t>(time);
  for (int i = 0; i < 8; ++i) v.push_back(static_cast<unsigned char>(u >> (8 * i)));
  return v;
}

std::string Print(const std::vector<unsigned char>& v, bool asDate, bool sortable) {
  std::string out;
  AppendSiteAffinity(">msDS-Site-Affinity: ", v.data(), v.size(), asDate, true, sortable, &out);
  return out;
}

TEST(SiteAffinity, GuidTextAndSignedDecimalTime) {
  g_SiteGuidMap.clear();
  EXPECT_EQ(Print(Value(126256467060000000), false, false),
            ">msDS-Site-Affinity: {01020304-0506-0708-090A-0B0C0D0E0F10} - 126256467060000000\n");
  EXPECT_EQ(Print(Value(-5), false, false),
            ">msDS-Site-Affinity: {01020304-0506-0708-090A-0B0C0D0E0F10} - -5\n");
}

TEST(SiteAffinity, SiteNameFromMapAndDateForms) {
  g_SiteGuidMap["{01020304-0506-0708-090A-0B0C0D0E0F10}"] = "Default-First-Site-Name";
  EXPECT_EQ(Print(Value(126256467060000000), true, false),
            ">msDS-Site-Affinity: Default-First-Site-Name - 02/03/2001-04:05:06 Coordinated "
            "Universal Time\n");
  EXPECT_EQ(Print(Value(126256467060000000), true, true),
            ">msDS-Site-Affinity: Default-First-Site-Name - 2001/02/03-04:05:06 Coordinated "
            "Universal Time\n");
  g_SiteGuidMap.clear();
}

TEST(SiteAffinity, ShortValueIsNotReadPastItsEnd) {
  std::vector<unsigned char> v = Value(1);
  v.resize(20);
  // Only the 20 bytes that are there are shown.
  std::string out = Print(v, true, false);
  EXPECT_EQ(out, ">msDS-Site-Affinity: 0403 0201 0605 0807 090A 0B0C 0D0E 0F10 0100 0000 \n");
  v.clear();
  EXPECT_EQ(Print(v, false, false), ">msDS-Site-Affinity: \n");
}

}  // namespace
