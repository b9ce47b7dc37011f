#include "values/meta_lines.h"

#include <algorithm>

#include "common/dstime.h"
#include "common/process_state.h"
#include "common/string_util.h"
#include "values/hex_dump.h"

MetaLine MakeMetaLine(std::string_view key, std::string_view text) {
  MetaLine m;
  m.line.reserve(key.size() + kMetaLineMarker.size() + text.size());
  m.line.append(key);
  m.line.append(kMetaLineMarker);
  m.textStart = m.line.size();
  m.line.append(text);
  return m;
}

bool MetaSortKeyIs(std::string_view word) {
  return std::string_view(g_MetaSortKey).substr(0, word.size()) == word;
}

std::string PadNumericSortKey(std::string key) {
  constexpr size_t kWidth = 25;
  if (key.size() < kWidth) key.insert(0, kWidth - key.size(), '0');
  return key;
}

std::string ShortenDsaName(const std::string& dsa) {
  if (dsa.compare(0, 7, "CN=NTDS") != 0) return dsa;
  std::vector<std::string> fields;
  SplitString(dsa, ",", &fields, 65535);
  if (fields.size() < 4 || fields[1].size() < 3 || fields[3].size() < 3) return dsa;
  return fields[3].substr(3) + "\\" + StrToUpper(StrToLower(fields[1])).substr(3);
}

bool FilterMetaLine(const MetaLine& line, const ValueFilterPatterns& patterns) {
  return !ValueFilterDrops(patterns, line.line);
}

void PrintMetaLines(std::vector<MetaLine>* lines, std::string_view label, std::string* out) {
  if (lines->empty()) return;
  // Each line lower-cased once, then compared as bytes.
  std::vector<std::pair<std::string, size_t>> order;
  order.reserve(lines->size());
  for (size_t i = 0; i < lines->size(); ++i) order.emplace_back(StrToLower((*lines)[i].line), i);
  std::stable_sort(order.begin(), order.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  if (g_MetaSortKey.find('-') != std::string::npos) std::reverse(order.begin(), order.end());
  for (const auto& [lowered, i] : order) {
    out->append(label);
    out->append((*lines)[i].text());
    out->push_back('\n');
  }
}

MetaLineList::MetaLineList(const std::string& attrName)
    : patterns_(FindValueFilterPatterns(StrToLower(attrName))) {}

void MetaLineList::Add(std::string_view key, std::string_view text) {
  MetaLine line = MakeMetaLine(key, text);
  if (FilterMetaLine(line, patterns_)) lines_.push_back(std::move(line));
}

void MetaLineList::AddUndecodable(std::string_view value) {
  std::string dump;
  AppendHexDump(reinterpret_cast<const unsigned char*>(value.data()), value.size(), &dump);
  if (!ValueFilterDrops(patterns_, dump)) undecodable_.push_back(std::move(dump));
}

void MetaLineList::Print(std::string_view label, std::string* out) {
  PrintMetaLines(&lines_, label, out);
  for (const std::string& dump : undecodable_) {
    out->append(label);
    out->append(dump);
    out->push_back('\n');
  }
}

std::string MetaTimeText(DWORD low, DWORD high) {
  std::string text = DSTIME(low, high, g_Utc).isoDateTime;
  if (g_Utc && !text.empty()) text.append(" UTC");
  return text;
}

void AppendPadded(std::string* out, std::string_view text, size_t width, bool leftAlign) {
  const size_t fill = text.size() < width ? width - text.size() : 0;
  if (!leftAlign) out->append(fill, ' ');
  out->append(text);
  if (leftAlign) out->append(fill, ' ');
}
