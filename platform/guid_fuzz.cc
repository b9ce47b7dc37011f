// Fuzz target: GUID text parsing (narrow and wide) and the text of GUID
// bytes, which must parse back to the same GUID.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/guid.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string narrow(reinterpret_cast<const char*>(data), size);
  GUID parsed;
  if (plat::CLSIDFromString(narrow.c_str(), &parsed) == plat::S_OK) {
    char16_t buf[plat::kGuidTextChars];
    if (plat::StringFromGUID2(parsed, buf, plat::kGuidTextChars) != plat::kGuidTextChars) abort();
  }
  std::u16string wide;
  for (size_t i = 0; i + 1 < size; i += 2) wide.push_back(static_cast<char16_t>(data[i] | data[i + 1] << 8));
  plat::CLSIDFromString(wide.c_str(), &parsed);

  if (size >= 16) {
    GUID g = plat::GuidFromBytes(data);
    char16_t buf[plat::kGuidTextChars];
    if (plat::StringFromGUID2(g, buf, plat::kGuidTextChars) != plat::kGuidTextChars) abort();
    GUID back;
    if (plat::CLSIDFromString(buf, &back) != plat::S_OK) abort();
    if (std::memcmp(&back, &g, sizeof g) != 0) abort();
  }
  return 0;
}
