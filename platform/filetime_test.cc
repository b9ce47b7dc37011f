#include "platform/filetime.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "platform/last_error.h"
#include "platform/zone_test_fixture.h"

namespace {

constexpr int64_t kUnixEpoch = 116444736000000000LL;

int64_t Ticks(const FILETIME& f) {
  return static_cast<int64_t>((static_cast<uint64_t>(f.dwHighDateTime) << 32) |
                              f.dwLowDateTime);
}

FILETIME Ft(int64_t v) {
  auto u = static_cast<uint64_t>(v);
  return FILETIME{static_cast<DWORD>(u & 0xFFFFFFFF), static_cast<DWORD>(u >> 32)};
}

SYSTEMTIME St(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
  SYSTEMTIME st{};
  st.wYear = static_cast<WORD>(y);
  st.wMonth = static_cast<WORD>(mo);
  st.wDay = static_cast<WORD>(d);
  st.wHour = static_cast<WORD>(h);
  st.wMinute = static_cast<WORD>(mi);
  st.wSecond = static_cast<WORD>(s);
  st.wMilliseconds = static_cast<WORD>(ms);
  return st;
}

// The FILETIME of a UTC calendar time worked out by the C library's timegm.
int64_t ViaTimegm(int y, int mo, int d, int h, int mi, int s) {
  struct tm tm {};
  tm.tm_year = y - 1900;
  tm.tm_mon = mo - 1;
  tm.tm_mday = d;
  tm.tm_hour = h;
  tm.tm_min = mi;
  tm.tm_sec = s;
  return static_cast<int64_t>(timegm(&tm)) * 10000000 + kUnixEpoch;
}

class ZoneTest : public ZoneFixture {};

TEST(FileTimeCalendar, AgreesWithTimegmAcrossTheRange) {
  const int dates[][6] = {{1601, 1, 1, 0, 0, 0},    {1700, 3, 1, 12, 0, 0},
                          {1900, 2, 28, 23, 59, 59}, {1970, 1, 1, 0, 0, 0},
                          {2000, 2, 29, 6, 7, 8},    {2038, 1, 19, 3, 14, 8},
                          {9999, 12, 31, 23, 59, 59}, {10000, 1, 1, 0, 0, 0},
                          {30827, 12, 31, 23, 59, 59}};
  for (const auto& d : dates) {
    SCOPED_TRACE(d[0]);
    SYSTEMTIME st = St(d[0], d[1], d[2], d[3], d[4], d[5]);
    FILETIME ft;
    ASSERT_TRUE(plat::SystemTimeToFileTime(&st, &ft));
    EXPECT_EQ(Ticks(ft), ViaTimegm(d[0], d[1], d[2], d[3], d[4], d[5]));
    SYSTEMTIME back;
    ASSERT_TRUE(plat::FileTimeToSystemTime(&ft, &back));
    EXPECT_EQ(back.wYear, d[0]);
    EXPECT_EQ(back.wMonth, d[1]);
    EXPECT_EQ(back.wDay, d[2]);
    EXPECT_EQ(back.wHour, d[3]);
    EXPECT_EQ(back.wMinute, d[4]);
    EXPECT_EQ(back.wSecond, d[5]);
  }
  SYSTEMTIME epoch = St(1970, 1, 1);
  FILETIME ft;
  ASSERT_TRUE(plat::SystemTimeToFileTime(&epoch, &ft));
  EXPECT_EQ(Ticks(ft), kUnixEpoch);
}

TEST(FileTimeCalendar, MillisecondsAndWeekday) {
  FILETIME ft = Ft(kUnixEpoch + 1234567);  // 123.4567 ms after the epoch
  SYSTEMTIME st;
  ASSERT_TRUE(plat::FileTimeToSystemTime(&ft, &st));
  EXPECT_EQ(st.wMilliseconds, 123);
  EXPECT_EQ(st.wSecond, 0);
  EXPECT_EQ(st.wDayOfWeek, 4);  // a Thursday
  FILETIME zero = Ft(0);
  ASSERT_TRUE(plat::FileTimeToSystemTime(&zero, &st));
  EXPECT_EQ(st.wDayOfWeek, 1);  // 1601-01-01 was a Monday
}

TEST(FileTimeCalendar, RefusesImpossibleDatesAndValuesOutOfRange) {
  const SYSTEMTIME bad[] = {St(2007, 2, 29),        St(1700, 2, 29),
                            St(2007, 13, 1),        St(2007, 0, 1),
                            St(2007, 4, 31),        St(2007, 1, 0),
                            St(2007, 1, 1, 24),     St(2007, 1, 1, 0, 60),
                            St(2007, 1, 1, 0, 0, 60), St(2007, 1, 1, 0, 0, 0, 1000),
                            St(1600, 12, 31),       St(30828, 1, 1)};
  for (const auto& st : bad) {
    plat::SetLastError(0);
    FILETIME ft;
    EXPECT_FALSE(plat::SystemTimeToFileTime(&st, &ft));
    EXPECT_EQ(plat::GetLastError(), ERROR_INVALID_PARAMETER);
  }
  SYSTEMTIME leap = St(2000, 2, 29);
  FILETIME ft;
  EXPECT_TRUE(plat::SystemTimeToFileTime(&leap, &ft));

  SYSTEMTIME st;
  for (int64_t v : {int64_t{-1}, plat::kFileTimeLimit, INT64_MAX}) {
    plat::SetLastError(0);
    FILETIME f = Ft(v);
    EXPECT_FALSE(plat::FileTimeToSystemTime(&f, &st));
    EXPECT_EQ(plat::GetLastError(), ERROR_INVALID_PARAMETER);
  }
  FILETIME last = Ft(plat::kFileTimeLimit - 1);
  ASSERT_TRUE(plat::FileTimeToSystemTime(&last, &st));
  EXPECT_EQ(st.wYear, 30827);
  EXPECT_EQ(st.wMilliseconds, 999);
}

TEST_F(ZoneTest, OffsetInForceAtEachInstant) {
  Zone("Europe/Berlin");
  // Clocks went forward at 2021-03-28 01:00 UTC.
  const int64_t change = ViaTimegm(2021, 3, 28, 1, 0, 0);
  const int64_t second = 10000000;
  FILETIME before = Ft(change - second), after = Ft(change), local;
  ASSERT_TRUE(plat::FileTimeToLocalFileTime(&before, &local));
  EXPECT_EQ(Ticks(local), change - second + 3600 * second);
  ASSERT_TRUE(plat::FileTimeToLocalFileTime(&after, &local));
  EXPECT_EQ(Ticks(local), change + 7200 * second);

  plat::TIME_ZONE_INFORMATION tzi;
  EXPECT_EQ(plat::GetTimeZoneInformationAt(&before, &tzi), plat::TIME_ZONE_ID_STANDARD);
  EXPECT_EQ(std::u16string(tzi.StandardName), u"CET");
  EXPECT_EQ(std::u16string(tzi.DaylightName), u"CEST");
  EXPECT_EQ(tzi.Bias, -60);
  EXPECT_EQ(tzi.DaylightBias, -60);
  EXPECT_EQ(plat::GetTimeZoneInformationAt(&after, &tzi), plat::TIME_ZONE_ID_DAYLIGHT);

  Zone("Asia/Tokyo");
  FILETIME now = Ft(ViaTimegm(2021, 7, 1, 0, 0, 0));
  EXPECT_EQ(plat::GetTimeZoneInformationAt(&now, &tzi), plat::TIME_ZONE_ID_UNKNOWN);
  EXPECT_EQ(tzi.Bias, -540);
  Zone("UTC");
  EXPECT_EQ(plat::GetTimeZoneInformationAt(&now, &tzi), plat::TIME_ZONE_ID_UNKNOWN);
}

TEST_F(ZoneTest, DaylightSavingIsJudgedByTheLocalYear) {
  plat::TIME_ZONE_INFORMATION tzi;
  Zone("Australia/Sydney");
  // In 1979 summer time ended on 4 March and began again on 28 October, so
  // half a year either side of 2 April is standard time; the year still has
  // daylight saving.
  FILETIME autumn = Ft(ViaTimegm(1979, 4, 2, 0, 0, 0));
  EXPECT_EQ(plat::GetTimeZoneInformationAt(&autumn, &tzi), plat::TIME_ZONE_ID_STANDARD);
  EXPECT_EQ(std::u16string(tzi.StandardName), u"AEST");
  EXPECT_EQ(std::u16string(tzi.DaylightName), u"AEDT");
  EXPECT_EQ(tzi.Bias, -600);
  EXPECT_EQ(tzi.DaylightBias, -60);
  FILETIME summer = Ft(ViaTimegm(1979, 1, 15, 0, 0, 0));
  EXPECT_EQ(plat::GetTimeZoneInformationAt(&summer, &tzi), plat::TIME_ZONE_ID_DAYLIGHT);
  EXPECT_EQ(std::u16string(tzi.DaylightName), u"AEDT");
  EXPECT_EQ(std::u16string(tzi.StandardName), u"AEST");
  // 1970 had no summer time there (it began in October 1971).
  FILETIME before = Ft(ViaTimegm(1970, 6, 1, 0, 0, 0));
  EXPECT_EQ(plat::GetTimeZoneInformationAt(&before, &tzi), plat::TIME_ZONE_ID_UNKNOWN);
  FILETIME firstYear = Ft(ViaTimegm(1971, 3, 1, 0, 0, 0));
  EXPECT_EQ(plat::GetTimeZoneInformationAt(&firstYear, &tzi), plat::TIME_ZONE_ID_STANDARD);

  // The year is the local one: 31 December 1970 14:00 UTC is already 1971
  // in Sydney, an hour earlier it is still 1970 there.
  FILETIME newYear = Ft(ViaTimegm(1970, 12, 31, 14, 0, 0));
  EXPECT_EQ(plat::GetTimeZoneInformationAt(&newYear, &tzi), plat::TIME_ZONE_ID_STANDARD);
  FILETIME oldYear = Ft(ViaTimegm(1970, 12, 31, 13, 0, 0));
  EXPECT_EQ(plat::GetTimeZoneInformationAt(&oldYear, &tzi), plat::TIME_ZONE_ID_UNKNOWN);

  // A zone that gave up daylight saving: Asia/Tokyo last changed its clocks
  // in 1951.
  Zone("Asia/Tokyo");
  FILETIME tokyo1951 = Ft(ViaTimegm(1951, 12, 1, 0, 0, 0));
  EXPECT_EQ(plat::GetTimeZoneInformationAt(&tokyo1951, &tzi), plat::TIME_ZONE_ID_STANDARD);
  FILETIME tokyo1952 = Ft(ViaTimegm(1952, 12, 1, 0, 0, 0));
  EXPECT_EQ(plat::GetTimeZoneInformationAt(&tokyo1952, &tzi), plat::TIME_ZONE_ID_UNKNOWN);

  // A change of TZ between calls is seen at once.
  Zone("Europe/Berlin");
  FILETIME berlin = Ft(ViaTimegm(1990, 4, 2, 0, 0, 0));
  EXPECT_EQ(plat::GetTimeZoneInformationAt(&berlin, &tzi), plat::TIME_ZONE_ID_DAYLIGHT);
  Zone("Asia/Kolkata");
  EXPECT_EQ(plat::GetTimeZoneInformationAt(&berlin, &tzi), plat::TIME_ZONE_ID_UNKNOWN);
}

TEST_F(ZoneTest, LocalToUtcAroundChanges) {
  Zone("Europe/Berlin");
  auto toUtc = [](int64_t localTicks, int64_t* utc) {
    FILETIME l = Ft(localTicks), u;
    bool ok = plat::LocalFileTimeToFileTime(&l, &u);
    *utc = Ticks(u);
    return ok;
  };
  int64_t utc = 0;
  // Winter and summer.
  ASSERT_TRUE(toUtc(ViaTimegm(2021, 1, 15, 13, 0, 0), &utc));
  EXPECT_EQ(utc, ViaTimegm(2021, 1, 15, 12, 0, 0));
  ASSERT_TRUE(toUtc(ViaTimegm(2021, 7, 15, 14, 0, 0), &utc));
  EXPECT_EQ(utc, ViaTimegm(2021, 7, 15, 12, 0, 0));
  // 02:30 on 2021-10-31 happened twice: the first occurrence (summer time).
  ASSERT_TRUE(toUtc(ViaTimegm(2021, 10, 31, 2, 30, 0), &utc));
  EXPECT_EQ(utc, ViaTimegm(2021, 10, 31, 0, 30, 0));
  // 02:30 on 2021-03-28 never happened: read with the winter offset.
  ASSERT_TRUE(toUtc(ViaTimegm(2021, 3, 28, 2, 30, 0), &utc));
  EXPECT_EQ(utc, ViaTimegm(2021, 3, 28, 1, 30, 0));
  // Sub-second parts are kept.
  ASSERT_TRUE(toUtc(ViaTimegm(2021, 1, 15, 13, 0, 0) + 5, &utc));
  EXPECT_EQ(utc, ViaTimegm(2021, 1, 15, 12, 0, 0) + 5);

  // A local time before 1601-01-01 UTC has no FILETIME.
  plat::SetLastError(0);
  EXPECT_FALSE(toUtc(0, &utc));
  EXPECT_EQ(plat::GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(ZoneTest, LocalResultOutsideTheRangeFails) {
  Zone("America/New_York");
  FILETIME early = Ft(1), local;
  EXPECT_FALSE(plat::FileTimeToLocalFileTime(&early, &local));
  Zone("Asia/Tokyo");
  FILETIME late = Ft(plat::kFileTimeLimit - 1);
  EXPECT_FALSE(plat::FileTimeToLocalFileTime(&late, &local));
  FILETIME negative = Ft(-5);
  EXPECT_FALSE(plat::FileTimeToLocalFileTime(&negative, &local));
}

}  // namespace
