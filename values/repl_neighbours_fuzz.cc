// Fuzz target: msDS-ReplAllInboundNeighbors;binary values of any bytes, under varying settings.
#include <cstddef>
#include <cstdint>
#include <string>

#include "values/repl_neighbours.h"
#include "values/replication_fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string name = "msDS-ReplAllInboundNeighbors;binary";
  const std::vector<std::string_view> values = ReplicationFuzzInput(data, size, "msds-replallinboundneighbors;binary");
  std::string out;
  AppendReplNeighbours(name, ">a: ", values, &out);
  return 0;
}
