#include "common/string_util.h"

#include <cstdio>
#include <cstdlib>
#include <utility>

namespace {

// C-locale case mapping on unsigned byte values: only A-Z and a-z change.
inline char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }
inline char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

inline bool IsControl(char c) {
  auto u = static_cast<unsigned char>(c);
  return u < 32 || u == 127;
}

std::string UnsignedDigits(uint64_t value, int radix) {
  if (radix < 2 || radix > 36) return "";
  static const char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  char buf[65];
  int i = 64;
  buf[i] = 0;
  do {
    buf[--i] = kDigits[value % static_cast<unsigned>(radix)];
    value /= static_cast<unsigned>(radix);
  } while (value != 0);
  return std::string(buf + i);
}

// Every occurrence of key (from, lowered under ignoreCase) in the original
// text replaced by to once; the search goes on after each occurrence.
std::string ReplaceEachOnce(const std::string& text, const std::string& key,
                            const std::string& to, bool ignoreCase);

}  // namespace

std::string StrToLower(std::string text) {
  for (char& c : text) c = Lower(c);
  return text;
}

std::string StrToUpper(std::string text) {
  for (char& c : text) c = Upper(c);
  return text;
}

bool CaseInsensitiveLess(const std::string& a, const std::string& b) {
  size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    auto x = static_cast<unsigned char>(Lower(a[i]));
    auto y = static_cast<unsigned char>(Lower(b[i]));
    if (x != y) return x < y;
  }
  return a.size() < b.size();
}

int SplitString(std::string text, std::string delimiter,
                std::vector<std::string>* out, int maxCuts) {
  if (text.empty()) return 0;
  size_t start = 0;
  // An empty delimiter makes no cut: the whole text is one field.
  if (!delimiter.empty()) {
    for (int cuts = 0; cuts < maxCuts; ++cuts) {
      size_t pos = text.find(delimiter, start);
      if (pos == std::string::npos) break;
      out->emplace_back(text, start, pos - start);
      start = pos + delimiter.size();
    }
  }
  if (start < text.size()) out->emplace_back(text, start);
  return static_cast<int>(out->size());
}

int SplitStringMax(std::string text, std::string delimiter,
                   std::vector<std::string>* out, int maxFields) {
  if (maxFields < 1) maxFields = 1;
  const auto wanted = static_cast<size_t>(maxFields);
  int n = SplitString(std::move(text), delimiter, out, maxFields - 1);
  if (n < maxFields) {
    // Filled up to the fields asked for; a list that already holds more
    // (an empty text adds nothing) is left as it is.
    if (out->size() < wanted) out->resize(wanted);
    return n;
  }
  if (n == maxFields) return n;
  std::string& last = (*out)[wanted - 1];
  for (size_t i = wanted; i < out->size(); ++i) last += delimiter + (*out)[i];
  out->resize(wanted);
  return maxFields;
}

int SplitFixedWidth(std::string text, int width, std::vector<std::string>* out) {
  size_t start = 0;
  // A width below 1 makes no cut.
  if (width >= 1) {
    auto w = static_cast<size_t>(width);
    for (; text.size() - start >= w; start += w) out->emplace_back(text, start, w);
  }
  if (start < text.size()) out->emplace_back(text, start);
  return static_cast<int>(out->size());
}

std::string ReplaceFirst(std::string text, std::string from, std::string to,
                         bool ignoreCase) {
  size_t pos = ignoreCase ? StrToLower(text).find(StrToLower(from)) : text.find(from);
  if (pos == std::string::npos || text.empty()) return text;
  text.replace(pos, from.size(), to);
  return text;
}

std::string ReplaceAll(std::string text, std::string from, std::string to,
                       bool ignoreCase) {
  if (from.empty() || text.empty()) return text;
  const std::string key = ignoreCase ? StrToLower(from) : from;
  // Most texts hold no occurrence at all: one search settles them, and the
  // text before the first occurrence is taken as it is.
  const size_t first = ignoreCase ? StrToLower(text).find(key) : text.find(key);
  if (first == std::string::npos) return text;
  // Each pass searches the search copy (the text, lowered under ignoreCase,
  // with every replacement put in as it is) from its start. A to that holds
  // the key would be found again in every pass and never end: then each
  // occurrence of the original text is replaced once instead.
  if (to.find(key) != std::string::npos) return ReplaceEachOnce(text, key, to, ignoreCase);

  // Scanning forward does the same as searching again from the start: no
  // occurrence lies wholly in the text already scanned, so the first one to
  // end is the first one to begin, and a replacement is put back in front of
  // the unread rest to be scanned again. Replacements that shrink the text
  // always end; one that does not could in rare texts grow it without end,
  // so that work is bounded and past the bound each occurrence is replaced once.
  const bool shrinks = to.size() < from.size();
  const size_t budget = 64 * (text.size() + to.size()) + 65536;
  size_t steps = 0;
  std::string out;     // the result so far
  std::string search;  // the search copy of out (under ignoreCase)
  std::string& scanned = ignoreCase ? search : out;
  out.reserve(text.size());
  out.assign(text, 0, first);
  if (ignoreCase) search = StrToLower(out);
  std::string pending;  // replacement text still to be scanned, reversed
  size_t next = first;
  while (next < text.size() || !pending.empty()) {
    char c;
    char k;
    if (!pending.empty()) {
      c = k = pending.back();
      pending.pop_back();
    } else {
      c = text[next++];
      k = ignoreCase ? Lower(c) : c;
    }
    out.push_back(c);
    if (ignoreCase) search.push_back(k);
    if (scanned.size() >= key.size() &&
        scanned.compare(scanned.size() - key.size(), key.size(), key) == 0) {
      out.resize(out.size() - key.size());
      if (ignoreCase) search.resize(search.size() - key.size());
      pending.append(to.rbegin(), to.rend());
    }
    if (!shrinks && ++steps > budget) return ReplaceEachOnce(text, key, to, ignoreCase);
  }
  return out;
}

