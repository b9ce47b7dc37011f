#include "platform/filetime.h"

#include <cstdlib>
#include <ctime>
#include <map>
#include <string>
#include <utility>

#include "platform/last_error.h"

namespace plat {

namespace {

constexpr int64_t kTicksPerSecond = 10000000;
constexpr int64_t kTicksPerDay = 86400 * kTicksPerSecond;
// Seconds from 1601-01-01 to 1970-01-01.
constexpr int64_t kEpochDiffSeconds = 11644473600LL;

int64_t ToTicks(const FILETIME* t) {
  return static_cast<int64_t>((static_cast<uint64_t>(t->dwHighDateTime) << 32) |
                              t->dwLowDateTime);
}

void FromTicks(int64_t ticks, FILETIME* out) {
  auto u = static_cast<uint64_t>(ticks);
  out->dwLowDateTime = static_cast<DWORD>(u & 0xFFFFFFFFu);
  out->dwHighDateTime = static_cast<DWORD>(u >> 32);
}

bool InRange(int64_t ticks) { return ticks >= 0 && ticks < kFileTimeLimit; }

// Days since 1970-01-01 of a proleptic Gregorian date, and back.
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2;
  int64_t era = (y >= 0 ? y : y - 399) / 400;
  int64_t yoe = y - era * 400;
  int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int64_t* y, int64_t* m, int64_t* d) {
  z += 719468;
  int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  int64_t doe = z - era * 146097;
  int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  int64_t mp = (5 * doy + 2) / 153;
  *d = doy - (153 * mp + 2) / 5 + 1;
  *m = mp < 10 ? mp + 3 : mp - 9;
  *y = yoe + era * 400 + (*m <= 2);
}

bool IsLeap(int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int64_t y, int64_t m) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

// Seconds since the Unix epoch of a FILETIME (whole seconds, rounded down).
int64_t UnixSeconds(int64_t ticks) {
  int64_t s = ticks / kTicksPerSecond;
  if (ticks % kTicksPerSecond < 0) --s;
  return s - kEpochDiffSeconds;
}

struct ZoneState {
  long offset = 0;  // seconds east of UTC
  bool dst = false;
  std::string name;
};

// The zone's offset, daylight flag and abbreviation at one instant.
bool ZoneAt(int64_t unixSeconds, ZoneState* out) {
  time_t t = static_cast<time_t>(unixSeconds);
  struct tm tm {};
  if (localtime_r(&t, &tm) == nullptr) return false;
  out->offset = tm.tm_gmtoff;
  out->dst = tm.tm_isdst > 0;
  out->name = tm.tm_zone != nullptr ? tm.tm_zone : "";
  return true;
}

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - (a % b < 0 ? 1 : 0); }

// Whether the zone has daylight saving at any time of one local calendar
// year, with one standard and one daylight state seen in it.
struct YearZone {
  bool hasStandard = false;
  bool hasDaylight = false;
  ZoneState standard;
  ZoneState daylight;
};

// The zone's states over a local year, sampled at noon UTC of every day.
// Kept per year for the zone named by TZ (a new TZ value starts afresh), so
// that a run over many values reads each year once. Null when the zone
// cannot be read.
const YearZone* YearZoneOf(int64_t year) {
  static bool cachedHasTz = false;
  static std::string cachedTz;
  static std::map<int64_t, YearZone> cache;
  const char* tz = std::getenv("TZ");
  if ((tz != nullptr) != cachedHasTz || (tz != nullptr && cachedTz != tz)) {
    cache.clear();
    cachedHasTz = tz != nullptr;
    cachedTz = tz != nullptr ? tz : "";
  }
  auto found = cache.find(year);
  if (found != cache.end()) return &found->second;
  YearZone result;
  int64_t first = DaysFromCivil(year, 1, 1);
  int64_t last = DaysFromCivil(year + 1, 1, 1);
  for (int64_t day = first; day < last; ++day) {
    ZoneState z;
    if (!ZoneAt(day * 86400 + 43200, &z)) return nullptr;
    if (z.dst && !result.hasDaylight) {
      result.daylight = z;
      result.hasDaylight = true;
    } else if (!z.dst && !result.hasStandard) {
      result.standard = z;
      result.hasStandard = true;
    }
    if (result.hasDaylight && result.hasStandard) break;
  }
  return &cache.emplace(year, std::move(result)).first->second;
}

void CopyName(const std::string& name, char16_t (&dst)[32]) {
  size_t i = 0;
  for (; i < name.size() && i < 31; ++i)
    dst[i] = static_cast<char16_t>(static_cast<unsigned char>(name[i]));
  dst[i] = 0;
}

}  // namespace

