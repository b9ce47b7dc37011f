#include "values/text_value.h"

#include <cstring>

#include "common/dstime.h"
#include "common/process_state.h"
#include "common/string_util.h"
#include "common/time_text.h"
#include "values/dn_replace.h"

namespace {

bool IsMember(const std::map<std::string, int>& table, const std::string& name) {
  if (table.empty()) return false;
  auto it = table.find(name);
  return it != table.end() && it->second != 0;
}

// s begins with the lower-case prefix when s is lower-cased (C locale).
bool StartsWithLower(const std::string& s, const char* prefix) {
  const size_t n = std::strlen(prefix);
  if (s.size() < n) return false;
  for (size_t i = 0; i < n; ++i) {
    char c = s[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != prefix[i]) return false;
  }
  return true;
}

bool HasLineFeed(const char* value, size_t len) {
  return std::memchr(value, '\n', len) != nullptr;
}

bool HasControlChar(const char* value, size_t len) {
  for (size_t i = 0; i < len; ++i) {
    unsigned char c = static_cast<unsigned char>(value[i]);
    if (c < 32 || c == 127) return true;
  }
  return false;
}

}  // namespace

TextValueForm ChooseTextValueForm(const std::string& attrName, bool isDnAttribute, bool noCtl) {
  if (IsMember(g_TimeAttributes, attrName)) return TextValueForm::kTime64;
  if (IsMember(g_GenTimeAttributes, attrName)) return TextValueForm::kGeneralizedTime;
  if (isDnAttribute) return TextValueForm::kDn;
  if (StartsWithLower(attrName, "cn") || StartsWithLower(attrName, "distinguishedname") ||
      StartsWithLower(attrName, "name"))
    return TextValueForm::kEscapedNewlines;
  if (noCtl) return TextValueForm::kScrubbed;
  return TextValueForm::kAsIs;
}

void AppendTextValue(const TextValueSettings& s, const char* value, size_t len,
                     std::string* out) {
  switch (s.form) {
    case TextValueForm::kTime64: {
      DSTIME t(std::string(value, len), s.utc);
      out->append(s.timesSortable ? t.isoDateTimeZoned : t.dateTimeZoned);
      return;
    }
    case TextValueForm::kGeneralizedTime: {
      DSTIME t(GeneralizedTimeToFileTimeText(CWString(std::string(value, len))), s.utc);
      out->append(s.genTimesSortable ? t.isoDateTimeZoned : t.dateTimeZoned);
      return;
    }
    case TextValueForm::kDn: {
      const bool replacing = s.replaceDnFrom != nullptr && !s.replaceDnFrom->empty() &&
                             s.replaceDnMap != nullptr && !s.replaceDnMap->empty();
      // Without a line feed and without replacements the value prints as it came.
      if (!replacing && !HasLineFeed(value, len)) break;
      std::string dn(value, len);
      if (HasLineFeed(value, len)) dn = EscapeNewlines(std::move(dn));
      out->append(replacing ? ReplaceDn(std::move(dn), s.replaceDnFrom, s.replaceDnMap) : dn);
      return;
    }
    case TextValueForm::kEscapedNewlines:
      if (!HasLineFeed(value, len)) break;
      out->append(EscapeNewlines(std::string(value, len)));
      return;
    case TextValueForm::kScrubbed:
      if (!HasControlChar(value, len)) break;
      out->append(ScrubControlChars(std::string(value, len)));
      return;
    case TextValueForm::kAsIs:
      break;
  }
  out->append(value, len);
}
