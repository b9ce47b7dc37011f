// The search-statistics response control: decoding each page's control into
// g_SearchStats, and the report printed after the search.
#pragma once

#include <cstddef>
#include <string>

#include "platform/win_types.h"

namespace plat {
struct LDAPControl;
}

// OID of the search-statistics control.
inline constexpr char kSearchStatsOid[] = "1.2.840.113556.1.4.970";

// Folds one returned control into g_SearchStats and g_StatsReceived; controls
// of any other OID are ignored. Never reads past the control's value.
void DecodeStatsControl(const plat::LDAPControl* control);

// Prints the statistics report (with the analysis section when verbose);
// prints nothing unless counts arrived.
void PrintStatistics(bool verbose);

// Prints the diagnostic block for a statistic item the decoder does not know.
// offset is 1-based: the bytes before the read position, plus 1.
void ReportUnknownStat(std::string where, const BYTE* value, size_t length, size_t offset);
