// The paged search loop: starts one paged search on the main connection,
// requests page after page, hands every entry to the entry output, reads each
// page's result (best match, extended error, referrals, statistics control)
// and keeps the object count and the run's result code.
#include <algorithm>
#include <iostream>
#include <memory>

#include "common/cmdline.h"
#include "common/process_state.h"
#include "common/zqtimer.h"
#include "directory/connection.h"
#include "directory/search_stats.h"
#include "directory/server_text.h"
#include "driver/entry_output.h"
#include "driver/output_check.h"
#include "driver/search_phases.h"
#include "platform/last_error.h"
#include "platform/ldap_client.h"

namespace {

// Reads a page's result; prints the best match, the extended error, the
// referrals and, after a successful page, the statistics control. The
// server's texts are printed with their control characters escaped.
void ParsePageResult(plat::LDAP* ld, plat::LDAPMessage* page, ULONG pageCode,
                     const QuerySettings& s, const std::string& server) {
  char* matched = nullptr;
  char* errorText = nullptr;
  char** referrals = nullptr;
  plat::LDAPControl** controls = nullptr;
  const ULONG rc = plat::ldap_parse_result(ld, page, nullptr, &matched, &errorText, &referrals,
                                           &controls, 0);
  if (rc == plat::LDAP_SUCCESS) {
    if (pageCode == plat::LDAP_NO_SUCH_OBJECT && matched != nullptr && !s.extendedErrors) {
      std::cout << "Best Match of: '" << EscapeServerText(matched) << "'\n";
    }
    if (pageCode != 0 && s.extendedErrors && errorText != nullptr && *errorText != 0) {
      std::cout << "Extended Error: " << EscapeServerText(errorText) << "\n";
    }
    if (referrals != nullptr) {
      for (char** r = referrals; *r != nullptr; ++r) {
        std::cout << "REFERRAL: " << EscapeServerText(*r) << "\n";
      }
    }
    if (pageCode == plat::LDAP_SUCCESS && (s.stats || s.statsOnly) && controls != nullptr) {
      for (plat::LDAPControl** c = controls; *c != nullptr; ++c) DecodeStatsControl(*c);
    }
  } else if (rc != plat::LDAP_NO_RESULTS_RETURNED) {
    std::cout.flush();
    PrintLdapError("ldap_parse_extended_result", server, static_cast<int>(pageCode), nullptr);
  }
  plat::ldap_memfree(matched);
  plat::ldap_memfree(errorText);
  plat::ldap_value_free(referrals);
  plat::ldap_controls_free(controls);
}

}  // namespace

