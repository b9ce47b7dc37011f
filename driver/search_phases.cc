// The directory phases are not part of this build yet: a run that gets this
// far says so and ends with a failure code, before any connection.
#include "driver/search_phases.h"

#include <iostream>

bool ConnectAndReadRootDse(QueryRun& /*run*/, int* exitCode) {
  std::cout.flush();
  std::cerr << "ERROR: The directory search is not available in this build "
               "yet.\nTerminating program.\n";
  std::cerr.flush();
  *exitCode = -1;
  return false;
}

bool BuildDnReplacements(QueryRun& /*run*/, int* /*exitCode*/) { return true; }

bool RunPreloads(QueryRun& /*run*/, int* /*exitCode*/) { return true; }

bool SetUpSearch(QueryRun& /*run*/, int* /*exitCode*/) { return true; }

void RunPagedSearch(QueryRun& /*run*/) {}

void PrintClosingReport(QueryRun& /*run*/) {}
