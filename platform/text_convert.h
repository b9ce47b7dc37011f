// Narrow <-> wide text conversion. Narrow text is UTF-8, wide text UTF-16.
#pragma once

#include <string>
#include <string_view>

#include "platform/win_types.h"

namespace plat {

using UINT = uint32_t;

// The narrow code page; here both name UTF-8.
inline constexpr UINT CP_ACP = 0;
inline constexpr UINT CP_UTF8 = 65001;

inline constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;

// Converts srcLen bytes of narrow text (-1: up to and including its NUL) to
// UTF-16. Ill-formed UTF-8 gives U+FFFD. With dstLen 0 returns the units
// needed; otherwise writes them and returns the count. 0 on failure, with
// ERROR_INVALID_PARAMETER or ERROR_INSUFFICIENT_BUFFER as last error.
int MultiByteToWideChar(UINT codePage, DWORD flags, const char* src, int srcLen,
                        char16_t* dst, int dstLen);

// Converts srcLen UTF-16 units (-1: up to and including its NUL) to narrow
// text. A unit the narrow form cannot hold (an unpaired surrogate) becomes
// defaultChar (or "?") and sets *usedDefaultChar. Counting and failure as
// MultiByteToWideChar.
int WideCharToMultiByte(UINT codePage, DWORD flags, const char16_t* src,
                        int srcLen, char* dst, int dstLen,
                        const char* defaultChar, BOOL* usedDefaultChar);

// Whole-string conveniences built on the two calls above.
std::u16string NarrowToWide(std::string_view narrow);
std::string WideToNarrow(std::u16string_view wide);

}  // namespace plat
