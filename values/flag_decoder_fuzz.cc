// Fuzz target: any value text through every decoder table, under every name
// the tables know. The first byte picks the name, the rest is the value.
#include <cstddef>
#include <cstdint>
#include <string>

#include "values/flag_decoders.h"

namespace {

const FlagDecoder* const kDecoders[] = {
    &kSamAttributesDecoder,       &kDomainIntervalsDecoder,  &kRootDseAttributesDecoder,
    &kSchemaAttributeFlagsDecoder, &kAttributeSyntaxDecoder, &kValidAccessesDecoder,
    &kCrossRefSystemFlagsDecoder, &kObjectSystemFlagsDecoder, &kPackageFlagsDecoder,
    &kBehaviorVersionDecoder,     &kInstanceTypeDecoder,
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // Values come from the library as C strings: the text ends at a NUL.
  std::string value(reinterpret_cast<const char*>(data + 1), size - 1);
  value.resize(value.find('\0') == std::string::npos ? value.size() : value.find('\0'));
  const char* values[] = {value.c_str(), value.c_str(), nullptr};
  size_t pick = data[0];
  for (const FlagDecoder* decoder : kDecoders) {
    const size_t blocks = decoder->blocks.size();
    const std::string name(decoder->blocks[pick % blocks].name);
    std::string out;
    AppendDecodedValues(*decoder, name, values, (pick & 1) != 0, &out);
    if (out.empty() || out.back() != '\n') __builtin_trap();
    pick /= 2;
  }
  (void)ReadFlagNumber(std::string_view(reinterpret_cast<const char*>(data), size));
  return 0;
}
