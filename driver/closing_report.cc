// Closing report: releases the main connection, prints the object count, the
// search's elapsed time, the stopwatch listing and the statistics report.
#include <cstdint>
#include <cstdio>
#include <iostream>

#include "common/process_state.h"
#include "common/zqtimer.h"
#include "directory/search_stats.h"
#include "directory/sid_account_lookup.h"
#include "driver/output_check.h"
#include "driver/search_phases.h"
#include "platform/ldap_client.h"

void PrintClosingReport(QueryRun& run) {
  QuerySettings& s = run.settings;
  SearchState& st = run.search;
  CZQTimer* timers = run.timers;

  // A SID lookup that got no answer in time leaves names unresolved: the
  // run does not end as a success.
  if (s.resultCode == 0 && DirectoryLookupFailure() != 0) {
    s.resultCode = static_cast<int>(DirectoryLookupFailure());
  }

  timers->Start("LDAP_UNBIND");
  plat::ldap_unbind(st.connection);
  st.connection = nullptr;
  g_LdapSession = nullptr;
  timers->Stop("LDAP_UNBIND");
  // Output that could not be written ended the run: nothing more is printed.
  if (OutputFailed()) return;

  if (!s.statsOnly) {
    if ((!s.quotedDn && !g_Quiet) || s.countOnly) {
      std::cout << "\n" << st.objectCount << " Objects returned\n";
    }
    // Each time is taken before its line is begun, so that the stopwatch's
    // debug lines (under -d) come before the line, not inside it.
    if (s.elapsedMs && st.searchTimer != nullptr) {
      const uint32_t ms = st.searchTimer->ElapsedMs("T1");
      std::cout << "Elapsed MS: " << ms << "\n";
    }
    if (s.elapsed && st.searchTimer != nullptr) {
      const float seconds = static_cast<float>(st.searchTimer->ElapsedSeconds("T1"));
      std::cout << "Time Elapsed (sec): " << seconds << "\n";
    }
  }

  timers->Stop("OVERALL");
  if (s.stopwatchesSeconds || s.stopwatchesMs) {
    std::cout << "\nElapsed Times:\n";
    const std::vector<std::string> labels = timers->labels;
    for (const std::string& label : labels) {
      char head[64];
      std::snprintf(head, sizeof head, "   %-25s  ", label.c_str());
      const float value = s.stopwatchesSeconds
                              ? static_cast<float>(timers->ElapsedSeconds(label))
                              : static_cast<float>(timers->ElapsedMs(label));
      std::cout << head << value << "\n";
    }
    std::cout << "\n";
  }

  if (s.stats || s.statsOnly) {
    if (g_StatsReceived) {
      PrintStatistics(s.statsAnalysis);
    } else {
      std::cout << "No STATS information was returned.\n";
    }
  }
  std::cout.flush();
}
