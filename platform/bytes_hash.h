// A quick hash of short byte strings (ACE texts and bytes, SIDs) for the
// run's lookup tables, eight bytes at a step; usable with heterogeneous
// lookup (std::string keys, std::string_view probes).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace plat {

struct BytesHash {
  using is_transparent = void;
  size_t operator()(std::string_view s) const {
    uint64_t h = 0x9E3779B97F4A7C15ull ^ s.size();
    const char* p = s.data();
    size_t n = s.size();
    for (; n >= 8; p += 8, n -= 8) {
      uint64_t v;
      std::memcpy(&v, p, 8);
      h = (h ^ v) * 0xBF58476D1CE4E5B9ull;
      h ^= h >> 31;
    }
    uint64_t v = 0;
    std::memcpy(&v, p, n);
    h = (h ^ v) * 0x94D049BB133111EBull;
    return static_cast<size_t>(h ^ (h >> 29));
  }
};

}  // namespace plat