bool FileTimeToSystemTime(const FILETIME* time, SYSTEMTIME* out) {
  if (time == nullptr || out == nullptr || !InRange(ToTicks(time))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  int64_t ticks = ToTicks(time);
  int64_t days = ticks / kTicksPerDay;
  int64_t rest = ticks % kTicksPerDay;
  int64_t y, m, d;
  CivilFromDays(days + DaysFromCivil(1601, 1, 1), &y, &m, &d);
  out->wYear = static_cast<WORD>(y);
  out->wMonth = static_cast<WORD>(m);
  out->wDay = static_cast<WORD>(d);
  // 1601-01-01 was a Monday.
  out->wDayOfWeek = static_cast<WORD>((days + 1) % 7);
  int64_t secs = rest / kTicksPerSecond;
  out->wHour = static_cast<WORD>(secs / 3600);
  out->wMinute = static_cast<WORD>(secs / 60 % 60);
  out->wSecond = static_cast<WORD>(secs % 60);
  out->wMilliseconds = static_cast<WORD>(rest % kTicksPerSecond / 10000);
  return true;
}

bool SystemTimeToFileTime(const SYSTEMTIME* time, FILETIME* out) {
  if (time == nullptr || out == nullptr || time->wYear < 1601 ||
      time->wYear > 30827 || time->wMonth < 1 || time->wMonth > 12 ||
      time->wDay < 1 || time->wDay > DaysInMonth(time->wYear, time->wMonth) ||
      time->wHour > 23 || time->wMinute > 59 || time->wSecond > 59 ||
      time->wMilliseconds > 999) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  int64_t days = DaysFromCivil(time->wYear, time->wMonth, time->wDay) -
                 DaysFromCivil(1601, 1, 1);
  int64_t secs = days * 86400 + time->wHour * 3600 + time->wMinute * 60 +
                 time->wSecond;
  FromTicks(secs * kTicksPerSecond + time->wMilliseconds * int64_t{10000}, out);
  return true;
}

bool FileTimeToLocalFileTime(const FILETIME* utc, FILETIME* local) {
  if (utc == nullptr || local == nullptr || !InRange(ToTicks(utc))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  tzset();
  int64_t ticks = ToTicks(utc);
  ZoneState z;
  if (!ZoneAt(UnixSeconds(ticks), &z)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  int64_t result = ticks + static_cast<int64_t>(z.offset) * kTicksPerSecond;
  if (!InRange(result)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  FromTicks(result, local);
  return true;
}

bool LocalFileTimeToFileTime(const FILETIME* local, FILETIME* utc) {
  if (local == nullptr || utc == nullptr || !InRange(ToTicks(local))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  tzset();
  int64_t ticks = ToTicks(local);
  int64_t secs = UnixSeconds(ticks);  // the local wall time read as if UTC
  ZoneState before, at, after;
  if (!ZoneAt(secs - 86400, &before) || !ZoneAt(secs, &at) ||
      !ZoneAt(secs + 86400, &after)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  // A candidate offset is right when it is the one in force at the instant
  // it gives; of several (a repeated hour) the earliest instant is taken.
  bool found = false;
  int64_t best = 0;
  for (long offset : {before.offset, at.offset, after.offset}) {
    int64_t candidate = ticks - static_cast<int64_t>(offset) * kTicksPerSecond;
    ZoneState check;
    if (!ZoneAt(UnixSeconds(candidate), &check) || check.offset != offset) continue;
    if (!found || candidate < best) best = candidate;
    found = true;
  }
  // A skipped local time: read it with the offset in force before the change.
  if (!found) best = ticks - static_cast<int64_t>(before.offset) * kTicksPerSecond;
  if (!InRange(best)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  FromTicks(best, utc);
  return true;
}

DWORD GetTimeZoneInformationAt(const FILETIME* utc, TIME_ZONE_INFORMATION* info) {
  if (utc == nullptr || info == nullptr || !InRange(ToTicks(utc))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return TIME_ZONE_ID_INVALID;
  }
  tzset();
  *info = TIME_ZONE_INFORMATION{};
  int64_t secs = UnixSeconds(ToTicks(utc));
  ZoneState at;
  if (!ZoneAt(secs, &at)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return TIME_ZONE_ID_INVALID;
  }
  // Daylight saving is judged by the local calendar year of the instant, as
  // the platform keeps its rules year by year: a zone keeps daylight saving
  // for the whole of any year in which its clocks change.
  int64_t y, m, d;
  CivilFromDays(FloorDiv(secs + at.offset, 86400), &y, &m, &d);
  const YearZone* year = YearZoneOf(y);
  if (year == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return TIME_ZONE_ID_INVALID;
  }
  if (!year->hasDaylight && !at.dst) {
    info->Bias = static_cast<LONG>(-at.offset / 60);
    CopyName(at.name, info->StandardName);
    return TIME_ZONE_ID_UNKNOWN;
  }
  const ZoneState* standard = at.dst ? (year->hasStandard ? &year->standard : nullptr) : &at;
  const ZoneState* daylight = at.dst ? &at : &year->daylight;
  if (standard != nullptr) {
    info->Bias = static_cast<LONG>(-standard->offset / 60);
    CopyName(standard->name, info->StandardName);
  } else {
    info->Bias = static_cast<LONG>(-daylight->offset / 60);
  }
  info->DaylightBias = static_cast<LONG>(-daylight->offset / 60) - info->Bias;
  CopyName(daylight->name, info->DaylightName);
  return at.dst ? TIME_ZONE_ID_DAYLIGHT : TIME_ZONE_ID_STANDARD;
}

}  // namespace plat
