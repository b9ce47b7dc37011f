// Fuzz target: generalized times, date texts, intervals and 64-bit time
// values (from decimal text and from raw bytes) in UTC and in a zone with
// daylight saving time.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "common/dstime.h"
#include "common/time_text.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("TZ", "Europe/Berlin", 1);
  tzset();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  GeneralizedTimeToFileTimeText(CWString(text));
  DateToFileTimeText(CWString(text), true);
  DateToFileTimeText(CWString(text), false);
  for (int unit = 0; unit < 4; ++unit) FormatInterval(text, unit);
  DSTIME(text, true);
  DSTIME(text, false);
  if (size >= 8) {
    DWORD low, high;
    std::memcpy(&low, data, 4);
    std::memcpy(&high, data + 4, 4);
    DSTIME(low, high, true);
    DSTIME(low, high, false);
  }
  return 0;
}
