// The filter file (-ff): its first line is the filter when no -f is given.
#pragma once

#include "driver/settings.h"

class CCmdLine;

// Longest filter line taken from the file.
inline constexpr size_t kFilterFileLineLimit = 10485759;

// Reads the filter from the -ff file when the filter is still empty. Returns
// false when the file cannot be found or opened; *exitCode is then the run's
// exit code.
bool ReadFilterFile(CCmdLine& cmdLine, QuerySettings& settings, int* exitCode);
