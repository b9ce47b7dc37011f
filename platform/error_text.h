// The system's message texts for Windows error codes, and the mapping from
// C library errno values to those codes.
#pragma once

#include <string>

#include "platform/win_types.h"

namespace plat {

inline constexpr DWORD ERROR_MR_MID_NOT_FOUND = 317;

// Fills text with the message for the code, ending in CR LF as the system's
// texts do, and returns its length. Returns 0 and sets the last error to
// ERROR_MR_MID_NOT_FOUND when there is no text for the code.
DWORD FormatMessageA(DWORD code, std::string* text);

// The Windows error code that matches a C library errno value.
DWORD ErrnoToWin32Error(int errnoValue);

}  // namespace plat
