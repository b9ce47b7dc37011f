#include "values/binary_value.h"

#include <cstdio>

#include "values/hex_dump.h"

namespace {

bool StartsWith(const std::string& s, std::string_view prefix) {
  return s.size() >= prefix.size() && s.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace

BinaryRecordKind ClassifyBinaryAttribute(const std::string& n) {
  if (n == "msDS-Cached-Membership") return BinaryRecordKind::kCachedMembership;
  if (n == "msDS-Site-Affinity") return BinaryRecordKind::kSiteAffinity;
  if (n == "msDS-RetiredReplNCSignatures") return BinaryRecordKind::kRetiredNcSignatures;
  if (n == "retiredReplDSASignatures") return BinaryRecordKind::kRetiredDsaSignatures;
  // The rest are constructed "msDS-" attributes; one test spares the others.
  if (!StartsWith(n, "msDS-")) return BinaryRecordKind::kOther;
  if (StartsWith(n, "msDS-ReplAttributeMetaData")) return BinaryRecordKind::kAttributeMetaData;
  if (StartsWith(n, "msDS-ReplValueMetaData")) return BinaryRecordKind::kValueMetaData;
  if (StartsWith(n, "msDS-NCReplCursors")) return BinaryRecordKind::kCursors;
  if (StartsWith(n, "msDS-ReplConnectionFailures") || StartsWith(n, "msDS-ReplLinkFailures"))
    return BinaryRecordKind::kFailures;
  if (StartsWith(n, "msDS-NCReplInboundNeighbors") ||
      StartsWith(n, "msDS-NCReplOutboundNeighbors") ||
      StartsWith(n, "msDS-ReplAllInboundNeighbors") ||
      StartsWith(n, "msDS-ReplAllOutboundNeighbors"))
    return BinaryRecordKind::kNeighbours;
  if (StartsWith(n, "msDS-ReplPendingOps")) return BinaryRecordKind::kPendingOps;
  if (StartsWith(n, "msDS-TopQuotaUsage")) return BinaryRecordKind::kQuotaUsage;
  if (StartsWith(n, "msDS-ReplQueueStatistics")) return BinaryRecordKind::kQueueStatistics;
  return BinaryRecordKind::kOther;
}

void AppendHexDumpLine(std::string_view label, const unsigned char* data, size_t len, bool debug,
                       std::string* out) {
  if (debug) std::printf("[%zu]", len);
  out->append(label);
  AppendHexDump(data, len, out);
  out->push_back('\n');
}
