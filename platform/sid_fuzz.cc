// Fuzz target: SIDs in both forms. The bytes are read as a binary SID (its
// text must parse back to the same bytes) and as SID text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/sid.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<BYTE> binary(data, data + size);
  std::string text;
  if (plat::IsValidSid(binary.data(), binary.size())) {
    DWORD length = plat::GetLengthSid(binary.data());
    if (length > size) abort();
    if (!plat::ConvertSidToStringSidA(binary.data(), binary.size(), &text)) abort();
    std::vector<BYTE> back;
    if (!plat::ConvertStringSidToSidA(text.c_str(), &back)) abort();
    if (back.size() != length || std::memcmp(back.data(), binary.data(), length) != 0) abort();
  } else if (plat::ConvertSidToStringSidA(binary.data(), binary.size(), &text)) {
    abort();
  }

  std::string asText(reinterpret_cast<const char*>(data), size);
  std::vector<BYTE> parsed;
  if (plat::ConvertStringSidToSidA(asText.c_str(), &parsed)) {
    if (!plat::IsValidSid(parsed.data(), parsed.size())) abort();
    if (!plat::ConvertSidToStringSidA(parsed.data(), parsed.size(), &text)) abort();
  }
  return 0;
}
