// Stand-ins for the two COM GUID helpers the program uses: the braced text
// form of a GUID and its parser.
#pragma once

#include "platform/win_types.h"

namespace plat {

inline constexpr HRESULT S_OK = 0;
// The text is not a valid braced GUID.
inline constexpr HRESULT CO_E_CLASSSTRING = static_cast<HRESULT>(0x800401F3u);
// A required pointer argument was null.
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);

// Characters of the braced text "{8-4-4-4-12}" plus the terminating zero.
inline constexpr int kGuidTextChars = 39;

// Writes the braced upper-case text of the GUID ("{XXXXXXXX-XXXX-XXXX-XXXX-
// XXXXXXXXXXXX}", zero-terminated) into buffer. Returns the characters
// written including the terminator (39), or 0 when buffer is null or
// cchMax is below 39 (nothing is written then).
int StringFromGUID2(const GUID& guid, char16_t* buffer, int cchMax);

// Parses braced GUID text (hex digits in either case) into *out.
// Returns S_OK, CO_E_CLASSSTRING for text of any other form (out untouched),
// or E_INVALIDARG for a null pointer.
HRESULT CLSIDFromString(const char16_t* text, GUID* out);
// The same for narrow text.
HRESULT CLSIDFromString(const char* text, GUID* out);

// The GUID held in 16 bytes of storage layout (first three fields little-
// endian), read without any alignment requirement on bytes.
GUID GuidFromBytes(const BYTE* bytes);

}  // namespace plat
