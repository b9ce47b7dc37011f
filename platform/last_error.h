// The calling thread's last Windows error code, as the platform keeps it.
#pragma once

#include "platform/win_types.h"

namespace plat {

DWORD GetLastError();
void SetLastError(DWORD code);

}  // namespace plat
