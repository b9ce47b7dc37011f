// For fuzz targets of the record renderers: one input becomes the run's
// settings and a list of values. Byte 0 picks -utc, the -metasort key and a
// value filter; then each value is a 2-byte little-endian length and that
// many bytes (the last takes whatever is left).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/process_state.h"

inline std::vector<std::string_view> ReplicationFuzzInput(const uint8_t* data, size_t size,
                                                          const std::string& lowerAttrName) {
  static const char* const kSortKeys[] = {"attrib", "dsa",   "date-", "usnloc", "usnorig-",
                                          "ver",    "obj",   "state", "nc",     "err-",
                                          "owner",  "-",     "DSA",   "",       "date",
                                          "attrib-"};
  std::vector<std::string_view> values;
  if (size == 0) return values;
  const uint8_t settings = data[0];
  g_Utc = (settings & 1) != 0;
  g_MetaSortKey = kSortKeys[(settings >> 1) & 15];
  g_MvFilterMap.clear();
  g_MvNotFilterMap.clear();
  g_MvFilterOn = g_MvNotFilterOn = false;
  if (settings & 0x20) {
    g_MvFilterMap[lowerAttrName] = "a";
    g_MvFilterOn = true;
  }
  if (settings & 0x40) {
    g_MvNotFilterMap[lowerAttrName] = "dc";
    g_MvNotFilterOn = true;
  }
  g_DecodeTimes = g_TimesSortable = (settings & 0x80) != 0;
  const auto* p = reinterpret_cast<const char*>(data + 1);
  size_t left = size - 1;
  while (left > 0) {
    if (left < 2) {
      values.emplace_back(p, left);
      break;
    }
    size_t n = static_cast<uint8_t>(p[0]) | (static_cast<size_t>(static_cast<uint8_t>(p[1])) << 8);
    p += 2;
    left -= 2;
    if (n > left) n = left;
    values.emplace_back(p, n);
    p += n;
    left -= n;
  }
  return values;
}
