#include "values/dn_replace.h"

#include "common/string_util.h"

std::string ReplaceDn(std::string dn, const std::vector<std::string>* from,
                      const std::map<std::string, std::string>* to) {
  if (dn.empty() || from == nullptr || to == nullptr || to->empty()) return dn;
  static const std::string kEmpty;
  for (const std::string& search : *from) {
    // An empty search string would otherwise "occur" at the start of every DN.
    if (search.empty()) continue;
    auto it = to->find(search);
    const std::string& replacement = it == to->end() ? kEmpty : it->second;
    std::string candidate = ReplaceFirst(dn, search, replacement, true);
    if (candidate != dn) return candidate;
  }
  return dn;
}
