// Fuzz target: msDS-Cached-Membership values of any bytes, under varying settings.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "structured/cached_membership.h"
#include "values/replication_fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<std::string_view> values = ReplicationFuzzInput(data, size, "msds-cached-membership");
  for (std::string_view v : values) {
    std::vector<std::string> lines;
    DecodeCachedMembership(static_cast<unsigned>(v.size()), reinterpret_cast<const unsigned char*>(v.data()), &lines);
  }
  return 0;
}
