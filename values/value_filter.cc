#include "values/value_filter.h"

#include "common/process_state.h"

namespace {

const std::string* NonEmptyPattern(const std::map<std::string, std::string>* map,
                                   const std::string& key) {
  if (map == nullptr || map->empty()) return nullptr;
  auto it = map->find(key);
  if (it == map->end() || it->second.empty()) return nullptr;
  return &it->second;
}

// Lower-cases ASCII letters only, as the C locale does.
inline char LowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

ValueFilterPatterns FindValueFilterPatterns(const std::map<std::string, std::string>* showMap,
                                            const std::map<std::string, std::string>* notShowMap,
                                            bool caseSensitive, const std::string& key) {
  ValueFilterPatterns p;
  p.show = NonEmptyPattern(showMap, key);
  p.notShow = NonEmptyPattern(notShowMap, key);
  p.caseSensitive = caseSensitive;
  return p;
}

ValueFilterPatterns FindValueFilterPatterns(const std::string& lowerName) {
  if (!g_MvFilterOn && !g_MvNotFilterOn) return ValueFilterPatterns{};
  return FindValueFilterPatterns(g_MvFilterOn ? &g_MvFilterMap : nullptr,
                                 g_MvNotFilterOn ? &g_MvNotFilterMap : nullptr,
                                 g_MvFilterCaseSensitive, lowerName);
}

bool ValueFilterDrops(const ValueFilterPatterns& patterns, std::string_view valueText) {
  if (!patterns.active()) return false;
  std::string lowered;
  std::string_view tested = valueText;
  if (!patterns.caseSensitive) {
    lowered.resize(valueText.size());
    for (size_t i = 0; i < valueText.size(); ++i) lowered[i] = LowerAscii(valueText[i]);
    tested = lowered;
  }
  if (patterns.notShow != nullptr && tested.find(*patterns.notShow) != std::string_view::npos)
    return true;
  if (patterns.show != nullptr && tested.find(*patterns.show) == std::string_view::npos)
    return true;
  return false;
}
