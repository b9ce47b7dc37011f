#include "common/time_text.h"

#include <cctype>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "common/process_state.h"
#include "platform/filetime.h"

namespace {

// Reads whole numbers from text as scanf "%d/%d/%d-%d:%d:%d" does: each
// number may follow blanks and carry a sign; each separator must match
// exactly; reading stops at the first mismatch and the rest stay 0. A number
// too large for an int reads as INT_MAX (or INT_MIN), never as a wrapped value.
void ScanDateFields(const char* text, int fields[6]) {
  static const char kSeparators[] = "//-::";
  for (int i = 0; i < 6; ++i) fields[i] = 0;
  const char* p = text;
  for (int i = 0; i < 6; ++i) {
    if (i > 0) {
      if (*p != kSeparators[i - 1]) return;
      ++p;
    }
    while (std::isspace(static_cast<unsigned char>(*p))) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    if (!std::isdigit(static_cast<unsigned char>(*p))) return;
    long long v = 0;
    while (std::isdigit(static_cast<unsigned char>(*p))) {
      if (v <= INT_MAX) v = v * 10 + (*p - '0');
      ++p;
    }
    if (negative) v = -v;
    fields[i] = v > INT_MAX ? INT_MAX : v < INT_MIN ? INT_MIN : static_cast<int>(v);
  }
}

// Scans the six numbers of a date text and, under -d, shows them as read.
void ScanAndShowDateFields(const std::string& text, int fields[6]) {
  ScanDateFields(text.c_str(), fields);
  if (g_Debug) {
    std::printf("DEBUG: Year  =%d\n", fields[0]);
    std::printf("DEBUG: Month =%d\n", fields[1]);
    std::printf("DEBUG: Day   =%d\n", fields[2]);
    std::printf("DEBUG: Hour  =%d\n", fields[3]);
    std::printf("DEBUG: Minute=%d\n", fields[4]);
    std::printf("DEBUG: Second=%d\n", fields[5]);
  }
}

void PrintConvertError(const std::string& text, const char* what) {
  std::printf("ERROR: Couldn't convert [%s] to %s.\n", text.c_str(), what);
}

}  // namespace

