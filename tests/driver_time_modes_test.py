"""The time utility modes (-decutc, -declocal, -encutc, -enclocal) checked
against Python's datetime in several zones, both directions, and their exit
codes."""

import datetime
import random
import unittest
import zoneinfo

from driver_testlib import DriverTestCase, base_env, run

EPOCH = datetime.datetime(1601, 1, 1, tzinfo=datetime.timezone.utc)
TICKS_PER_SECOND = 10_000_000
ZONES = ["UTC", "America/New_York", "Europe/Berlin", "Asia/Kolkata", "Australia/Sydney"]


def ticks_of(dt):
    delta = dt - EPOCH
    return (delta.days * 86400 + delta.seconds) * TICKS_PER_SECOND + delta.microseconds * 10


def utc_of(ticks):
    return EPOCH + datetime.timedelta(microseconds=ticks // 10)


def has_daylight_saving(zone, utc):
    """Daylight saving in force at any time of the instant's local calendar year."""
    tz = zoneinfo.ZoneInfo(zone)
    year = utc.astimezone(tz).year
    day = datetime.datetime(year, 1, 1, 12, tzinfo=datetime.timezone.utc)
    while day.year == year:
        if day.astimezone(tz).dst():
            return True
        day += datetime.timedelta(days=1)
    return False


def sample_ticks():
    rng = random.Random(20070201)
    values = [116444736000000000,       # 1970-01-01
              128147616000000000,       # 2007-02-01
              128159712000000000 + 9_999_999,  # fraction of a second below
              ticks_of(datetime.datetime(2007, 3, 11, 7, 0, tzinfo=datetime.timezone.utc)),
              ticks_of(datetime.datetime(2024, 10, 27, 0, 59, 59, tzinfo=datetime.timezone.utc)),
              ticks_of(datetime.datetime(2024, 10, 27, 1, 0, 0, tzinfo=datetime.timezone.utc))]
    lo = ticks_of(datetime.datetime(1971, 1, 1, tzinfo=datetime.timezone.utc))
    hi = ticks_of(datetime.datetime(2037, 12, 31, tzinfo=datetime.timezone.utc))
    values += [rng.randrange(lo, hi) for _ in range(12)]
    # Standard time in Sydney, half a year from either summer of 1979.
    values.append(ticks_of(datetime.datetime(1979, 4, 2, tzinfo=datetime.timezone.utc)))
    return values


class DecodeTest(DriverTestCase):
    def test_decutc_matches_datetime(self):
        for ticks in sample_ticks():
            r = run(["-q", "-decutc", str(ticks)])
            expected = utc_of(ticks).strftime("%Y/%m/%d-%H:%M:%S") + " Coordinated Universal Time\n"
            self.assertEqual((r.code, r.out, r.err), (0, expected, ""), ticks)

    def test_declocal_matches_zoneinfo(self):
        for zone in ZONES:
            tz = zoneinfo.ZoneInfo(zone)
            for ticks in sample_ticks():
                local = utc_of(ticks).astimezone(tz)
                if has_daylight_saving(zone, utc_of(ticks)):
                    zone_text = local.tzname()
                else:
                    zone_text = "UNKNOWN TZ"
                r = run(["-q", "-declocal", str(ticks)], env=base_env(TZ=zone))
                expected = local.strftime("%Y/%m/%d-%H:%M:%S") + " " + zone_text + "\n"
                self.assertEqual((r.code, r.out), (0, expected), (zone, ticks))

    def test_zero_and_largest_value(self):
        for value in ("0", "9223372036854775807"):
            for mode in ("-decutc", "-declocal"):
                r = run(["-q", mode, value])
                self.assertEqual((r.code, r.out), (0, "0000/00/00-00:00:00\n"))

    def test_banner_without_quiet(self):
        r = run(["-decutc", "0"])
        self.assertEqual(r.err, "\nQuelby V01.36.00cpp February 2007\n\n")
        self.assertEqual(r.code, 0)

    def test_value_that_is_not_a_number_fails(self):
        for value in ("abc", "", "12x", "99999999999999999999999"):
            r = run(["-q", "-decutc", value])
            self.assertNotEqual(r.code, 0, value)
            self.assertIn("is not a 64-bit time value", r.out, value)
        r = run(["-q", "-decutc"])
        self.assertEqual(r.code, 1, r)

    def test_conversion_failure_fails(self):
        r = run(["-q", "-decutc", "-1"])
        self.assertTrue(r.out.startswith("ERROR: "), r)
        self.assertEqual(r.code, 255, r)

    def test_first_mode_wins_and_nothing_else_is_checked(self):
        r = run(["-q", "-decutc", "116444736000000000", "-encutc", "2007/02/01"])
        self.assertEqual(r.out, "1970/01/01-00:00:00 Coordinated Universal Time\n")
        # A base, a filter and a bad page size are not looked at.
        r = run(["-q", "-encutc", "2007/02/01", "-b", "dc=x", "-ps", "0", "-f", "{{x"])
        self.assertEqual((r.code, r.out), (0, "128147616000000000\n"))


class EncodeTest(DriverTestCase):
    def test_encutc_matches_datetime(self):
        for ticks in sample_ticks():
            dt = utc_of(ticks).replace(microsecond=0)
            r = run(["-q", "-encutc", dt.strftime("%Y/%m/%d-%H:%M:%S")])
            self.assertEqual((r.code, r.out), (0, "%d\n" % ticks_of(dt)), dt)

    def test_encutc_date_only_and_epoch(self):
        self.assertEqual(run(["-q", "-encutc", "2007/02/15"]).out, "128159712000000000\n")
        self.assertEqual(run(["-q", "-encutc", "1601/01/01-00:00:00"]).out, "0\n")

    def test_enclocal_matches_zoneinfo(self):
        for zone in ZONES:
            tz = zoneinfo.ZoneInfo(zone)
            for ticks in sample_ticks()[6:]:
                local = utc_of(ticks).astimezone(tz).replace(microsecond=0)
                text = local.strftime("%Y/%m/%d-%H:%M:%S")
                r = run(["-q", "-enclocal", text], env=base_env(TZ=zone))
                self.assertEqual((r.code, r.out), (0, "%d\n" % ticks_of(local)), (zone, text))

    def test_round_trip_local(self):
        for zone in ZONES:
            for ticks in sample_ticks()[6:12]:
                whole = ticks - ticks % TICKS_PER_SECOND
                dec = run(["-q", "-declocal", str(whole)], env=base_env(TZ=zone))
                text = dec.out.split(" ")[0]
                enc = run(["-q", "-enclocal", text], env=base_env(TZ=zone))
                self.assertEqual(enc.out, "%d\n" % whole, (zone, text))

    def test_bad_date_fails(self):
        r = run(["-q", "-encutc", "2007/13/01"])
        self.assertEqual(r.out, "ERROR: Couldn't convert [2007/13/01-00:00:00] to FILETIME.\n\n")
        self.assertEqual(r.code, 255)
        r = run(["-q", "-enclocal", "not a date"])
        self.assertTrue(r.out.startswith("ERROR: Couldn't convert ["), r)
        self.assertNotEqual(r.code, 0)


if __name__ == "__main__":
    unittest.main()
