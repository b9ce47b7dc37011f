// Fuzz target: retiredReplDSASignatures values of any bytes, under varying settings.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "structured/retired_signatures.h"
#include "values/replication_fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<std::string_view> values = ReplicationFuzzInput(data, size, "retiredrepldsasignatures");
  for (std::string_view v : values) {
    std::vector<std::string> lines;
    const auto* bytes = reinterpret_cast<const unsigned char*>(v.data());
    DecodeRetiredDsaSignatures(static_cast<unsigned>(v.size()), bytes, &lines);
    DecodeRetiredNcSignatures(static_cast<unsigned>(v.size()), bytes, &lines);
  }
  return 0;
}
