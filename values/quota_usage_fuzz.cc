// Fuzz target: msDS-TopQuotaUsage;binary values of any bytes, under varying settings.
#include <cstddef>
#include <cstdint>
#include <string>

#include "values/quota_usage.h"
#include "values/replication_fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string name = "msDS-TopQuotaUsage;binary";
  const std::vector<std::string_view> values = ReplicationFuzzInput(data, size, "msds-topquotausage;binary");
  std::string out;
  AppendQuotaUsage(name, ">a: ", values, &out);
  return 0;
}
