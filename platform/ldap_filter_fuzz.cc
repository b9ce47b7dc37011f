// Fuzz target: filter text to its BER form, and the removal of redundant
// outer parentheses, which must leave a filter that encodes the same way.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/ldap_filter.h"

using namespace plat::detail;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  std::string_view stripped = StripRedundantParens(text);
  if (stripped.size() > text.size()) abort();
  std::string whole, inner;
  bool ok = EncodeFilter(text, &whole);
  if (ok && !EncodeFilter(stripped, &inner)) abort();
  if (ok && whole != inner) abort();
  return 0;
}
