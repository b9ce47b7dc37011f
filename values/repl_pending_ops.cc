#include "values/repl_pending_ops.h"

#include "common/cwstring.h"
#include "structured/repl_op_options.h"
#include "values/meta_lines.h"
#include "values/record_reader.h"

namespace {
constexpr size_t kPendingOpRecordSize = 36;
}

std::string IndexSortKey(size_t index) {
  std::string key = std::to_string(index);
  if (key.size() < 5) key.insert(0, 5 - key.size(), '0');
  return key;
}

void AppendReplPendingOps(const std::string& attrName, std::string_view label,
                          const std::vector<std::string_view>& values, std::string* out) {
  MetaLineList lines(attrName);
  size_t index = 0;
  for (std::string_view value : values) {
    const std::string indexKey = IndexSortKey(index++);
    RecordReader r(value);
    if (!r.Has(0, kPendingOpRecordSize)) {
      lines.AddUndecodable(value);
      continue;
    }
    DWORD low = 0, high = 0;
    r.FileTime(0, &low, &high);
    const int32_t serial = r.I32(8);
    const int32_t priority = r.I32(12);
    const auto opType = static_cast<int8_t>(r.U8(16));
    const uint32_t options = r.U32(20);
    const std::string nc = r.TextAtOffsetField(24, "DeletedNC");
    const std::string dsa = ShortenDsaName(r.TextAtOffsetField(28, "DeletedDSA"));
    const std::string address = r.TextAtOffsetField(32, "-");
    if (!r.ok()) {
      lines.AddUndecodable(value);
      continue;
    }
    const std::string queued = MetaTimeText(low, high);
    CWString typeName, optionsText;
    DecodeReplOpOptions(opType, options, &typeName, &optionsText);

    const std::string* key = &indexKey;
    if (MetaSortKeyIs("dsa")) key = &dsa;
    else if (MetaSortKeyIs("date")) key = &queued;

    std::string text = "SN: ";
    AppendPadded(&text, std::to_string(serial), 10, true);
    text.append(" Prio: ");
    AppendPadded(&text, std::to_string(priority), 5, true);
    text.append(" OpType: ");
    AppendPadded(&text, typeName.GetNarrow(), 12, true);
    text.append(" Queued: ");
    AppendPadded(&text, queued, 24, true);
    text.append("  Options: ").append(optionsText.GetNarrow());
    text.append(" NC: ").append(nc);
    text.append(" SourceDSA: ").append(dsa);
    text.append("  DSAAddress: ").append(address);
    lines.Add(*key, text);
  }
  lines.Print(label, out);
}
