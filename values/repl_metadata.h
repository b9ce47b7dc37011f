// Attribute and value replication metadata of one object, from the binary
// forms of msDS-ReplAttributeMetaData and msDS-ReplValueMetaData: one sortable,
// filterable line per value, ordered by -metasort.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// Each phase appends the lines of all values of the attribute to *out under
// label (empty with -nolabel). attrName is the server's spelling (it keys the
// value filters). A value too short for its record, or whose texts do not lie
// inside it, is printed as its hex dump after the decoded lines.
void AppendAttributeMetaData(const std::string& attrName, std::string_view label,
                             const std::vector<std::string_view>& values, std::string* out);
void AppendValueMetaData(const std::string& attrName, std::string_view label,
                         const std::vector<std::string_view>& values, std::string* out);
