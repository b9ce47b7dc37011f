// Replication operations pending on a server, from the binary form of
// msDS-ReplPendingOps: one line per queued operation.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// Appends the lines of all values under label (see AppendAttributeMetaData).
// Default order: queue order; -metasort dsa or date (time queued).
void AppendReplPendingOps(const std::string& attrName, std::string_view label,
                          const std::vector<std::string_view>& values, std::string* out);

// The running index of a value as a key that keeps value order: five digits
// with leading zeros (a longer number whole).
std::string IndexSortKey(size_t index);
