#include "values/repl_failures.h"

#include "common/console_services.h"
#include "common/string_util.h"
#include "values/meta_lines.h"
#include "values/record_reader.h"

namespace {
constexpr size_t kFailureRecordSize = 36;
}

std::string ReplErrorText(int32_t code) {
  return ReplaceAll(GetWin32ErrorText(static_cast<DWORD>(code)), "\r\n", "", false);
}

void AppendReplFailures(const std::string& attrName, std::string_view label,
                        const std::vector<std::string_view>& values, std::string* out) {
  MetaLineList lines(attrName);
  for (std::string_view value : values) {
    RecordReader r(value);
    if (!r.Has(0, kFailureRecordSize)) {
      lines.AddUndecodable(value);
      continue;
    }
    const std::string dsa = ShortenDsaName(r.TextAtOffsetField(0, "DeletedDSA"));
    DWORD low = 0, high = 0;
    r.FileTime(20, &low, &high);
    const int32_t failures = r.I32(28);
    const int32_t lastResult = r.I32(32);
    if (!r.ok()) {
      lines.AddUndecodable(value);
      continue;
    }
    const std::string firstFail = MetaTimeText(low, high);
    const std::string& key = MetaSortKeyIs("date") ? firstFail : dsa;

    std::string text = "Failures: ";
    AppendPadded(&text, std::to_string(failures), 6, true);
    text.append(" LastResult: ");
    AppendPadded(&text, std::to_string(lastResult), 6, true);
    text.append(" FirstFailTime: ");
    AppendPadded(&text, firstFail, 24, true);
    text.append("  DSA: ");
    text.append(dsa);
    text.append("  LastError: \"");
    text.append(ReplErrorText(lastResult));
    text.push_back('"');
    lines.Add(key, text);
  }
  lines.Print(label, out);
}
