// Replication cursors of a naming context, from the binary form of
// msDS-NCReplCursors: one line per source DSA with the highest USN seen from
// it and its last successful synchronisation.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// Appends the lines of all values under label (see AppendAttributeMetaData).
// Default order: by synchronisation time; -metasort dsa or date.
void AppendReplCursors(const std::string& attrName, std::string_view label,
                       const std::vector<std::string_view>& values, std::string* out);