CWString DateToFileTimeText(CWString dateText, bool utc) {
  if (dateText.find(u'-') == std::u16string::npos) dateText += u"-00:00:00";
  std::string text = dateText.GetNarrow();

  int f[6];
  ScanAndShowDateFields(text, f);

  // A number that does not fit the calendar field is refused, never cut
  // down to 16 bits (which would give some other, valid-looking date).
  for (int v : f) {
    if (v < 0 || v > 0xFFFF) {
      PrintConvertError(text, "FILETIME");
      return CWString();
    }
  }
  SYSTEMTIME st{};
  st.wYear = static_cast<WORD>(f[0]);
  st.wMonth = static_cast<WORD>(f[1]);
  st.wDay = static_cast<WORD>(f[2]);
  st.wHour = static_cast<WORD>(f[3]);
  st.wMinute = static_cast<WORD>(f[4]);
  st.wSecond = static_cast<WORD>(f[5]);
  FILETIME ft;
  if (!plat::SystemTimeToFileTime(&st, &ft)) {
    PrintConvertError(text, "FILETIME");
    return CWString();
  }
  if (!utc) {
    FILETIME local = ft;
    if (!plat::LocalFileTimeToFileTime(&local, &ft)) {
      PrintConvertError(text, "UTC FILETIME");
      return CWString();
    }
  }
  int64_t value = static_cast<int64_t>(
      (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime);
  return CWString(std::to_string(value));
}

namespace {

// The parts of a generalized time beyond its calendar fields.
struct GeneralizedExtras {
  int64_t fraction = 0;  // 100-ns units that the fraction adds
  int64_t offset = 0;    // 100-ns units that the zone lies ahead of UTC
  bool leapSecond = false;
};

constexpr int64_t kTicksPerSecond = 10000000;

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// Reads a generalized time as the LDAP standard has it:
// YYYYMMDDhh[mm[ss]][(.|,)fraction][Z|(+|-)hh[mm]]. The fraction belongs to
// the last field given; no zone means UTC. Fills the "YYYY/MM/DD-hh:mm:ss"
// text of the calendar fields; false for anything else.
bool ParseGeneralizedTime(const std::u16string& t, std::string* joined, GeneralizedExtras* extras) {
  size_t pos = 0;
  auto pair = [&t, &pos](int* value) {
    if (pos + 1 >= t.size() || !IsDigit(t[pos]) || !IsDigit(t[pos + 1])) return false;
    *value = (t[pos] - u'0') * 10 + (t[pos + 1] - u'0');
    pos += 2;
    return true;
  };
  int century, year, month, day, hour, minute = 0, second = 0;
  if (!pair(&century) || !pair(&year) || !pair(&month) || !pair(&day) || !pair(&hour)) return false;
  int64_t lastUnit = 3600 * kTicksPerSecond;
  if (pair(&minute)) {
    lastUnit = 60 * kTicksPerSecond;
    if (pair(&second)) lastUnit = kTicksPerSecond;
  }
  if (pos < t.size() && IsDigit(t[pos])) return false;  // an odd digit
  if (pos < t.size() && (t[pos] == u'.' || t[pos] == u',')) {
    ++pos;
    if (pos >= t.size() || !IsDigit(t[pos])) return false;
    // Seven digits reach 100 ns for any unit; further digits are cut off.
    int64_t numerator = 0;
    int64_t denominator = 1;
    for (; pos < t.size() && IsDigit(t[pos]); ++pos) {
      if (denominator < 10000000) {
        numerator = numerator * 10 + (t[pos] - u'0');
        denominator *= 10;
      }
    }
    extras->fraction = lastUnit * numerator / denominator;
  }
  if (pos < t.size() && t[pos] == u'Z') {
    ++pos;
  } else if (pos < t.size() && (t[pos] == u'+' || t[pos] == u'-')) {
    int64_t sign = t[pos] == u'-' ? -1 : 1;
    ++pos;
    int zoneHours = 0, zoneMinutes = 0;
    if (!pair(&zoneHours) || zoneHours > 23) return false;
    if (pos < t.size() && (!pair(&zoneMinutes) || zoneMinutes > 59)) return false;
    extras->offset = sign * (zoneHours * 60 + zoneMinutes) * 60 * kTicksPerSecond;
  }
  if (pos != t.size()) return false;
  // A leap second is the last second of its minute and one more.
  if (second == 60) {
    second = 59;
    extras->leapSecond = true;
  }
  char buf[64];
  std::snprintf(buf, sizeof buf, "%02d%02d/%02d/%02d-%02d:%02d:%02d", century, year, month, day, hour,
                minute, second);
  *joined = buf;
  return true;
}

}  // namespace

CWString GeneralizedTimeToFileTimeText(CWString genTime) {
  std::string joined;
  GeneralizedExtras extras;
  if (!ParseGeneralizedTime(genTime, &joined, &extras)) {
    // Shown as its fixed-width pieces, whatever they hold.
    auto piece = [&genTime](size_t pos, size_t len) {
      return pos < genTime.size() ? genTime.substr(pos, len) : std::u16string();
    };
    std::string pieces = CWString(piece(0, 4) + u"/" + piece(4, 2) + u"/" + piece(6, 2) + u"-" +
                                  piece(8, 2) + u":" + piece(10, 2) + u":" + piece(12, 2))
                             .GetNarrow();
    int f[6];
    ScanAndShowDateFields(pieces, f);
    PrintConvertError(pieces, "FILETIME");
    return CWString();
  }
  CWString calendar = DateToFileTimeText(CWString(joined), true);
  if (calendar.empty() || (extras.fraction == 0 && extras.offset == 0 && !extras.leapSecond)) {
    return calendar;
  }
  int64_t value = std::strtoll(calendar.GetNarrow().c_str(), nullptr, 10);
  value += extras.fraction - extras.offset + (extras.leapSecond ? kTicksPerSecond : 0);
  if (value < 0) {
    PrintConvertError(joined, "FILETIME");
    return CWString();
  }
  return CWString(std::to_string(value));
}

std::string FormatInterval(std::string intervalText, int unit) {
  bool sign = !intervalText.empty() && intervalText[0] == '-';
  const char* p = intervalText.c_str() + (sign ? 1 : 0);

  // The rest read as a signed 64-bit decimal number (0 when there is none).
  while (std::isspace(static_cast<unsigned char>(*p))) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  constexpr uint64_t kTop = uint64_t{1} << 63;
  uint64_t magnitude = 0;
  while (std::isdigit(static_cast<unsigned char>(*p))) {
    unsigned digit = static_cast<unsigned>(*p++ - '0');
    magnitude = magnitude > (kTop - digit) / 10 ? kTop + 1 : magnitude * 10 + digit;
  }
  // Bit pattern of the number read: 2^63 itself stands for the most negative
  // value; anything larger keeps to the nearest 64-bit limit.
  uint64_t number;
  if (negative) {
    number = magnitude >= kTop ? kTop : uint64_t{0} - magnitude;
  } else {
    number = magnitude > kTop ? kTop - 1 : magnitude;
  }
  if (sign && number == kTop) return "undefined";

  uint64_t divisor;
  const char* name;
  switch (unit) {
    case 0: divisor = 600000000ULL, name = "minutes(s)"; break;
    case 1: divisor = 36000000000ULL, name = "hour(s)"; break;
    case 2: divisor = 864000000000ULL, name = "day(s)"; break;
    default: return "unknown units specified";
  }
  char buf[64];
  std::snprintf(buf, sizeof buf, "%s%.2f %s", sign ? "-" : "",
                static_cast<double>(number / divisor), name);
  return buf;
}
