// The -replacedn list: "from:to" pairs, with tokens for the directory's own
// naming contexts, turned into the ordered from-list (longest from-text
// first) and the from-to map that ReplaceDn applies to every printed DN.
#pragma once

#include <map>
#include <string>
#include <vector>

// The naming contexts the tokens stand for.
struct NamingContextTexts {
  std::string configuration;
  std::string schema;
  std::string defaultContext;
  std::string rootDomain;
};

// Splits value at delimiter and builds *from and *map (both replaced). The
// result is true when the split gave at least one item. Under debug the
// steps are printed on standard output.
bool BuildDnReplacementList(const std::string& value, const std::string& delimiter,
                            const NamingContextTexts& contexts, bool debug,
                            std::vector<std::string>* from,
                            std::map<std::string, std::string>* map);
