#include "platform/tick_count.h"

#include <time.h>

namespace plat {

DWORD GetTickCount() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  uint64_t ms = static_cast<uint64_t>(now.tv_sec) * 1000u +
                static_cast<uint64_t>(now.tv_nsec) / 1000000u;
  return static_cast<DWORD>(ms);  // keeps the low 32 bits, like the platform
}

}  // namespace plat
