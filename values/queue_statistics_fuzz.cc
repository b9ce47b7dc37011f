// Fuzz target: msDS-ReplQueueStatistics;binary values of any bytes, under varying settings.
#include <cstddef>
#include <cstdint>
#include <string>

#include "values/queue_statistics.h"
#include "values/replication_fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<std::string_view> values = ReplicationFuzzInput(data, size, "msds-replqueuestatistics;binary");
  std::string out;
  AppendQueueStatistics(">a: ", values, &out);
  return 0;
}
