// Binary attribute values: which renderer handles an attribute's values, and
// the hex dump of those that have none.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Structured binary records, chosen by the attribute name as the server spells
// it (whole name, or its beginning so that ";binary" forms match).
enum class BinaryRecordKind {
  kCachedMembership,      // msDS-Cached-Membership
  kSiteAffinity,          // msDS-Site-Affinity
  kRetiredNcSignatures,   // msDS-RetiredReplNCSignatures
  kRetiredDsaSignatures,  // retiredReplDSASignatures
  kAttributeMetaData,     // msDS-ReplAttributeMetaData*
  kValueMetaData,         // msDS-ReplValueMetaData*
  kCursors,               // msDS-NCReplCursors*
  kFailures,              // msDS-ReplConnectionFailures*, msDS-ReplLinkFailures*
  kNeighbours,            // msDS-NCRepl{In,Out}boundNeighbors*, msDS-ReplAll{In,Out}boundNeighbors*
  kPendingOps,            // msDS-ReplPendingOps*
  kQuotaUsage,            // msDS-TopQuotaUsage*
  kQueueStatistics,       // msDS-ReplQueueStatistics*
  kOther,                 // everything else: hex dump
};

// The first kind whose name test holds; comparisons are case-sensitive.
BinaryRecordKind ClassifyBinaryAttribute(const std::string& attrName);

// True when the value's bytes hold a NUL. Read as NUL-terminated text such a
// value would end at its first NUL, so the printers show it whole in the form
// binary values take: the hex dump.
inline bool HoldsNul(std::string_view value) {
  return value.find('\0') != std::string_view::npos;
}

// One hex-dump line: label, the dump of len bytes, "\n". With debug, "[len]"
// is written to standard output first (it shows before the entry's DN line).
void AppendHexDumpLine(std::string_view label, const unsigned char* data, size_t len, bool debug,
                       std::string* out);
