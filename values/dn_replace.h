// DN replacement (-replacedn): swaps one known piece of a DN for a short token.
#pragma once

#include <map>
#include <string>
#include <vector>

// Tries the search strings in list order; for each, the first occurrence found
// without regard to case is replaced by its map entry (the empty text when it
// has none). Returns the first result that differs from dn, or dn unchanged.
// An empty dn or an empty map returns dn as it is; empty search strings match
// nothing. Reads both containers and changes neither; either may be null.
std::string ReplaceDn(std::string dn, const std::vector<std::string>* from,
                      const std::map<std::string, std::string>* to);
