#include "platform/ldap_filter.h"

#include <cctype>
#include <cstdint>
#include <vector>

#include "platform/ldap_ber.h"
#include "platform/ldap_client.h"

namespace plat::detail {

namespace {

constexpr uint32_t kNoClose = UINT32_MAX;

// For every "(" of s, the position of the ")" that closes it (kNoClose when
// none does); kNoClose at every other position. An escaped character never
// counts. One pass.
std::vector<uint32_t> MatchCloses(std::string_view s) {
  std::vector<uint32_t> close(s.size(), kNoClose);
  std::vector<uint32_t> open;
  for (size_t i = 0; i < s.size(); ++i) {
    char ch = s[i];
    if (ch == '\\') {
      ++i;
    } else if (ch == '(') {
      open.push_back(static_cast<uint32_t>(i));
    } else if (ch == ')' && !open.empty()) {
      close[open.back()] = static_cast<uint32_t>(i);
      open.pop_back();
    }
  }
  return close;
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

// Encodes a whole filter text with its parentheses matched once beforehand.
// Recursion follows the nesting, whose depth the caller has bounded.
class FilterEncoder {
 public:
  FilterEncoder(std::string_view text, BerWriter* w) : s_(text), close_(MatchCloses(text)), w_(w) {}

  // The parenthesised filter s_[begin, end), end - 1 being its ")".
  bool EncodeOne(size_t begin, size_t end) {
    if (end - begin < 3 || s_[begin] != '(' || s_[end - 1] != ')') return false;
    size_t inner = begin + 1;
    switch (s_[inner]) {
      case '&':
        w_->Begin(0xa0);
        if (!EncodeList(inner + 1, end - 1)) return false;
        return w_->End();
      case '|':
        w_->Begin(0xa1);
        if (!EncodeList(inner + 1, end - 1)) return false;
        return w_->End();
      case '!': {
        size_t rest = inner + 1;
        if (rest >= end - 1 || s_[rest] != '(' || close_[rest] != end - 2) return false;
        w_->Begin(0xa2);
        if (!EncodeOne(rest, end - 1)) return false;
        return w_->End();
      }
      default:
        return EncodeItem(s_.substr(inner, end - 1 - inner), w_);
    }
  }

  // A run of parenthesised filters filling s_[begin, end).
  bool EncodeList(size_t begin, size_t end) {
    size_t i = begin;
    while (i < end) {
      if (s_[i] != '(') return false;
      size_t close = close_[i];
      if (close == kNoClose || close >= end) return false;
      if (!EncodeOne(i, close + 1)) return false;
      i = close + 1;
    }
    return true;
  }

  bool Whole() { return !s_.empty() && close_[0] == s_.size() - 1 && EncodeOne(0, s_.size()); }

 private:
  std::string_view s_;
  std::vector<uint32_t> close_;
  BerWriter* w_;
};

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

size_t FilterNestingDepth(std::string_view filter) {
  size_t depth = 0;
  size_t deepest = 0;
  for (size_t i = 0; i < filter.size(); ++i) {
    char ch = filter[i];
    if (ch == '\\') {
      ++i;
    } else if (ch == '(') {
      if (++depth > deepest) deepest = depth;
    } else if (ch == ')' && depth > 0) {
      --depth;
    }
  }
  return deepest;
}

std::string_view StripRedundantParens(std::string_view f) {
  // Only the leading run of "(" can be removed. One pass finds where each of
  // them is closed: the k-th (from 0) closes where the depth first falls
  // back to k.
  size_t lead = 0;
  while (lead < f.size() && f[lead] == '(') ++lead;
  if (lead < 2) return f;
  std::vector<size_t> closeOf(lead, std::string_view::npos);
  size_t depth = 0;
  for (size_t i = 0; i < f.size(); ++i) {
    char ch = f[i];
    if (ch == '\\') {
      ++i;
    } else if (ch == '(') {
      ++depth;
    } else if (ch == ')' && depth > 0) {
      --depth;
      if (depth < lead && closeOf[depth] == std::string_view::npos) closeOf[depth] = i;
    }
  }
  // Pair k and k + 1 enclose one whole filter when they close at the last
  // two positions of what is left.
  size_t k = 0;
  size_t end = f.size();
  while (end - k >= 4 && k + 1 < lead && closeOf[k] == end - 1 && closeOf[k + 1] == end - 2) {
    ++k;
    --end;
  }
  return f.substr(k, end - k);
}

bool EncodeFilter(std::string_view filter, std::string* ber) {
  filter = StripRedundantParens(filter);
  if (FilterNestingDepth(filter) > kMaxFilterNesting) return false;
  std::string wrapped;
  if (filter.empty() || filter.front() != '(') {
    wrapped = "(" + std::string(filter) + ")";
    filter = wrapped;
  }
  BerWriter w;
  FilterEncoder encoder(filter, &w);
  if (!encoder.Whole() || !w.Balanced()) return false;
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
