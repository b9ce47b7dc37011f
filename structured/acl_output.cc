#include "structured/acl_output.h"

#include <vector>

#include "common/process_state.h"
#include "common/string_util.h"
#include "structured/ace_rendering.h"
#include "values/value_filter.h"

std::string OutputAcl(const std::string& label, const std::string& sectionName,
                      const std::string& aclText, const std::string& attrName) {
  const std::string lowerName = StrToLower(attrName);
  std::vector<std::string> lines;
  lines.reserve(64);
  RenderAclEntries(aclText, &lines, lowerName);
  if (g_SdAclFlagsOnly && lines.size() > 1) lines.resize(1);

  const ValueFilterPatterns filter = FindValueFilterPatterns(lowerName);
  auto kept = [&filter](const std::string& line) {
    return !filter.active() || !ValueFilterDrops(filter, line);
  };

  std::string text;
  text.reserve(aclText.size() * 3);
  if (g_SddlPlus && !g_CsvOutput) {
    for (const std::string& line : lines) {
      if (kept(line)) text.append(label).append(sectionName).append(" ").append(line).append("\n");
    }
    return text;
  }

  if (lines.empty()) return text;
  size_t first = 0;
  std::string flags;
  if (g_SddlFilterCount == 0 && g_SddlNotFilterCount == 0) {
    flags = lines[0];
    first = 1;
  }
  std::string aces;
  for (size_t i = first; i < lines.size(); ++i) {
    if (kept(lines[i])) aces.append("(").append(lines[i]).append(")");
  }
  if (g_SdAclFlagsOnly) {
    text.append(label).append(sectionName).append("  ").append(flags).append("\n");
  } else if (!aces.empty()) {
    text.append(label).append(sectionName).append("  ").append(flags).append(aces).append("\n");
  }
  return text;
}
