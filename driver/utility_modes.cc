#include "driver/utility_modes.h"

#include <cerrno>
#include <cctype>
#include <cstdlib>
#include <iostream>

#include "common/cmdline.h"
#include "common/process_state.h"
#include "common/string_util.h"
#include "common/cwstring.h"
#include "common/dstime.h"
#include "common/time_text.h"
#include "directory/sid_account_lookup.h"
#include "structured/security_descriptor_output.h"

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

// Renders an ACL given in SDDL (a bare list of ACEs is read as a DACL) at the
// -sddc++ level with SID names, looked up on the server named by -h.
void DecodeSddlAcl(const std::string& value, const std::string& server) {
  std::string sddl = value;
  if (StrToUpper(value).find("D:") == std::string::npos) sddl = "D:" + value;
  g_ResolveSids = true;
  g_SddlPlus = true;
  g_SddlPlusPlus = true;
  g_SidLookupServer = server;
  if (!server.empty()) InstallDirectorySidLookup();
  std::string body, scratch;
  OutputAclSections("", &body, &scratch, sddl, "");
  std::cout << body << "\n";
  std::cout.flush();
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
    DecodeSddlAcl(cmdLine.GetValue("decsddlacl"), cmdLine.GetValue("h"));
    *exitCode = 0;
  } else {
    return false;
  }
  return true;
}
