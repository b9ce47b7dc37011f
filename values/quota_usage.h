// Quota usage, from msDS-TopQuotaUsage values (XML-like text): one line per
// value with the naming context, the owner and the owner's object counts.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// Appends the lines of all values under label (see AppendAttributeMetaData).
// Default order: value order; -metasort nc or owner. The owner SID is shown
// resolved under -resolvesids.
void AppendQuotaUsage(const std::string& attrName, std::string_view label,
                      const std::vector<std::string_view>& values, std::string* out);
