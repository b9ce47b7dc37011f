#include "common/dstime.h"
#include "platform/zone_test_fixture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

namespace {

constexpr int64_t kUnixEpoch = 116444736000000000LL;
constexpr int64_t kSecond = 10000000;
const char kUtcText[] = " Coordinated Universal Time";

// FILETIME of a UTC calendar time, worked out by the C library's timegm.
int64_t Utc(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
  struct tm tm {};
  tm.tm_year = y - 1900;
  tm.tm_mon = mo - 1;
  tm.tm_mday = d;
  tm.tm_hour = h;
  tm.tm_min = mi;
  tm.tm_sec = s;
  return static_cast<int64_t>(timegm(&tm)) * kSecond + kUnixEpoch;
}

DSTIME Make(int64_t v, bool utc) {
  auto u = static_cast<uint64_t>(v);
  return DSTIME(static_cast<DWORD>(u & 0xFFFFFFFF), static_cast<DWORD>(u >> 32), utc);
}

class DstimeZone : public ZoneFixture {};

TEST(Dstime, ZeroAndMaximumHaveTheEmptyDateTexts) {
  for (bool utc : {true, false}) {
    DSTIME zero = Make(0, utc);
    EXPECT_EQ(zero.dateTimeZoned, "00/00/0000-00:00:00");
    EXPECT_EQ(zero.isoDateTimeZoned, "0000/00/00-00:00:00");
    EXPECT_EQ(zero.dateTime, "");
    EXPECT_EQ(zero.isoDateTime, "");
    EXPECT_EQ(zero.decimalText, "0");
    DSTIME max("9223372036854775807", utc);
    EXPECT_EQ(max.value, INT64_MAX);
    EXPECT_EQ(max.dateTimeZoned, "00/00/0000-00:00:00");
    EXPECT_EQ(max.isoDateTimeZoned, "0000/00/00-00:00:00");
    EXPECT_EQ(max.isoDateTime, "");
    EXPECT_EQ(max.decimalText, "9223372036854775807");
  }
}

TEST(Dstime, UtcTextsOfKnownValues) {
  DSTIME epoch = Make(kUnixEpoch, true);
  EXPECT_EQ(epoch.dateTime, "01/01/1970-00:00:00");
  EXPECT_EQ(epoch.isoDateTime, "1970/01/01-00:00:00");
  EXPECT_EQ(epoch.dateTimeZoned, "01/01/1970-00:00:00 Coordinated Universal Time");
  EXPECT_EQ(epoch.isoDateTimeZoned, "1970/01/01-00:00:00 Coordinated Universal Time");
  EXPECT_EQ(epoch.decimalText, "116444736000000000");

  // 100 ns after the start of the scale, and the last moment of year 30827.
  EXPECT_EQ(Make(1, true).isoDateTime, "1601/01/01-00:00:00");
  EXPECT_EQ(Make(Utc(30827, 12, 31, 23, 59, 59) + kSecond - 1, true).isoDateTime,
            "30827/12/31-23:59:59");
  EXPECT_EQ(Make(Utc(12345, 6, 7, 8, 9, 10), true).dateTime, "06/07/12345-08:09:10");
  // A fraction of a second shows the whole second below it.
  EXPECT_EQ(Make(Utc(2007, 2, 15, 13, 45, 0) + kSecond - 1, true).isoDateTime,
            "2007/02/15-13:45:00");
}

TEST(Dstime, ConstructorsAgree) {
  const int64_t v = Utc(2007, 2, 15, 13, 45, 0);
  const std::string text = std::to_string(v);
  FILETIME ft{static_cast<DWORD>(v & 0xFFFFFFFF), static_cast<DWORD>(v >> 32)};
  const std::string expected = "2007/02/15-13:45:00 Coordinated Universal Time";
  EXPECT_EQ(DSTIME(text.c_str(), true).isoDateTimeZoned, expected);
  EXPECT_EQ(DSTIME(text, true).isoDateTimeZoned, expected);
  EXPECT_EQ(DSTIME(CWString(text), true).isoDateTimeZoned, expected);
  EXPECT_EQ(DSTIME(&ft, true).isoDateTimeZoned, expected);
  EXPECT_EQ(DSTIME(&ft, true).value, v);
}

TEST(Dstime, DecimalTextReading) {
  EXPECT_EQ(DSTIME(" 42", true).value, 42);
  EXPECT_EQ(DSTIME("abc", true).value, 0);
  EXPECT_EQ(DSTIME("abc", true).dateTimeZoned, "00/00/0000-00:00:00");
  EXPECT_EQ(DSTIME(static_cast<const char*>(nullptr), true).value, 0);
  EXPECT_EQ(DSTIME("-1", true).decimalText, "-1");
  EXPECT_EQ(DSTIME("12abc", true).value, 12);
}

TEST(Dstime, ValuesWithoutADateGiveTheErrorText) {
  for (bool utc : {true, false}) {
    DSTIME neg("-1", utc);
    EXPECT_EQ(neg.value, -1);
    EXPECT_EQ(neg.dateTimeZoned, "ERROR: 87");
    EXPECT_EQ(neg.isoDateTimeZoned, "ERROR: 87");
    EXPECT_EQ(neg.dateTime, "");
    EXPECT_EQ(neg.isoDateTime, "");
    // Year 30828, past the end of the scale.
    DSTIME late = Make(INT64_MAX - 1, utc);
    EXPECT_EQ(late.dateTimeZoned, "ERROR: 87");
    EXPECT_EQ(DSTIME("-9223372036854775808", utc).isoDateTimeZoned, "ERROR: 87");
  }
}

TEST_F(DstimeZone, BerlinOnBothSidesOfAChange) {
  Zone("Europe/Berlin");
  // Clocks went forward at 2021-03-28 01:00 UTC.
  const int64_t change = Utc(2021, 3, 28, 1, 0, 0);
  DSTIME before = Make(change - kSecond, false);
  EXPECT_EQ(before.isoDateTimeZoned, "2021/03/28-01:59:59 CET");
  EXPECT_EQ(before.dateTimeZoned, "03/28/2021-01:59:59 CET");
  EXPECT_EQ(Make(change, false).isoDateTimeZoned, "2021/03/28-03:00:00 CEST");
  // And back at 2021-10-31 01:00 UTC.
  const int64_t back = Utc(2021, 10, 31, 1, 0, 0);
  EXPECT_EQ(Make(back - kSecond, false).isoDateTimeZoned, "2021/10/31-02:59:59 CEST");
  EXPECT_EQ(Make(back, false).isoDateTimeZoned, "2021/10/31-02:00:00 CET");
  // A summer date far from today, and one past year 9999 under today's rules.
  EXPECT_EQ(Make(Utc(1990, 7, 1, 12), false).isoDateTimeZoned, "1990/07/01-14:00:00 CEST");
  EXPECT_EQ(Make(Utc(20000, 7, 1, 12), false).isoDateTimeZoned,
            "20000/07/01-14:00:00 CEST");
  // Before standard time existed the city's mean time applies (no daylight saving).
  EXPECT_EQ(Make(1, false).isoDateTimeZoned, "1601/01/01-00:53:28 UNKNOWN TZ");
  // The UTC form is unaffected by the zone.
  EXPECT_EQ(Make(change, true).isoDateTimeZoned,
            std::string("2021/03/28-01:00:00") + kUtcText);
}

TEST_F(DstimeZone, NewYork) {
  Zone("America/New_York");
  EXPECT_EQ(Make(Utc(2007, 2, 15, 13, 45, 0), false).dateTimeZoned,
            "02/15/2007-08:45:00 EST");
  EXPECT_EQ(Make(Utc(2007, 7, 4, 16, 0, 0), false).dateTimeZoned,
            "07/04/2007-12:00:00 EDT");
  // Local time before 1601 does not exist: the value is shown in UTC.
  DSTIME first = Make(1, false);
  EXPECT_EQ(first.dateTimeZoned, std::string("01/01/1601-00:00:00") + kUtcText);
  EXPECT_EQ(first.dateTime, "01/01/1601-00:00:00");
}

TEST_F(DstimeZone, ZonesWithoutDaylightSaving) {
  Zone("Asia/Tokyo");
  EXPECT_EQ(Make(kUnixEpoch, false).isoDateTimeZoned, "1970/01/01-09:00:00 UNKNOWN TZ");
  EXPECT_EQ(Make(Utc(2021, 7, 1), false).isoDateTime, "2021/07/01-09:00:00");
  // Local time after year 30827 does not exist: shown in UTC.
  const int64_t last = Utc(30827, 12, 31, 20, 0, 0);
  EXPECT_EQ(Make(last, false).isoDateTimeZoned,
            std::string("30827/12/31-20:00:00") + kUtcText);
  Zone("UTC");
  EXPECT_EQ(Make(kUnixEpoch, false).isoDateTimeZoned, "1970/01/01-00:00:00 UNKNOWN TZ");
}

TEST_F(DstimeZone, SydneyInAYearWithDaylightSaving) {
  Zone("Australia/Sydney");
  // Standard time on 2 April 1979, in a year whose summers kept daylight
  // saving (it ended on 4 March and came back on 28 October).
  EXPECT_EQ(Make(Utc(1979, 4, 2), false).isoDateTimeZoned, "1979/04/02-10:00:00 AEST");
  EXPECT_EQ(Make(Utc(1979, 1, 15), false).isoDateTimeZoned, "1979/01/15-11:00:00 AEDT");
  EXPECT_EQ(Make(Utc(1970, 6, 1), false).isoDateTimeZoned, "1970/06/01-10:00:00 UNKNOWN TZ");
}

TEST_F(DstimeZone, ZoneChangeShowsInLaterValues) {
  const int64_t v = Utc(2021, 1, 15, 12, 0, 0);
  Zone("Asia/Tokyo");
  EXPECT_EQ(Make(v, false).isoDateTime, "2021/01/15-21:00:00");
  Zone("Europe/Berlin");
  EXPECT_EQ(Make(v, false).isoDateTime, "2021/01/15-13:00:00");
}

}  // namespace
