#include "platform/ldap_filter.h"

#include <cctype>

#include "platform/ldap_ber.h"
#include "platform/ldap_client.h"

namespace plat::detail {

namespace {

// Position of the parenthesis that closes the one at open, or npos.
size_t MatchingClose(std::string_view s, size_t open) {
  int depth = 0;
  for (size_t i = open; i < s.size(); ++i) {
    char ch = s[i];
    if (ch == '\\') {
      ++i;  // an escaped character never counts
    } else if (ch == '(') {
      ++depth;
    } else if (ch == ')') {
      if (--depth == 0) return i;
    }
  }
  return std::string_view::npos;
}

int HexDigit(char ch) {
  if (ch >= '0' && ch <= '9') return ch - '0';
  if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
  if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
  return -1;
}

// Assertion value with its "\XX" escapes resolved (a backslash before any
// other character keeps that character, as older clients wrote them).
bool Unescape(std::string_view in, std::string* out) {
  out->clear();
  out->reserve(in.size());
  for (size_t i = 0; i < in.size(); ++i) {
    char ch = in[i];
    if (ch == '(' || ch == ')') return false;
    if (ch != '\\') {
      out->push_back(ch);
      continue;
    }
    if (i + 1 >= in.size()) return false;
    int hi = HexDigit(in[i + 1]);
    int lo = i + 2 < in.size() ? HexDigit(in[i + 2]) : -1;
    if (hi >= 0 && lo >= 0) {
      out->push_back(static_cast<char>(hi * 16 + lo));
      i += 2;
    } else {
      out->push_back(in[i + 1]);
      ++i;
    }
  }
  return true;
}

bool ValidAttribute(std::string_view a) {
  if (a.empty()) return false;
  for (char ch : a) {
    unsigned char u = static_cast<unsigned char>(ch);
    if (!std::isalnum(u) && ch != '-' && ch != ';' && ch != '.' && ch != '_') return false;
  }
  return true;
}

bool EncodeItem(std::string_view item, BerWriter* w);
bool EncodeList(std::string_view s, BerWriter* w);

// One parenthesised filter s = "(...)".
bool EncodeOne(std::string_view s, BerWriter* w) {
  if (s.size() < 3 || s.front() != '(' || s.back() != ')') return false;
  std::string_view inner = s.substr(1, s.size() - 2);
  switch (inner[0]) {
    case '&':
      w->Begin(0xa0);
      if (!EncodeList(inner.substr(1), w)) return false;
      return w->End();
    case '|':
      w->Begin(0xa1);
      if (!EncodeList(inner.substr(1), w)) return false;
      return w->End();
    case '!': {
      std::string_view rest = inner.substr(1);
      if (rest.empty() || rest[0] != '(' || MatchingClose(rest, 0) != rest.size() - 1) return false;
      w->Begin(0xa2);
      if (!EncodeOne(rest, w)) return false;
      return w->End();
    }
    default:
      return EncodeItem(inner, w);
  }
}

bool EncodeList(std::string_view s, BerWriter* w) {
  size_t i = 0;
  while (i < s.size()) {
    if (s[i] != '(') return false;
    size_t close = MatchingClose(s, i);
    if (close == std::string_view::npos) return false;
    if (!EncodeOne(s.substr(i, close - i + 1), w)) return false;
    i = close + 1;
  }
  return true;
}

bool EncodeSubstrings(std::string_view attr, std::string_view value, BerWriter* w) {
  w->Begin(0xa4);
  w->OctetString(attr);
  w->Begin(0x30);
  // Split at unescaped stars.
  size_t start = 0;
  bool first = true;
  std::string piece;
  for (size_t i = 0; i <= value.size(); ++i) {
    if (i < value.size() && value[i] == '\\') {
      ++i;
      continue;
    }
    if (i == value.size() || value[i] == '*') {
      std::string_view part = value.substr(start, i - start);
      bool last = i == value.size();
      if (!part.empty()) {
        if (!Unescape(part, &piece)) return false;
        w->OctetString(piece, first ? 0x80 : last ? 0x82 : 0x81);
      }
      first = false;
      start = i + 1;
    }
  }
  w->End();
  return w->End();
}

bool EncodeExtensible(std::string_view lhs, std::string_view value, BerWriter* w) {
  // attr[:dn][:rule]:=value  or  [:dn]:rule:=value
  std::string_view attr = lhs.substr(0, lhs.find(':'));
  std::string_view rest = lhs.substr(attr.size());
  bool dn = false;
  std::string_view rule;
  while (!rest.empty()) {
    if (rest[0] != ':') return false;
    rest.remove_prefix(1);
    std::string_view part = rest.substr(0, rest.find(':'));
    rest.remove_prefix(part.size());
    if (part == "dn" || part == "DN") {
      dn = true;
    } else if (!part.empty() && rule.empty()) {
      rule = part;
    } else {
      return false;
    }
  }
  if (attr.empty() && rule.empty()) return false;
  if (!attr.empty() && !ValidAttribute(attr)) return false;
  std::string v;
  if (!Unescape(value, &v)) return false;
  w->Begin(0xa9);
  if (!rule.empty()) w->OctetString(rule, 0x81);
  if (!attr.empty()) w->OctetString(attr, 0x82);
  w->OctetString(v, 0x83);
  if (dn) w->Boolean(true, 0x84);
  return w->End();
}

bool EncodeItem(std::string_view item, BerWriter* w) {
  size_t eq = item.find('=');
  if (eq == std::string_view::npos || eq == 0) return false;
  std::string_view value = item.substr(eq + 1);
  char op = item[eq - 1];
  if (op == ':') return EncodeExtensible(item.substr(0, eq - 1), value, w);
  uint32_t tag = 0xa3;
  std::string_view attr = item.substr(0, eq);
  if (op == '~' || op == '>' || op == '<') {
    tag = op == '~' ? 0xa8 : op == '>' ? 0xa5 : 0xa6;
    attr = item.substr(0, eq - 1);
  }
  if (!ValidAttribute(attr)) return false;
  if (tag == 0xa3) {
    if (value == "*") {
      w->OctetString(attr, 0x87);
      return true;
    }
    for (size_t i = 0; i < value.size(); ++i) {
      if (value[i] == '\\') {
        ++i;
      } else if (value[i] == '*') {
        return EncodeSubstrings(attr, value, w);
      }
    }
  }
  std::string v;
  if (!Unescape(value, &v)) return false;
  w->Begin(tag);
  w->OctetString(attr);
  w->OctetString(v);
  return w->End();
}

}  // namespace

std::string_view StripRedundantParens(std::string_view f) {
  while (f.size() >= 4 && f[0] == '(' && f[1] == '(' && MatchingClose(f, 0) == f.size() - 1 &&
         MatchingClose(f, 1) == f.size() - 2) {
    f = f.substr(1, f.size() - 2);
  }
  return f;
}

bool EncodeFilter(std::string_view filter, std::string* ber) {
  filter = StripRedundantParens(filter);
  std::string wrapped;
  if (filter.empty() || filter.front() != '(') {
    wrapped = "(" + std::string(filter) + ")";
    filter = wrapped;
  }
  if (MatchingClose(filter, 0) != filter.size() - 1) return false;
  BerWriter w;
  if (!EncodeOne(filter, &w) || !w.Balanced()) return false;
  *ber = w.Take();
  return true;
}

}  // namespace plat::detail

namespace plat {

ULONG ldap_escape_filter_element(const char* source, ULONG sourceLength, char* dest,
                                 ULONG destLength) {
  const uint64_t needed = 3ull * sourceLength + 1;
  if (dest == nullptr) return needed > 0xffffffffull ? 0 : static_cast<ULONG>(needed);
  if (source == nullptr && sourceLength != 0) return LDAP_PARAM_ERROR;
  if (destLength < needed) return LDAP_PARAM_ERROR;
  static const char kHex[] = "0123456789abcdef";
  char* out = dest;
  for (ULONG i = 0; i < sourceLength; ++i) {
    unsigned char b = static_cast<unsigned char>(source[i]);
    *out++ = '\\';
    *out++ = kHex[b >> 4];
    *out++ = kHex[b & 0x0f];
  }
  *out = '\0';
  return LDAP_SUCCESS;
}

}  // namespace plat
