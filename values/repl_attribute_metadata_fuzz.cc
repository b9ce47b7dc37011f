// Fuzz target: msDS-ReplAttributeMetaData;binary values of any bytes, under varying settings.
#include <cstddef>
#include <cstdint>
#include <string>

#include "values/repl_metadata.h"
#include "values/replication_fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string name = "msDS-ReplAttributeMetaData;binary";
  const std::vector<std::string_view> values = ReplicationFuzzInput(data, size, "msds-replattributemetadata;binary");
  std::string out;
  AppendAttributeMetaData(name, ">a: ", values, &out);
  return 0;
}
