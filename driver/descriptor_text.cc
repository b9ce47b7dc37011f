#include "driver/descriptor_text.h"

#include <cstdint>

#include "common/process_state.h"
#include "structured/sid_guid_text.h"
#include "values/binary_value.h"

namespace {

// Self-relative descriptor header: revision, padding, control word, then the
// offsets of owner, group, SACL and DACL (32-bit little-endian each).
constexpr size_t kHeaderSize = 20;
constexpr uint16_t kSelfRelative = 0x8000;

uint32_t ReadLe32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

}  // namespace

std::string DescriptorValueText(const std::string& attrName, bool noLabel,
                                const unsigned char* bytes, size_t length) {
  std::string text;
  const std::string label = noLabel ? std::string() : ">" + attrName + ": ";
  AppendHexDumpLine(label, bytes, length, g_Debug, &text);
  return text;
}

std::string DescriptorOwnerText(bool noLabel, bool ownerCsv, const unsigned char* bytes,
                                size_t length) {
  std::string owner;
  if (bytes != nullptr && length >= kHeaderSize && bytes[0] == 1) {
    const uint16_t control = static_cast<uint16_t>(bytes[2] | bytes[3] << 8);
    const uint32_t offset = ReadLe32(bytes + 4);
    if ((control & kSelfRelative) != 0 && offset >= kHeaderSize && offset < length) {
      owner = SidToText(bytes + offset, length - offset);
    }
  }
  if (owner.empty()) owner = "{UNKNOWN}";
  if (ownerCsv) return "\"" + owner + "\"";
  return noLabel ? owner : ">_OBJECT_OWNER: " + owner;
}
