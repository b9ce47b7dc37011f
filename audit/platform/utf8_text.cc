#include "audit/platform/utf8_text.h"

namespace plat {

namespace {

// The length of the well-formed sequence at text[i], or 1 for a byte that
// does not start one.
size_t SequenceLength(const std::string& text, size_t i) {
  unsigned char c = static_cast<unsigned char>(text[i]);
  size_t n = c < 0x80 ? 1 : (c >= 0xC2 && c <= 0xDF) ? 2 : (c >= 0xE0 && c <= 0xEF) ? 3
                                                      : (c >= 0xF0 && c <= 0xF4) ? 4 : 1;
  if (n == 1 || i + n > text.size()) return 1;
  for (size_t k = 1; k < n; ++k) {
    unsigned char d = static_cast<unsigned char>(text[i + k]);
    if ((d & 0xC0) != 0x80) return 1;
    // The second byte rules out overlong forms, surrogates and values past U+10FFFF.
    if (k == 1 && ((c == 0xE0 && d < 0xA0) || (c == 0xED && d > 0x9F) ||
                   (c == 0xF0 && d < 0x90) || (c == 0xF4 && d > 0x8F)))
      return 1;
  }
  return n;
}

}  // namespace

size_t CharCount(const std::string& text) {
  size_t count = 0;
  for (size_t i = 0; i < text.size(); i += SequenceLength(text, i)) ++count;
  return count;
}

std::string FirstChar(const std::string& text) {
  if (text.empty()) return "";
  return text.substr(0, SequenceLength(text, 0));
}

}  // namespace plat
