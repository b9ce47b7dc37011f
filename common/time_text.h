// Conversions between human time texts and 64-bit time / interval numbers.
#pragma once

#include <string>

#include "common/cwstring.h"

// "YYYY/MM/DD" or "YYYY/MM/DD-hh:mm:ss" (UTC, or local time when utc is false)
// to the decimal text of its FILETIME value. Prints an "ERROR: Couldn't
// convert [...]" line on standard output and returns "" when it cannot.
CWString DateToFileTimeText(CWString dateText, bool utc);

// LDAP generalized time "YYYYMMDDhhmmss..." (UTC) to the decimal text of its
// FILETIME value; "" after a printed error.
CWString GeneralizedTimeToFileTimeText(CWString genTime);

// A (negative) 100-ns interval as text in unit 0 minutes, 1 hours, 2 days,
// e.g. "-30.00 minutes(s)"; "undefined" for the most negative 64-bit value.
std::string FormatInterval(std::string intervalText, int unit);
