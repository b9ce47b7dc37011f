// Fuzz target: msDS-ReplPendingOps;binary values of any bytes, under varying settings.
#include <cstddef>
#include <cstdint>
#include <string>

#include "values/repl_pending_ops.h"
#include "values/replication_fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string name = "msDS-ReplPendingOps;binary";
  const std::vector<std::string_view> values = ReplicationFuzzInput(data, size, "msds-replpendingops;binary");
  std::string out;
  AppendReplPendingOps(name, ">a: ", values, &out);
  return 0;
}
