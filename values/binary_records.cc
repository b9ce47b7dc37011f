#include "values/binary_records.h"

#include "structured/cached_membership.h"
#include "structured/retired_signatures.h"
#include "values/queue_statistics.h"
#include "values/quota_usage.h"
#include "values/repl_cursors.h"
#include "values/repl_failures.h"
#include "values/repl_metadata.h"
#include "values/repl_neighbours.h"
#include "values/repl_pending_ops.h"

namespace {

using BlobDecoder = bool (*)(unsigned, const unsigned char*, std::vector<std::string>*);

void AppendBlobLines(BlobDecoder decode, std::string_view label,
                     const std::vector<std::string_view>& values, std::string* out) {
  if (values.empty()) return;
  // Single-valued attributes: only the first value is decoded.
  std::vector<std::string> lines;
  decode(static_cast<unsigned>(values[0].size()),
         reinterpret_cast<const unsigned char*>(values[0].data()), &lines);
  for (const std::string& line : lines) {
    out->append(label);
    out->append(line);
    out->push_back('\n');
  }
}

}  // namespace

bool AppendBinaryRecords(BinaryRecordKind kind, const std::string& attrName,
                         std::string_view label, const std::vector<std::string_view>& values,
                         std::string* out) {
  switch (kind) {
    case BinaryRecordKind::kCachedMembership:
      AppendBlobLines(DecodeCachedMembership, label, values, out);
      return true;
    case BinaryRecordKind::kRetiredNcSignatures:
      AppendBlobLines(DecodeRetiredNcSignatures, label, values, out);
      return true;
    case BinaryRecordKind::kRetiredDsaSignatures:
      AppendBlobLines(DecodeRetiredDsaSignatures, label, values, out);
      return true;
    case BinaryRecordKind::kAttributeMetaData:
      AppendAttributeMetaData(attrName, label, values, out);
      return true;
    case BinaryRecordKind::kValueMetaData:
      AppendValueMetaData(attrName, label, values, out);
      return true;
    case BinaryRecordKind::kCursors:
      AppendReplCursors(attrName, label, values, out);
      return true;
    case BinaryRecordKind::kFailures:
      AppendReplFailures(attrName, label, values, out);
      return true;
    case BinaryRecordKind::kNeighbours:
      AppendReplNeighbours(attrName, label, values, out);
      return true;
    case BinaryRecordKind::kPendingOps:
      AppendReplPendingOps(attrName, label, values, out);
      return true;
    case BinaryRecordKind::kQuotaUsage:
      AppendQuotaUsage(attrName, label, values, out);
      return true;
    case BinaryRecordKind::kQueueStatistics:
      AppendQueueStatistics(label, values, out);
      return true;
    case BinaryRecordKind::kSiteAffinity:
    case BinaryRecordKind::kOther:
      return false;
  }
  return false;
}
