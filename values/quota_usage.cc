#include "values/quota_usage.h"

#include <cstring>

#include "common/string_util.h"
#include "structured/sid_guid_text.h"
#include "structured/value_text_helpers.h"
#include "values/meta_lines.h"
#include "values/repl_pending_ops.h"

namespace {

bool Contains(const std::string& line, const char* word) {
  return line.find(word) != std::string::npos;
}

}  // namespace

QuotaUsage ReadQuotaUsage(std::string_view value) {
  const void* nul = std::memchr(value.data(), '\0', value.size());
  if (nul != nullptr) value = value.substr(0, static_cast<const char*>(nul) - value.data());
  std::vector<std::string> textLines;
  SplitString(std::string(value), "\n", &textLines, 65535);
  QuotaUsage q;
  for (const std::string& line : textLines) {
    if (Contains(line, "partitionDN")) {
      q.nc = GetXmlElementText("partitionDN", line);
    } else if (Contains(line, "ownerSID")) {
      q.ownerSid = GetXmlElementText("ownerSID", line);
      q.haveOwner = true;
    } else if (Contains(line, "quotaUsed")) {
      q.used = GetXmlElementText("quotaUsed", line);
    } else if (Contains(line, "tombstonedCount")) {
      q.tombstoned = GetXmlElementText("tombstonedCount", line);
    } else if (Contains(line, "liveCount")) {
      q.live = GetXmlElementText("liveCount", line);
    }
  }
  return q;
}

void AppendQuotaUsage(const std::string& attrName, std::string_view label,
                      const std::vector<std::string_view>& values, std::string* out) {
  MetaLineList lines(attrName);
  size_t index = 0;
  for (std::string_view value : values) {
    const QuotaUsage q = ReadQuotaUsage(value);
    const std::string owner = q.haveOwner ? ResolveSidName(q.ownerSid, nullptr) : std::string();
    const std::string indexKey = IndexSortKey(index++);
    const std::string* key = &indexKey;
    if (MetaSortKeyIs("nc")) key = &q.nc;
    else if (MetaSortKeyIs("owner")) key = &owner;

    std::string text = "NC: " + q.nc;
    text.append(" Owner: ").append(owner);
    text.append(" Used: ").append(q.used);
    text.append(" Tombstone: ").append(q.tombstoned);
    text.append(" LiveCount: ").append(q.live);
    lines.Add(*key, text);
  }
  lines.Print(label, out);
}
