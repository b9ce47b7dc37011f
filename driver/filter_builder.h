// Filter building: the default filter, the bitwise operator rewriting (-bit),
// the binary-encoding tokens (-binenc) and the outer parentheses.
#pragma once

#include <string>

#include "driver/settings.h"

class CCmdLine;

struct FilterBuildOptions {
  bool bitwise = false;           // -bit
  bool binaryEncode = false;      // -binenc
  bool printTransformed = true;   // none of -csv, -list, -qlist, -dsq
};

// Rewrites *filter in place into the search filter. Returns false when a
// token cannot be converted; *exitCode is then the run's exit code (the
// SID or GUID conversion's code, or -1 for a time or hex value).
bool BuildFilter(std::string* filter, const FilterBuildOptions& options,
                 int* exitCode);

// BuildFilter on the run's filter with the run's switches.
bool BuildSearchFilter(CCmdLine& cmdLine, QuerySettings& settings,
                       int* exitCode);
