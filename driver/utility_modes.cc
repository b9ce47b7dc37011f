#include "driver/utility_modes.h"

#include <cerrno>
#include <cctype>
#include <cstdlib>
#include <iostream>

#include "common/cmdline.h"
#include "common/cwstring.h"
#include "common/dstime.h"
#include "common/time_text.h"

namespace {

int DecodeTime(const std::string& value, bool utc) {
  DSTIME time(value, utc);
  std::cout << time.isoDateTimeZoned << "\n";
  if (!IsInt64Text(value)) {
    std::cout << "ERROR: [" << value << "] is not a 64-bit time value.\n";
    std::cout.flush();
    return 1;
  }
  std::cout.flush();
  return time.isoDateTimeZoned.compare(0, 7, "ERROR: ") == 0 ? -1 : 0;
}

int EncodeTime(const std::string& value, bool utc) {
  CWString result = DateToFileTimeText(CWString(value), utc);
  std::string text = result.GetNarrow();
  std::cout << text << "\n";
  std::cout.flush();
  return text.empty() ? -1 : 0;
}

}  // namespace

bool IsInt64Text(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  size_t end = text.size();
  while (end > i && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
  if (i == end) return false;
  std::string number = text.substr(i, end - i);
  size_t digits = (number[0] == '-' || number[0] == '+') ? 1 : 0;
  if (digits == number.size()) return false;
  for (size_t k = digits; k < number.size(); ++k) {
    if (!std::isdigit(static_cast<unsigned char>(number[k]))) return false;
  }
  errno = 0;
  std::strtoll(number.c_str(), nullptr, 10);
  return errno != ERANGE;
}

bool RunUtilityMode(CCmdLine& cmdLine, int* exitCode) {
  if (cmdLine.HasSwitch("decutc")) {
    *exitCode = DecodeTime(cmdLine.GetValue("decutc"), true);
  } else if (cmdLine.HasSwitch("declocal")) {
    *exitCode = DecodeTime(cmdLine.GetValue("declocal"), false);
  } else if (cmdLine.HasSwitch("encutc")) {
    *exitCode = EncodeTime(cmdLine.GetValue("encutc"), true);
  } else if (cmdLine.HasSwitch("enclocal")) {
    *exitCode = EncodeTime(cmdLine.GetValue("enclocal"), false);
  } else if (cmdLine.HasSwitch("decsddlacl")) {
    // The security-descriptor rendering is not part of this build yet.
    std::cout << "ERROR: -decsddlacl is not available yet: this build cannot "
                 "render security descriptors.\n";
    std::cout.flush();
    *exitCode = -1;
  } else {
    return false;
  }
  return true;
}
