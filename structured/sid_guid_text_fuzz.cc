// Fuzz target: SID and GUID values as the server sends them (any length)
// turned into their output texts, resolution off.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "structured/sid_guid_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> value(data, data + size);
  SidToText(value.data(), value.size());
  GuidToText(value.data(), value.size());
  return 0;
}
