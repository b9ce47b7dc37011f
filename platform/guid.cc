#include "platform/guid.h"

#include <cstring>

namespace plat {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

template <typename Ch>
void PutHex(Ch*& out, uint32_t value, int digits) {
  for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) {
    *out++ = static_cast<Ch>(kHexDigits[(value >> shift) & 0xF]);
  }
}

int HexValue(uint32_t ch) {
  if (ch >= '0' && ch <= '9') return static_cast<int>(ch - '0');
  if (ch >= 'a' && ch <= 'f') return static_cast<int>(ch - 'a' + 10);
  if (ch >= 'A' && ch <= 'F') return static_cast<int>(ch - 'A' + 10);
  return -1;
}

// Reads `digits` hex digits from text[pos...]; false on any non-digit.
template <typename Ch>
bool ReadHex(const Ch* text, int pos, int digits, uint32_t* value) {
  uint32_t v = 0;
  for (int i = 0; i < digits; ++i) {
    int d = HexValue(static_cast<uint32_t>(text[pos + i]));
    if (d < 0) return false;
    v = (v << 4) | static_cast<uint32_t>(d);
  }
  *value = v;
  return true;
}

template <typename Ch>
HRESULT ParseGuid(const Ch* text, GUID* out) {
  if (text == nullptr || out == nullptr) return E_INVALIDARG;
  // Check the length first so no read passes the terminator.
  int len = 0;
  while (len <= 38 && text[len] != 0) ++len;
  if (len != 38) return CO_E_CLASSSTRING;
  if (text[0] != '{' || text[37] != '}' || text[9] != '-' || text[14] != '-' ||
      text[19] != '-' || text[24] != '-') {
    return CO_E_CLASSSTRING;
  }
  GUID g{};
  uint32_t v = 0;
  if (!ReadHex(text, 1, 8, &v)) return CO_E_CLASSSTRING;
  g.Data1 = v;
  if (!ReadHex(text, 10, 4, &v)) return CO_E_CLASSSTRING;
  g.Data2 = static_cast<WORD>(v);
  if (!ReadHex(text, 15, 4, &v)) return CO_E_CLASSSTRING;
  g.Data3 = static_cast<WORD>(v);
  static constexpr int kBytePos[8] = {20, 22, 25, 27, 29, 31, 33, 35};
  for (int i = 0; i < 8; ++i) {
    if (!ReadHex(text, kBytePos[i], 2, &v)) return CO_E_CLASSSTRING;
    g.Data4[i] = static_cast<BYTE>(v);
  }
  *out = g;
  return S_OK;
}

}  // namespace

int StringFromGUID2(const GUID& guid, char16_t* buffer, int cchMax) {
  if (buffer == nullptr || cchMax < kGuidTextChars) return 0;
  char16_t* p = buffer;
  *p++ = u'{';
  PutHex(p, guid.Data1, 8);
  *p++ = u'-';
  PutHex(p, guid.Data2, 4);
  *p++ = u'-';
  PutHex(p, guid.Data3, 4);
  *p++ = u'-';
  PutHex(p, guid.Data4[0], 2);
  PutHex(p, guid.Data4[1], 2);
  *p++ = u'-';
  for (int i = 2; i < 8; ++i) PutHex(p, guid.Data4[i], 2);
  *p++ = u'}';
  *p = 0;
  return kGuidTextChars;
}

HRESULT CLSIDFromString(const char16_t* text, GUID* out) { return ParseGuid(text, out); }

HRESULT CLSIDFromString(const char* text, GUID* out) { return ParseGuid(text, out); }

GUID GuidFromBytes(const BYTE* b) {
  GUID g{};
  g.Data1 = static_cast<DWORD>(b[0]) | static_cast<DWORD>(b[1]) << 8 |
            static_cast<DWORD>(b[2]) << 16 | static_cast<DWORD>(b[3]) << 24;
  g.Data2 = static_cast<WORD>(b[4] | b[5] << 8);
  g.Data3 = static_cast<WORD>(b[6] | b[7] << 8);
  std::memcpy(g.Data4, b + 8, 8);
  return g;
}

}  // namespace plat
