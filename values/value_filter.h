// The multi-value filters (-mvfilter / -mvnotfilter): one rule wherever values
// are filtered. A table filters only the attributes it names with a non-empty
// pattern; the tested text is searched for the pattern as a plain substring; a
// show pattern drops a value that lacks it, a NOT pattern drops one that holds it.
#pragma once

#include <map>
#include <string>
#include <string_view>

// The patterns that apply to one attribute, looked up once per attribute.
// A null pointer means that table does not filter this attribute.
struct ValueFilterPatterns {
  const std::string* show = nullptr;
  const std::string* notShow = nullptr;
  bool caseSensitive = false;

  bool active() const { return show != nullptr || notShow != nullptr; }
};

// Looks up the patterns for an attribute. key is the lower-cased attribute name;
// either map may be null (table not in force). Empty patterns count as absent.
ValueFilterPatterns FindValueFilterPatterns(const std::map<std::string, std::string>* showMap,
                                            const std::map<std::string, std::string>* notShowMap,
                                            bool caseSensitive, const std::string& key);

// The same, from the run's filter settings (g_MvFilterMap, g_MvNotFilterMap and
// their on-flags, g_MvFilterCaseSensitive).
ValueFilterPatterns FindValueFilterPatterns(const std::string& lowerName);

// True when the value text is to be dropped under the given patterns. The text
// is lower-cased for the test unless the patterns are case-sensitive (the
// patterns themselves are stored lower-cased in that case).
bool ValueFilterDrops(const ValueFilterPatterns& patterns, std::string_view valueText);
