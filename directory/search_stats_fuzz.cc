// Fuzz target: the search-statistics response control decoder, over a value
// held in an exact-size heap copy so any read past it is caught.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/process_state.h"
#include "directory/search_stats.h"
#include "platform/ldap_client.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<char> value(data, data + size);
  plat::LDAPControl control{};
  control.ldctl_oid = const_cast<char*>(kSearchStatsOid);
  control.ldctl_value.bv_len = static_cast<ULONG>(value.size());
  control.ldctl_value.bv_val = value.empty() ? nullptr : value.data();
  g_SearchStats = SearchStats{};
  g_StatsReceived = false;
  DecodeStatsControl(&control);
  PrintStatistics(true);
  return 0;
}
