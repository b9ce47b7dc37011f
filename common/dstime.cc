#include "common/dstime.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "platform/filetime.h"
#include "platform/last_error.h"

namespace {

// The text read as a signed 64-bit decimal number, as scanf "%lld" reads it
// (leading blanks, optional sign); 0 when it holds no number, the nearest
// limit when the number does not fit.
int64_t ReadDecimal(const char* text) {
  if (text == nullptr) return 0;
  errno = 0;
  char* end = nullptr;
  long long v = std::strtoll(text, &end, 10);
  return end == text ? 0 : static_cast<int64_t>(v);
}

DWORD Low(int64_t v) { return static_cast<DWORD>(static_cast<uint64_t>(v) & 0xFFFFFFFFu); }
DWORD High(int64_t v) { return static_cast<DWORD>(static_cast<uint64_t>(v) >> 32); }

const char kUtcZoneText[] = " Coordinated Universal Time";

}  // namespace

DSTIME::DSTIME(const char* decimalText, bool utc) {
  int64_t v = ReadDecimal(decimalText);
  Set(Low(v), High(v), utc);
}

DSTIME::DSTIME(std::string decimalText, bool utc) : DSTIME(decimalText.c_str(), utc) {}

DSTIME::DSTIME(CWString decimalText, bool utc) : DSTIME(decimalText.c_str(), utc) {}

DSTIME::DSTIME(const FILETIME* time, bool utc) {
  if (time == nullptr) {
    Set(0, 0, utc);
  } else {
    Set(time->dwLowDateTime, time->dwHighDateTime, utc);
  }
}

DSTIME::DSTIME(DWORD low, DWORD high, bool utc) { Set(low, high, utc); }

void DSTIME::Set(DWORD low, DWORD high, bool utc) {
  value = static_cast<int64_t>((static_cast<uint64_t>(high) << 32) | low);
  decimalText = std::to_string(value);
  dateTimeZoned.clear();
  dateTime.clear();
  isoDateTimeZoned.clear();
  isoDateTime.clear();

  if (value == 0 || value == INT64_MAX) {
    dateTimeZoned = "00/00/0000-00:00:00";
    isoDateTimeZoned = "0000/00/00-00:00:00";
    return;
  }

  const FILETIME utcTime{low, high};
  FILETIME shown = utcTime;
  std::string zoneText = kUtcZoneText;
  if (!utc) {
    // A value that has no local form is shown in UTC instead.
    FILETIME local;
    if (plat::FileTimeToLocalFileTime(&utcTime, &local)) {
      plat::TIME_ZONE_INFORMATION tzi;
      DWORD zone = plat::GetTimeZoneInformationAt(&utcTime, &tzi);
      if (zone == plat::TIME_ZONE_ID_UNKNOWN) {
        zoneText = " UNKNOWN TZ";
      } else if (zone == plat::TIME_ZONE_ID_STANDARD) {
        zoneText = " " + CWString(std::u16string(tzi.StandardName)).GetNarrow();
      } else if (zone == plat::TIME_ZONE_ID_DAYLIGHT) {
        zoneText = " " + CWString(std::u16string(tzi.DaylightName)).GetNarrow();
      } else {
        zoneText = " ";
      }
      shown = local;
    }
  }

  SYSTEMTIME st;
  bool ok = plat::FileTimeToSystemTime(&shown, &st);
  if (!ok && !utc) {
    zoneText = kUtcZoneText;
    ok = plat::FileTimeToSystemTime(&utcTime, &st);
  }
  if (!ok) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "ERROR: %i", static_cast<int>(plat::GetLastError()));
    dateTimeZoned = buf;
    isoDateTimeZoned = buf;
    return;
  }

  char buf[64];
  std::snprintf(buf, sizeof buf, "%2.2i/%2.2i/%4.4i-%2.2i:%2.2i:%2.2i", st.wMonth,
                st.wDay, st.wYear, st.wHour, st.wMinute, st.wSecond);
  dateTime = buf;
  std::snprintf(buf, sizeof buf, "%4.4i/%2.2i/%2.2i-%2.2i:%2.2i:%2.2i", st.wYear,
                st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond);
  isoDateTime = buf;
  dateTimeZoned = dateTime + zoneText;
  isoDateTimeZoned = isoDateTime + zoneText;
}
