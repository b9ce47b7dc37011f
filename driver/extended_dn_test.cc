#include "driver/extended_dn.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(PlainDn, ExtendedComponentsAreDropped) {
  const struct {
    std::string in;
    std::string out;
  } cases[] = {
      {"CN=g,DC=t", "CN=g,DC=t"},
      {"", ""},
      {"<GUID=0011aabb>;<SID=01050000>;CN=g,DC=t", "CN=g,DC=t"},
      {"<GUID=0011aabb>;CN=g,DC=t", "CN=g,DC=t"},
      {"<GUID={00112233-4455-6677-8899-AABBCCDDEEFF}>;<SID=S-1-5-21-1-2-3-1104>;CN=u,DC=t",
       "CN=u,DC=t"},
      {"<GUID=0011aabb>", "<GUID=0011aabb>"},               // nothing else names it
      {"<GUID=0011aabb>;<SID=01>;", "<GUID=0011aabb>;<SID=01>;"},
      {"<GUID=0011aabb;CN=g", "<GUID=0011aabb;CN=g"},       // not closed: left alone
      {"CN=a<b>,DC=t", "CN=a<b>,DC=t"},                     // only leading components
  };
  for (const auto& c : cases) EXPECT_EQ(PlainDn(c.in), c.out) << c.in;
}

}  // namespace
