#include "values/repl_metadata.h"

#include <string>

#include "common/dstime.h"
#include "common/process_state.h"
#include "values/meta_lines.h"
#include "values/record_reader.h"

namespace {

constexpr size_t kAttributeRecordSize = 52;
constexpr size_t kValueRecordSize = 84;

// A USN of a value-metadata record: 0 means the value predates value
// metadata.
std::string LegacyUsnText(int64_t usn) { return usn == 0 ? "LEGACY" : std::to_string(usn); }

}  // namespace

void AppendAttributeMetaData(const std::string& attrName, std::string_view label,
                             const std::vector<std::string_view>& values, std::string* out) {
  MetaLineList lines(attrName);
  for (std::string_view value : values) {
    RecordReader r(value);
    if (!r.Has(0, kAttributeRecordSize)) {
      lines.AddUndecodable(value);
      continue;
    }
    const std::string name = r.TextAtOffsetField(0, "");
    const uint32_t version = r.U32(4);
    DWORD low = 0, high = 0;
    r.FileTime(8, &low, &high);
    const int64_t usnOrig = r.I64(32);
    const int64_t usnLocal = r.I64(40);
    const std::string dsa = ShortenDsaName(r.TextAtOffsetField(48, "DeletedDSA"));
    if (!r.ok()) {
      lines.AddUndecodable(value);
      continue;
    }
    std::string date = MetaTimeText(low, high);
    if (g_Utc && date.empty()) date = " UTC";  // this column says UTC even when empty
    const std::string usnLocalText = std::to_string(usnLocal);
    const std::string usnOrigText = std::to_string(usnOrig);

    std::string key = name;
    if (MetaSortKeyIs("dsa")) key = dsa;
    else if (MetaSortKeyIs("date")) key = date;
    else if (MetaSortKeyIs("usnloc")) key = PadNumericSortKey(usnLocalText);
    else if (MetaSortKeyIs("usnorig")) key = PadNumericSortKey(usnOrigText);
    else if (MetaSortKeyIs("ver")) key = PadNumericSortKey(std::to_string(version));

    std::string text;
    AppendPadded(&text, usnLocalText, 10, false);
    text.push_back(' ');
    AppendPadded(&text, dsa, 30, true);
    text.push_back(' ');
    AppendPadded(&text, usnOrigText, 10, false);
    text.push_back(' ');
    AppendPadded(&text, date, 24, true);
    text.push_back(' ');
    AppendPadded(&text, std::to_string(static_cast<int32_t>(version)), 10, false);
    text.append("  ");
    text.append(name);
    lines.Add(key, text);
  }
  lines.Print(label, out);
}

void AppendValueMetaData(const std::string& attrName, std::string_view label,
                         const std::vector<std::string_view>& values, std::string* out) {
  MetaLineList lines(attrName);
  for (std::string_view value : values) {
    RecordReader r(value);
    if (!r.Has(0, kValueRecordSize)) {
      lines.AddUndecodable(value);
      continue;
    }
    const std::string name = r.TextAtOffsetField(0, "");
    const std::string object = r.TextAtOffsetField(4, "DeletedObject");
    DWORD delLow = 0, delHigh = 0, createLow = 0, createHigh = 0;
    r.FileTime(16, &delLow, &delHigh);
    r.FileTime(24, &createLow, &createHigh);
    const uint32_t version = r.U32(32);
    const int64_t usnOrig = r.I64(64);
    const int64_t usnLocal = r.I64(72);
    const std::string dsa = ShortenDsaName(r.TextAtOffsetField(80, "DeletedDSA"));
    if (!r.ok()) {
      lines.AddUndecodable(value);
      continue;
    }
    const std::string usnLocalText = LegacyUsnText(usnLocal);
    const std::string usnOrigText = LegacyUsnText(usnOrig);
    // The deletion time of a deleted value, else the creation time of a present one.
    std::string time = DSTIME(delLow, delHigh, g_Utc).isoDateTime;
    const char* state = time.empty() ? "(+)" : "(-)";
    if (time.empty()) time = DSTIME(createLow, createHigh, g_Utc).isoDateTime;
    if (g_Utc && !time.empty()) time.append(" UTC");

    std::string key = time;
    if (MetaSortKeyIs("attrib")) key = name;
    else if (MetaSortKeyIs("obj")) key = object;
    else if (MetaSortKeyIs("dsa")) key = dsa;
    else if (MetaSortKeyIs("state")) key = state;
    else if (MetaSortKeyIs("usnloc")) key = PadNumericSortKey(usnLocalText);
    else if (MetaSortKeyIs("usnorig")) key = PadNumericSortKey(usnOrigText);
    else if (MetaSortKeyIs("ver")) key = PadNumericSortKey(std::to_string(version));
    // Grouped by attribute first, ordered by the key within each attribute.
    key.insert(0, name);

    std::string text;
    AppendPadded(&text, name, 25, true);
    text.push_back(' ');
    AppendPadded(&text, usnLocalText, 10, false);
    text.push_back(' ');
    AppendPadded(&text, dsa, 30, true);
    text.push_back(' ');
    AppendPadded(&text, usnOrigText, 10, false);
    text.push_back(' ');
    AppendPadded(&text, time, 24, true);
    text.push_back(' ');
    AppendPadded(&text, std::to_string(static_cast<int32_t>(version)), 6, false);
    text.push_back(' ');
    text.append(state);
    text.append(object);
    lines.Add(key, text);
  }
  lines.Print(label, out);
}
