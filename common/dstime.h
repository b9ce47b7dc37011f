// A 64-bit FILETIME value (100-ns units since 1601-01-01 UTC) with its texts.
#pragma once

#include <cstdint>
#include <string>

#include "common/cwstring.h"
#include "platform/win_types.h"

class DSTIME {
 public:
  // From decimal text (read as a signed 64-bit number; 0 when it holds none).
  DSTIME(const char* decimalText, bool utc);
  DSTIME(std::string decimalText, bool utc);
  DSTIME(CWString decimalText, bool utc);
  // From a FILETIME record.
  DSTIME(const FILETIME* time, bool utc);
  // From the two 32-bit halves.
  DSTIME(DWORD low, DWORD high, bool utc);

  // Stores the value and computes every text; utc false gives local time
  // with the name of the zone in force at that instant.
  void Set(DWORD low, DWORD high, bool utc);

  int64_t value = 0;
  std::string dateTimeZoned;     // MM/DD/YYYY-hh:mm:ss + zone text
  std::string dateTime;          // MM/DD/YYYY-hh:mm:ss
  std::string isoDateTimeZoned;  // YYYY/MM/DD-hh:mm:ss + zone text
  std::string isoDateTime;       // YYYY/MM/DD-hh:mm:ss
  std::string decimalText;       // value in base 10
};
