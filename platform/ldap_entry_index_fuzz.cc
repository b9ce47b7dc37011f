// Fuzz target: the entry attribute index. The input is cut into pieces, each
// led by a one-byte length, and each piece is added as one attribute's
// PartialAttribute contents; then every name is looked up and every value
// walked, which must stay inside the input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "platform/ldap_entry_index.h"

using plat::detail::EntryIndex;

namespace {

bool Inside(std::string_view part, const std::vector<char>& all) {
  return part.empty() || (part.data() >= all.data() && part.data() + part.size() <= all.data() + all.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<char> bytes(data, data + size);
  static EntryIndex index;  // kept across inputs, as the search keeps it across entries
  index.Reset();
  size_t pos = 0;
  while (pos < bytes.size()) {
    size_t len = static_cast<uint8_t>(bytes[pos++]);
    if (len > bytes.size() - pos) len = bytes.size() - pos;
    index.Add(std::string_view(bytes.data() + pos, len));
    pos += len;
  }
  index.Seal();
  for (size_t i = 0; i < index.size(); ++i) {
    std::string_view name = index.Name(i);
    if (!Inside(name, bytes)) abort();
    size_t found = index.Find(name);
    if (found == EntryIndex::npos || found > i) abort();
    index.NoteWalked(i);
    size_t count = 0;
    const std::string_view* values = index.Values(i, &count);
    for (size_t v = 0; v < count; ++v) {
      if (!Inside(values[v], bytes)) abort();
    }
  }
  index.Find("objectClass");
  return 0;
}
