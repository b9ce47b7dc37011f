#include "platform/text_convert.h"

#include <cstring>

#include "platform/last_error.h"

namespace plat {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool KnownCodePage(UINT codePage) {
  return codePage == CP_ACP || codePage == CP_UTF8;
}

// Decodes one UTF-8 sequence at s[i] (i < n); ill-formed input yields
// U+FFFD and consumes the longest valid-looking prefix (at least one byte).
char32_t DecodeUtf8(const unsigned char* s, size_t n, size_t* i) {
  unsigned char b = s[*i];
  if (b < 0x80) {
    ++*i;
    return b;
  }
  int extra;
  char32_t cp;
  char32_t min;
  if (b >= 0xC2 && b <= 0xDF) {
    extra = 1, cp = b & 0x1F, min = 0x80;
  } else if (b >= 0xE0 && b <= 0xEF) {
    extra = 2, cp = b & 0x0F, min = 0x800;
  } else if (b >= 0xF0 && b <= 0xF4) {
    extra = 3, cp = b & 0x07, min = 0x10000;
  } else {
    ++*i;
    return kReplacement;
  }
  size_t j = *i + 1;
  for (int k = 0; k < extra; ++k, ++j) {
    if (j >= n || (s[j] & 0xC0) != 0x80) {
      *i = j;
      return kReplacement;
    }
    cp = (cp << 6) | (s[j] & 0x3F);
  }
  *i = j;
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
    return kReplacement;
  return cp;
}

}  // namespace

int MultiByteToWideChar(UINT codePage, DWORD /*flags*/, const char* src,
                        int srcLen, char16_t* dst, int dstLen) {
  if (!KnownCodePage(codePage) || src == nullptr || srcLen < -1 || srcLen == 0 ||
      dstLen < 0 || (dstLen > 0 && dst == nullptr)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  size_t n = srcLen == -1 ? std::strlen(src) + 1 : static_cast<size_t>(srcLen);
  const auto* s = reinterpret_cast<const unsigned char*>(src);
  size_t i = 0;
  long long count = 0;
  while (i < n) {
    char32_t cp = DecodeUtf8(s, n, &i);
    int units = cp >= 0x10000 ? 2 : 1;
    if (dstLen > 0) {
      if (count + units > dstLen) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
      }
      if (units == 2) {
        cp -= 0x10000;
        dst[count] = static_cast<char16_t>(0xD800 + (cp >> 10));
        dst[count + 1] = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
      } else {
        dst[count] = static_cast<char16_t>(cp);
      }
    }
    count += units;
  }
  return static_cast<int>(count);
}

int WideCharToMultiByte(UINT codePage, DWORD /*flags*/, const char16_t* src,
                        int srcLen, char* dst, int dstLen,
                        const char* defaultChar, BOOL* usedDefaultChar) {
  if (!KnownCodePage(codePage) || src == nullptr || srcLen < -1 || srcLen == 0 ||
      dstLen < 0 || (dstLen > 0 && dst == nullptr)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  size_t n = static_cast<size_t>(srcLen);
  if (srcLen == -1) {
    n = 0;
    while (src[n] != 0) ++n;
    ++n;  // the terminating NUL is converted too
  }
  const char* fallback = defaultChar != nullptr ? defaultChar : "?";
  size_t fallbackLen = std::strlen(fallback);
  if (usedDefaultChar != nullptr) *usedDefaultChar = 0;
  long long count = 0;
  char buf[4];
  for (size_t i = 0; i < n; ++i) {
    char32_t cp = src[i];
    bool unmappable = false;
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < n && src[i + 1] >= 0xDC00 &&
        src[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (src[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      unmappable = true;  // an unpaired surrogate has no narrow form
    }
    const char* bytes = buf;
    size_t len;
    if (unmappable) {
      bytes = fallback;
      len = fallbackLen;
      if (usedDefaultChar != nullptr) *usedDefaultChar = 1;
    } else if (cp < 0x80) {
      buf[0] = static_cast<char>(cp);
      len = 1;
    } else if (cp < 0x800) {
      buf[0] = static_cast<char>(0xC0 | (cp >> 6));
      buf[1] = static_cast<char>(0x80 | (cp & 0x3F));
      len = 2;
    } else if (cp < 0x10000) {
      buf[0] = static_cast<char>(0xE0 | (cp >> 12));
      buf[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      buf[2] = static_cast<char>(0x80 | (cp & 0x3F));
      len = 3;
    } else {
      buf[0] = static_cast<char>(0xF0 | (cp >> 18));
      buf[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      buf[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      buf[3] = static_cast<char>(0x80 | (cp & 0x3F));
      len = 4;
    }
    if (dstLen > 0) {
      if (count + static_cast<long long>(len) > dstLen) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
      }
      std::memcpy(dst + count, bytes, len);
    }
    count += static_cast<long long>(len);
  }
  return static_cast<int>(count);
}

std::u16string NarrowToWide(std::string_view narrow) {
  if (narrow.empty() || narrow.size() > 0x3FFFFFFF) return {};
  int len = static_cast<int>(narrow.size());
  int need = MultiByteToWideChar(CP_ACP, 0, narrow.data(), len, nullptr, 0);
  if (need <= 0) return {};
  std::u16string out(static_cast<size_t>(need), u'\0');
  if (MultiByteToWideChar(CP_ACP, 0, narrow.data(), len, out.data(), need) != need)
    return {};
  return out;
}

std::string WideToNarrow(std::u16string_view wide) {
  if (wide.empty() || wide.size() > 0x1FFFFFFF) return {};
  int len = static_cast<int>(wide.size());
  int need = WideCharToMultiByte(CP_ACP, 0, wide.data(), len, nullptr, 0,
                                 nullptr, nullptr);
  if (need <= 0) return {};
  std::string out(static_cast<size_t>(need), '\0');
  if (WideCharToMultiByte(CP_ACP, 0, wide.data(), len, out.data(), need, nullptr,
                          nullptr) != need)
    return {};
  return out;
}

}  // namespace plat
