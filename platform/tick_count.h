// The system tick count: milliseconds of the monotonic clock, 32 bits wide,
// wrapping to 0 after 2^32 ms.
#pragma once

#include "platform/win_types.h"

namespace plat {

DWORD GetTickCount();

}  // namespace plat