void RunPagedSearch(QueryRun& run) {
  QuerySettings& s = run.settings;
  SearchState& st = run.search;
  plat::LDAP* ld = st.connection;
  const std::string server = st.rootDse->dnsHostName;

  run.timers->Start("LDAP_SEARCH_INIT");
  st.searchTimer = std::make_unique<CZQTimer>("T1");
  if (g_Debug) std::cout << "DEBUG: Initializing Search Paging...\n";
  const char* const* attrs =
      st.searchAttributes.empty() || st.searchAttributes[0] == nullptr ? nullptr
                                                                       : st.searchAttributes.data();
  // -maxe is counted here, not sent as the search's size limit: a size limit
  // that reaches the page size lets a server drop paging on a later page and
  // start over (repeating entries), and an unpaged search meets the server's
  // own size cap. The search ends (and is abandoned) once enough came.
  plat::PLDAPSearch search = plat::ldap_search_init_page(
      ld, s.base.c_str(), static_cast<ULONG>(st.searchScope), s.filter.c_str(), attrs,
      st.attributesOnly ? 1 : 0, st.serverControls.data(), nullptr,
      static_cast<ULONG>(s.timeLimit), plat::LDAP_NO_LIMIT, st.sortKeyList.data());
  run.timers->Stop("LDAP_SEARCH_INIT");
  if (g_Debug) std::cout << "DEBUG: Search Initialized...\n";

  if (search == nullptr) {
    const DWORD error = plat::GetLastError();
    std::cout << "LDAP_SEARCH_INIT_PAGE FAILED: WinError=" << static_cast<int>(error) << "\n\n";
    s.resultCode = static_cast<int>(error);
    st.ReleaseRequest();
    return;
  }
  if (g_Debug) std::cout << "DEBUG: Have valid Search Handle...\n";
  run.timers->Start("LDAP_GET_PAGES");

  EntryOutput output(s, st, run.cmdLine, ld);
  plat::l_timeval timeout{static_cast<LONG>(s.timeLimit), 0};
  const uint32_t maxEntries = static_cast<uint32_t>(s.maxEntries);
  uint32_t entriesLeft = maxEntries;
  plat::l_timeval* const pageTimeout = s.timeLimit != 0 ? &timeout : nullptr;
  auto requestSize = [&] {
    const ULONG size = static_cast<ULONG>(s.pageSize);
    return maxEntries != 0 ? std::min<ULONG>(size, entriesLeft) : size;
  };
  ULONG pageCode = plat::LDAP_SUCCESS;
  while (pageCode == plat::LDAP_SUCCESS) {
    // Output that can no longer be written ends the search: nothing more
    // is asked for.
    if (OutputFailed()) break;
    if (g_Debug) std::cout << "DEBUG: Retrieving Page...\n";
    if (g_Debug) std::cout << "DEBUG: Temp Page Size: " << requestSize() << "\n";

    plat::LDAPMessage* page = nullptr;
    pageCode = plat::ldap_get_next_page_s(ld, search, pageTimeout, requestSize(), nullptr, &page);
    WarnUnfollowedReferrals(ld, search);
    // Only the entries still allowed are taken, whatever the server sent.
    uint32_t n = page != nullptr ? plat::ldap_count_entries(ld, page) : 0;
    if (maxEntries != 0 && n > entriesLeft) n = entriesLeft;
    st.objectCount += n;
    entriesLeft -= maxEntries != 0 ? n : 0;
    const bool maximumReached = maxEntries != 0 && entriesLeft == 0;
    // The names of the page's SIDs are looked up in a few searches first;
    // then the next page is asked for, and the server prepares it while this
    // one is printed (a directory search made after that first waits for the
    // whole next page).
    if ((pageCode == plat::LDAP_SUCCESS || pageCode == plat::LDAP_SIZELIMIT_EXCEEDED) &&
        !s.countOnly) {
      output.PrefetchSidNames(page, n);
    }
    if (pageCode == plat::LDAP_SUCCESS && !maximumReached) {
      plat::ldap_search_send_next_page(ld, search, pageTimeout, requestSize());
    }
    if (g_Debug) {
      std::cout << "DEBUG: Object Count: " << st.objectCount << "\n";
      if (maxEntries != 0 && entriesLeft != 0) {
        std::cout << "DEBUG: Object Count Remaining: " << entriesLeft << "\n";
      }
    }

    if (pageCode == plat::LDAP_SUCCESS || pageCode == plat::LDAP_SIZELIMIT_EXCEEDED) {
      if (!s.countOnly) {
        uint32_t walked = 0;
        for (plat::LDAPMessage* e = plat::ldap_first_entry(ld, page); e != nullptr && walked < n;
             e = plat::ldap_next_entry(ld, e), ++walked) {
          output.PrintEntry(e, &st.objectCount);
          WarnUnfollowedReferrals(ld);
          if (OutputFailed()) break;
        }
        if (OutputFailed()) {
          plat::ldap_msgfree(page);
          break;
        }
        if (g_Debug) std::cout << "DEBUG: uErr=" << pageCode << "\n";
      }
      // A size limit is the end asked for only when -maxe is reached; a
      // limit of the server's own leaves the result incomplete and is
      // reported as the error it is.
      if (pageCode == plat::LDAP_SIZELIMIT_EXCEEDED && !maximumReached) {
        std::cout.flush();
        PrintLdapError("ldap_get_next_page_s", server, static_cast<int>(pageCode), nullptr);
        std::cout << "\n";
        s.resultCode = static_cast<int>(pageCode);
      }
      if (s.countOnly) {
        // Count only: no entries are walked and no result is read.
        plat::ldap_msgfree(page);
        if (maximumReached) break;
        continue;
      }
    } else if (pageCode != plat::LDAP_NO_RESULTS_RETURNED) {
      // A server that stopped answering while this page was printed was
      // reported then; the page fails with the same code, unreported.
      if (FailureToReport(ld, pageCode)) {
        std::cout.flush();
        PrintLdapError("ldap_get_next_page_s", server, static_cast<int>(pageCode), nullptr);
        std::cout << "\n";
      }
      s.resultCode = static_cast<int>(pageCode);
    }
    ParsePageResult(ld, page, pageCode, s, server);
    plat::ldap_msgfree(page);
    // Enough entries: the search ends here and is abandoned below.
    if (maximumReached) break;
  }
  // Entries that could not be decoded and values that could not be read
  // were reported as they came; the run does not end as a success.
  if (s.resultCode == 0 && output.failureCode() != 0) {
    s.resultCode = static_cast<int>(output.failureCode());
  }
  std::cout.flush();
  WarnUnfollowedReferrals(ld, search);
  plat::ldap_search_abandon_page(ld, search);
  run.timers->Stop("LDAP_GET_PAGES");
  st.ReleaseRequest();
}
