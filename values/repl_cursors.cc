#include "values/repl_cursors.h"

#include "values/meta_lines.h"
#include "values/record_reader.h"

namespace {
constexpr size_t kCursorRecordSize = 36;
}

void AppendReplCursors(const std::string& attrName, std::string_view label,
                       const std::vector<std::string_view>& values, std::string* out) {
  MetaLineList lines(attrName);
  for (std::string_view value : values) {
    RecordReader r(value);
    if (!r.Has(0, kCursorRecordSize)) {
      lines.AddUndecodable(value);
      continue;
    }
    const int64_t usn = r.I64(16);
    DWORD low = 0, high = 0;
    r.FileTime(24, &low, &high);
    const std::string dsa = ShortenDsaName(r.TextAtOffsetField(32, "DeletedDSA"));
    if (!r.ok()) {
      lines.AddUndecodable(value);
      continue;
    }
    const std::string sync = MetaTimeText(low, high);
    const std::string& key = MetaSortKeyIs("dsa") ? dsa : sync;

    std::string text;
    AppendPadded(&text, std::to_string(usn), 10, false);
    text.push_back(' ');
    AppendPadded(&text, sync, 24, true);
    text.push_back(' ');
    text.append(dsa);
    lines.Add(key, text);
  }
  lines.Print(label, out);
}
