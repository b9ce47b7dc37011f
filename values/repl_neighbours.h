// Replication partners, from the binary forms of msDS-NCReplInboundNeighbors,
// msDS-NCReplOutboundNeighbors, msDS-ReplAllInboundNeighbors and
// msDS-ReplAllOutboundNeighbors: one line per partner link.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// Appends the lines of all values under label (see AppendAttributeMetaData).
// Default order: by DSA; -metasort date (last success), nc or err.
void AppendReplNeighbours(const std::string& attrName, std::string_view label,
                          const std::vector<std::string_view>& values, std::string* out);

// The replica flag names, "WRITEABLE(16),SCHEDULED(64)", with the bits that
// have no name summed as UNKNOWN(n) at the end; "" for 0.
std::string ReplicaFlagsText(uint32_t flags);
