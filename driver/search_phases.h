// The directory phases of a run: connecting and reading the RootDSE, the DN
// replacement list, the preloads, the search set-up, the paged search with
// its entry output, and the closing report. Each returns false when it ends
// the run, with *exitCode set to the run's exit code.
#pragma once

#include "driver/search_state.h"
#include "driver/settings.h"

class CCmdLine;
class CZQTimer;

// Everything the directory phases share besides the settings: the switch
// store, the run's stopwatch set and the directory state of the run.
struct QueryRun {
  CCmdLine& cmdLine;
  QuerySettings& settings;
  CZQTimer* timers;
  SearchState search{};
};

bool ConnectAndReadRootDse(QueryRun& run, int* exitCode);
bool BuildDnReplacements(QueryRun& run, int* exitCode);
bool RunPreloads(QueryRun& run, int* exitCode);
bool SetUpSearch(QueryRun& run, int* exitCode);
// Page errors do not end the run: they become settings.resultCode.
void RunPagedSearch(QueryRun& run);
// Unbind, object count, elapsed times, statistics.
void PrintClosingReport(QueryRun& run);
