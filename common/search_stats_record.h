// The decoded search-statistics reply of the server, folded over all pages.
#pragma once

#include <cstdint>
#include <string>

struct SearchStats {
  bool initialised = false;      // reset by the first decoded control
  bool hasCounts = false;        // entries visited, filter or index text arrived
  bool rightsProblem = false;    // filter or index statistic came as a number
  uint32_t elapsedMs = 0;        // server's search time
  uint32_t entriesReturned = 0;
  uint32_t entriesVisited = 0;
  std::string usedFilter;        // the filter as the server ran it
  std::string usedIndices;       // ";"-separated items of name:count:type
};
