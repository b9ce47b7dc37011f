// Calendar and time-zone services on the FILETIME scale (100-ns units since
// 1601-01-01 UTC), years 1601 to 30827. Local time comes from the system's
// time-zone database and honours TZ: each instant uses the offset in force
// at that instant.
#pragma once

#include "platform/win_types.h"

namespace plat {

// FILETIME of 30828-01-01 00:00:00 UTC: the first value past the range.
inline constexpr int64_t kFileTimeLimit = 0x7FFF35F4F06C8000LL;

// Calendar fields of a FILETIME; false (ERROR_INVALID_PARAMETER) outside the range.
bool FileTimeToSystemTime(const FILETIME* time, SYSTEMTIME* out);
// FILETIME of calendar fields (wDayOfWeek ignored); false
// (ERROR_INVALID_PARAMETER) for an impossible date or time or a year outside the range.
bool SystemTimeToFileTime(const SYSTEMTIME* time, FILETIME* out);

// UTC -> local time with the offset in force at that instant; false when
// the result leaves the range or the zone cannot be read.
bool FileTimeToLocalFileTime(const FILETIME* utc, FILETIME* local);
// Local -> UTC. A local time that occurs twice (clocks put back) is taken as
// its first occurrence; one skipped by clocks put forward uses the offset in
// force before the change.
bool LocalFileTimeToFileTime(const FILETIME* local, FILETIME* utc);

inline constexpr DWORD TIME_ZONE_ID_UNKNOWN = 0;   // no daylight saving
inline constexpr DWORD TIME_ZONE_ID_STANDARD = 1;  // standard time in force
inline constexpr DWORD TIME_ZONE_ID_DAYLIGHT = 2;  // daylight time in force
inline constexpr DWORD TIME_ZONE_ID_INVALID = 0xFFFFFFFF;

struct TIME_ZONE_INFORMATION {
  LONG Bias;  // minutes: UTC = local + Bias (standard time)
  char16_t StandardName[32];
  LONG StandardBias;
  char16_t DaylightName[32];
  LONG DaylightBias;
};

// The zone as it stands at the instant utc: TIME_ZONE_ID_UNKNOWN when the
// zone has no daylight saving at any time of the instant's local calendar
// year, otherwise STANDARD or DAYLIGHT as in force at that instant. Names
// are the zone database's abbreviations. TIME_ZONE_ID_INVALID on failure.
DWORD GetTimeZoneInformationAt(const FILETIME* utc, TIME_ZONE_INFORMATION* info);

}  // namespace plat
