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

// The fields of one value (its text ends at its first NUL): the naming
// context, the owner's SID text (haveOwner: an ownerSID line was there) and
// the counts, each from the last line that names it.
struct QuotaUsage {
  std::string nc, ownerSid, used, tombstoned, live;
  bool haveOwner = false;
};
QuotaUsage ReadQuotaUsage(std::string_view value);