std::string BytesToHex(const BYTE* data, int count) {
  if (data == nullptr || count <= 0) return "";
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  out.resize(static_cast<size_t>(count) * 2);
  for (int i = 0; i < count; ++i) {
    out[2 * static_cast<size_t>(i)] = kHex[data[i] >> 4];
    out[2 * static_cast<size_t>(i) + 1] = kHex[data[i] & 0x0F];
  }
  return out;
}

std::string FormatHexNumber(DWORD value, std::string width) {
  // Only a zero flag and digits make a width; anything else is left out so
  // that the format stays a single %X conversion.
  std::string format = "0x%";
  for (char c : width)
    if (c >= '0' && c <= '9') format += c;
  format += 'X';
  int n = std::snprintf(nullptr, 0, format.c_str(), static_cast<unsigned>(value));
  if (n < 0) return "";
  std::string out(static_cast<size_t>(n) + 1, '\0');
  std::snprintf(out.data(), out.size(), format.c_str(), static_cast<unsigned>(value));
  out.resize(static_cast<size_t>(n));
  return out;
}

std::string IntToString(int32_t value) { return std::to_string(value); }

std::string UIntToString(uint32_t value, int radix) {
  return UnsignedDigits(value, radix);
}

std::string Int64ToString(int64_t value, int radix) {
  // Negative values carry a sign in base 10; other bases show the bit pattern.
  if (radix == 10 && value < 0)
    return "-" + UnsignedDigits(uint64_t{0} - static_cast<uint64_t>(value), 10);
  return UnsignedDigits(static_cast<uint64_t>(value), radix);
}

std::string Int64ToString(DWORD low, DWORD high, int radix) {
  return Int64ToString(
      static_cast<int64_t>((static_cast<uint64_t>(high) << 32) | low), radix);
}

std::string GetCommaField(std::string text, int index) {
  if (index < 0) return "";
  // Each comma ends a field; the text's own end ends the last one, and a
  // text that ends with a comma gains no empty field after it.
  size_t start = 0;
  for (int i = 0;; ++i) {
    size_t comma = text.find(',', start);
    size_t end = comma == std::string::npos ? text.size() : comma;
    if (i == index) return text.substr(start, end - start);
    if (comma == std::string::npos || comma + 1 == text.size()) return "";
    start = comma + 1;
  }
}

std::string GetLowerCommaField(std::string text, int index) {
  return GetCommaField(StrToLower(std::move(text)), index);
}

std::string EscapeNewlines(std::string text) {
  text = ReplaceFirst(std::move(text), "\\\n", "\\0A", false);
  return ReplaceFirst(std::move(text), "\n", "\\0A", false);
}

std::string ScrubControlChars(std::string text) {
  for (char& c : text)
    if (IsControl(c)) c = ' ';
  return text;
}

int SplitHostPort(std::string* host) {
  if (host == nullptr || host->find(':') == std::string::npos) return 0;
  std::vector<std::string> fields;
  SplitString(*host, ":", &fields, 65535);
  std::string port = fields.size() > 1 ? fields[1].substr(0, 6) : std::string();
  *host = fields.empty() ? std::string() : fields[0];
  return static_cast<int>(std::atol(port.c_str()));
}

namespace {

std::string ReplaceEachOnce(const std::string& text, const std::string& key,
                            const std::string& to, bool ignoreCase) {
  std::string search = ignoreCase ? StrToLower(text) : text;
  std::string out;
  size_t start = 0;
  for (size_t pos; (pos = search.find(key, start)) != std::string::npos;
       start = pos + key.size()) {
    out.append(text, start, pos - start);
    out += to;
  }
  out.append(text, start);
  return out;
}

}  // namespace
