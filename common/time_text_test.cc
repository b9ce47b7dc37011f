#include "common/time_text.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "common/dstime.h"
#include "common/process_state.h"
#include "platform/zone_test_fixture.h"

namespace {

constexpr int64_t kUnixEpoch = 116444736000000000LL;

// FILETIME of a UTC calendar time, worked out by the C library's timegm.
std::string Utc(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
  struct tm tm {};
  tm.tm_year = y - 1900;
  tm.tm_mon = mo - 1;
  tm.tm_mday = d;
  tm.tm_hour = h;
  tm.tm_min = mi;
  tm.tm_sec = s;
  return std::to_string(static_cast<int64_t>(timegm(&tm)) * 10000000 + kUnixEpoch);
}

// Runs fn with standard output captured; returns what it printed.
template <typename Fn>
std::string Printed(Fn fn) {
  testing::internal::CaptureStdout();
  fn();
  return testing::internal::GetCapturedStdout();
}

class TimeText : public ZoneFixture {
 protected:
  void SetUp() override {
    ZoneFixture::SetUp();
    g_Debug = false;
  }
  void TearDown() override {
    g_Debug = false;
    ZoneFixture::TearDown();
  }
  static std::string Date(const char* text, bool utc) {
    return DateToFileTimeText(CWString(text), utc).GetNarrow();
  }
};

TEST_F(TimeText, UtcDates) {
  EXPECT_EQ(Date("2007/02/15", true), "128159712000000000");
  EXPECT_EQ(Date("2007/02/01", true), "128147616000000000");
  EXPECT_EQ(Date("1970/01/01", true), "116444736000000000");
  EXPECT_EQ(Date("1601/01/01-00:00:00", true), "0");
  EXPECT_EQ(Date("2007/02/15-13:45:00", true), Utc(2007, 2, 15, 13, 45, 0));
  // A text with "-" gets nothing appended; missing seconds count as 0.
  EXPECT_EQ(Date("2007/02/15-08:00", true), Utc(2007, 2, 15, 8, 0, 0));
  EXPECT_EQ(Date("12345/06/07-08:09:10", true), Utc(12345, 6, 7, 8, 9, 10));
  EXPECT_EQ(Date("30827/12/31-23:59:59", true), Utc(30827, 12, 31, 23, 59, 59));
}

TEST_F(TimeText, RefusedDatesPrintTheirErrorAndGiveNothing) {
  std::string result = "x";
  EXPECT_EQ(Printed([&] { result = Date("2007/13/01", true); }),
            "ERROR: Couldn't convert [2007/13/01-00:00:00] to FILETIME.\n");
  EXPECT_EQ(result, "");
  const char* bad[] = {"2007/02/29",           "1600/12/31",          "30828/01/01",
                       "2007/02/15-24:00:00",  "2007/02/15-12:60:00", "abc",
                       "2007/-1/01",           "67137/01/01",  // 67137 & 0xFFFF = 1601
                       "99999999999999/01/01", "2007/02/15-12:00:-5"};
  for (const char* text : bad) {
    SCOPED_TRACE(text);
    std::string out = Printed([&] { result = Date(text, true); });
    EXPECT_EQ(result, "");
    EXPECT_EQ(out.rfind("ERROR: Couldn't convert [", 0), 0u);
    EXPECT_NE(out.find("] to FILETIME.\n"), std::string::npos);
  }
}

TEST_F(TimeText, DebugLinesShowTheNumbersAsRead) {
  g_Debug = true;
  std::string out = Printed([] { Date("2007/13/01-1:2", true); });
  EXPECT_EQ(out,
            "DEBUG: Year  =2007\nDEBUG: Month =13\nDEBUG: Day   =1\n"
            "DEBUG: Hour  =1\nDEBUG: Minute=2\nDEBUG: Second=0\n"
            "ERROR: Couldn't convert [2007/13/01-1:2] to FILETIME.\n");
}

TEST_F(TimeText, RefusedGeneralizedTimeStillShowsItsDebugLines) {
  g_Debug = true;
  std::string result = "x";
  std::string out =
      Printed([&] { result = GeneralizedTimeToFileTimeText(CWString("2007021513451")).GetNarrow(); });
  EXPECT_EQ(out,
            "DEBUG: Year  =2007\nDEBUG: Month =2\nDEBUG: Day   =15\n"
            "DEBUG: Hour  =13\nDEBUG: Minute=45\nDEBUG: Second=1\n"
            "ERROR: Couldn't convert [2007/02/15-13:45:1] to FILETIME.\n");
  EXPECT_EQ(result, "");
}

TEST_F(TimeText, LocalDatesFollowTheZoneAtThatDate) {
  Zone("Europe/Berlin");
  EXPECT_EQ(Date("2007/02/15-14:45:00", false), Utc(2007, 2, 15, 13, 45, 0));
  EXPECT_EQ(Date("2007/07/15-14:45:00", false), Utc(2007, 7, 15, 12, 45, 0));
  Zone("America/New_York");
  EXPECT_EQ(Date("2021/03/14-01:59:59", false), Utc(2021, 3, 14, 6, 59, 59));
  EXPECT_EQ(Date("2021/03/14-03:00:00", false), Utc(2021, 3, 14, 7, 0, 0));
  Zone("Asia/Tokyo");
  EXPECT_EQ(Date("1970/01/01-09:00:00", false), "116444736000000000");
  Zone("UTC");
  EXPECT_EQ(Date("2007/02/15", false), "128159712000000000");
  // Local midnight of 1601-01-01 in Tokyo is before the scale begins.
  Zone("Asia/Tokyo");
  std::string result = "x";
  EXPECT_EQ(Printed([&] { result = Date("1601/01/01", false); }),
            "ERROR: Couldn't convert [1601/01/01-00:00:00] to UTC FILETIME.\n");
  EXPECT_EQ(result, "");
}

// Text -> value -> text in UTC and three zones, from 1601 to past year 9999.
TEST_F(TimeText, RoundTripsThroughDstime) {
  const char* zones[] = {"UTC", "Europe/Berlin", "America/New_York", "Asia/Tokyo"};
  const char* dates[] = {"1601/01/02-00:00:00", "1969/12/31-23:59:59",
                         "2021/03/28-03:00:00", "2021/10/31-03:30:00",
                         "2021/07/04-12:00:00", "9999/12/31-23:59:59",
                         "10000/01/01-00:00:00", "30827/12/30-12:00:00"};
  for (const char* zone : zones) {
    Zone(zone);
    for (bool utc : {true, false}) {
      for (const char* date : dates) {
        SCOPED_TRACE(std::string(zone) + " " + date + (utc ? " utc" : " local"));
        CWString value = DateToFileTimeText(CWString(date), utc);
        ASSERT_FALSE(value.empty());
        DSTIME t(value, utc);
        EXPECT_EQ(t.isoDateTime, date);
        EXPECT_EQ(t.decimalText, value.GetNarrow());
      }
    }
  }
}

TEST_F(TimeText, GeneralizedTime) {
  auto gen = [](const char* text) {
    return GeneralizedTimeToFileTimeText(CWString(text)).GetNarrow();
  };
  auto plus = [](const std::string& value, int64_t ticks) {
    return std::to_string(std::stoll(value) + ticks);
  };
  const std::string t1345 = Utc(2007, 2, 15, 13, 45, 0);
  struct Case {
    const char* text;
    std::string want;
  };
  // Every form the standard allows: minutes and seconds may be left out, a
  // fraction (after "." or ",") belongs to the last field given, and the
  // zone is Z, an offset from UTC, or left out (taken as UTC).
  const Case cases[] = {
      {"20070215134500.0Z", t1345},
      {"20070215134500Z", t1345},
      {"200702151345Z", t1345},
      {"200702151345", t1345},
      {"2007021513Z", Utc(2007, 2, 15, 13, 0, 0)},
      {"2007021513.75Z", t1345},
      {"200702151345,5Z", plus(t1345, 300000000)},
      {"20070215134500.1234567891Z", plus(t1345, 1234567)},
      {"20070215144500+0100", t1345},
      {"20070215084500-05", t1345},
      {"20070215121500-0130", t1345},
      {"20161231235960Z", Utc(2017, 1, 1, 0, 0, 0)},
      {"16010101000000Z", "0"},
      {"19700101000000", "116444736000000000"},
  };
  for (const Case& c : cases) EXPECT_EQ(gen(c.text), c.want) << c.text;
  EXPECT_EQ(gen("20070215134500.0Z"), Date("2007/02/15-13:45:00", true));
  // The zone of the machine does not matter.
  Zone("Asia/Tokyo");
  EXPECT_EQ(gen("19700101000000.0Z"), "116444736000000000");

  std::string result = "x";
  EXPECT_EQ(Printed([&] { result = gen("2007"); }),
            "ERROR: Couldn't convert [2007//-::] to FILETIME.\n");
  EXPECT_EQ(result, "");
  // What cannot be a time: short, odd digits, non-numeric, signed, blank-
  // padded, impossible dates, bad fractions or zones, trailing text, and a
  // time before the scale begins.
  const char* bad[] = {"", "200702151", "2007021513450", "2007+2151345000Z", "2007 2151345000Z",
                       "abcdefghijklmn", "20071315000000Z", "2007-2-15134500Z", "20070215134500.Z",
                       "20070215134500+2400", "20070215134500+01001", "20070215134500+0160",
                       "20070215134500Zx", "20070215134500 ", "16010101000000+0100"};
  for (const char* text : bad) {
    SCOPED_TRACE(text);
    std::string out = Printed([&] { result = gen(text); });
    EXPECT_EQ(result, "");
    EXPECT_EQ(out.rfind("ERROR: Couldn't convert [", 0), 0u);
  }
}

TEST(FormatInterval, UnitsAndTruncation) {
  EXPECT_EQ(FormatInterval("-18000000000", 0), "-30.00 minutes(s)");
  EXPECT_EQ(FormatInterval("-300000000", 0), "-0.00 minutes(s)");
  EXPECT_EQ(FormatInterval("-36288000000000", 2), "-42.00 day(s)");
  EXPECT_EQ(FormatInterval("-36000000000", 1), "-1.00 hour(s)");
  EXPECT_EQ(FormatInterval("-71999999999", 1), "-1.00 hour(s)");
  EXPECT_EQ(FormatInterval("864000000000", 2), "1.00 day(s)");
  EXPECT_EQ(FormatInterval("0", 0), "0.00 minutes(s)");
  EXPECT_EQ(FormatInterval("abc", 0), "0.00 minutes(s)");
  EXPECT_EQ(FormatInterval("-abc", 0), "-0.00 minutes(s)");
  EXPECT_EQ(FormatInterval("", 2), "0.00 day(s)");
  EXPECT_EQ(FormatInterval("-600000000", 7), "unknown units specified");
}

TEST(FormatInterval, ExtremeValues) {
  for (int unit : {0, 1, 2}) {
    EXPECT_EQ(FormatInterval("-9223372036854775808", unit), "undefined");
  }
  // The largest value is divided like any other: 2^63-1 / 864000000000.
  EXPECT_EQ(FormatInterval("9223372036854775807", 2), "10675199.00 day(s)");
  EXPECT_EQ(FormatInterval("-9223372036854775807", 2), "-10675199.00 day(s)");
  // Beyond 64 bits: kept to the largest value, not wrapped round.
  EXPECT_EQ(FormatInterval("99999999999999999999999", 2), "10675199.00 day(s)");
}

}  // namespace
