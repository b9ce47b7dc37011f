// Replication failures of connections and links, from the binary forms of
// msDS-ReplConnectionFailures and msDS-ReplLinkFailures: one line per DSA that
// failed to answer, with the count, the last result and its text.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// Appends the lines of all values under label (see AppendAttributeMetaData).
// Default order: by DSA; -metasort dsa or date (first failure).
void AppendReplFailures(const std::string& attrName, std::string_view label,
                        const std::vector<std::string_view>& values, std::string* out);

// The system's text for a Windows error code with every CR LF removed (a
// code without a text keeps the line feed of "Unknown Error\n").
std::string ReplErrorText(int32_t code);
