// Replication queue statistics, from the binary form of
// msDS-ReplQueueStatistics: one line per value with the number of queued
// operations and the times of the current and oldest ones.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// Appends one line per value, in value order, under label; neither sorted nor
// filtered. A value shorter than its 52-byte record is printed as its hex dump.
void AppendQueueStatistics(std::string_view label, const std::vector<std::string_view>& values,
                           std::string* out);
