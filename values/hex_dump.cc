#include "values/hex_dump.h"

void AppendHexDump(const unsigned char* data, size_t len, std::string* out) {
  static const char kDigits[] = "0123456789ABCDEF";
  if (len == 0) return;
  // Five characters per pair, three for a single last byte.
  const size_t pairs = len / 2;
  const size_t add = pairs * 5 + (len % 2) * 3;
  size_t pos = out->size();
  out->resize(pos + add);
  char* p = out->data() + pos;
  size_t i = 0;
  for (; i + 1 < len; i += 2) {
    *p++ = kDigits[data[i] >> 4];
    *p++ = kDigits[data[i] & 0x0F];
    *p++ = kDigits[data[i + 1] >> 4];
    *p++ = kDigits[data[i + 1] & 0x0F];
    *p++ = ' ';
  }
  if (i < len) {
    *p++ = kDigits[data[i] >> 4];
    *p++ = kDigits[data[i] & 0x0F];
    *p++ = ' ';
  }
}
