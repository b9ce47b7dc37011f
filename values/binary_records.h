// The renderers of structured binary attributes: replication records and
// metadata, quota usage, queue statistics, cached membership and retired
// signatures.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "values/binary_value.h"

// Appends the lines of the attribute's values for a record kind that has a
// renderer here and returns true; false (nothing appended) for the kinds that
// are printed otherwise (site affinity, hex dump). The blobs read only the
// first value.
bool AppendBinaryRecords(BinaryRecordKind kind, const std::string& attrName,
                         std::string_view label, const std::vector<std::string_view>& values,
                         std::string* out);
