#include "driver/filter_builder.h"

#include <cctype>
#include <iostream>
#include <vector>

#include "common/cmdline.h"
#include "common/console_services.h"
#include "common/cwstring.h"
#include "common/process_state.h"
#include "common/string_util.h"
#include "common/time_text.h"
#include "directory/filter_escape.h"
#include "platform/guid.h"
#include "platform/ldap_client.h"
#include "platform/ldap_filter.h"
#include "platform/last_error.h"
#include "platform/sid.h"

namespace {

struct BitwiseRule {
  const char* pattern;
  const char* oid;
};

constexpr BitwiseRule kBitwiseRules[] = {
    {":AND:=", "1.2.840.113556.1.4.803"},
    {":OR:=", "1.2.840.113556.1.4.804"},
    {":INCHAIN:=", "1.2.840.113556.1.4.1941"},
    {":NEST:=", "1.2.840.113556.1.4.1941"},
};

void RewriteBitwiseOperators(std::string* filter) {
  for (const BitwiseRule& rule : kBitwiseRules) {
    const std::string pattern = rule.pattern;
    const std::string replacement = std::string(":") + rule.oid + ":=";
    size_t pos;
    while ((pos = filter->find(pattern)) != std::string::npos) {
      filter->replace(pos, pattern.size(), replacement);
    }
  }
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Converts one token value; false ends the run with *exitCode.
bool ConvertToken(const std::string& kind, const std::string& value,
                  std::string* converted, int* exitCode) {
  if (kind == "sid") {
    if (g_Debug) std::cout << "DEBUG: SID String=" << value << "\n";
    std::vector<BYTE> sid;
    if (!plat::ConvertStringSidToSidA(value.c_str(), &sid)) {
      DWORD code = plat::GetLastError();
      PrintWin32Error("ERROR (ConvertStringSidToSid): ", code);
      *exitCode = static_cast<int>(code);
      return false;
    }
    *converted = SidToFilterValue(sid.data());
    if (g_Debug) std::cout << "DEBUG: LDAP SID String=" << *converted << "\n";
  } else if (kind == "guid") {
    std::string braced = "{" + value + "}";
    if (g_Debug) std::cout << "DEBUG: GUID String=" << braced << "\n";
    CWString wide(braced);
    GUID guid{};
    HRESULT hr = plat::CLSIDFromString(wide.data(), &guid);
    if (hr != plat::S_OK) {
      PrintWin32Error("ERROR (CLSIDFromString): ", static_cast<DWORD>(hr));
      *exitCode = hr;
      return false;
    }
    *converted = GuidToFilterValue(&guid);
    if (g_Debug) std::cout << "DEBUG: LDAP GUID String=" << *converted << "\n";
  } else if (kind == "bin") {
    if (g_Debug) std::cout << "DEBUG: Hex String=" << value << "\n";
    std::string hex = ReplaceAll(value, " ", "", false);
    if (hex.size() % 2 != 0) hex.pop_back();
    std::vector<BYTE> bytes(hex.size() / 2);
    for (size_t i = 0; i < bytes.size(); ++i) {
      int high = HexDigit(hex[2 * i]);
      int low = HexDigit(hex[2 * i + 1]);
      if (high < 0 || low < 0) {
        // Bytes of no defined value are never put into a filter.
        std::cout << "ERROR: Couldn't convert [" << value
                  << "] to binary: not a hex string.\n";
        *exitCode = -1;
        return false;
      }
      bytes[i] = static_cast<BYTE>(high << 4 | low);
    }
    *converted = BinaryToFilterValue(bytes.data(), static_cast<int>(bytes.size()));
    if (g_Debug) std::cout << "DEBUG: Binary String=" << *converted << "\n";
  } else {  // "utc" or "local"
    if (g_Debug) std::cout << "DEBUG: Time/Date String=" << value << "\n";
    CWString result = DateToFileTimeText(CWString(value), kind == "utc");
    *converted = result.GetNarrow();
    if (converted->empty()) {
      std::cout << "ERROR: Time conversion failed, exiting...\n";
      *exitCode = -1;
      return false;
    }
    if (g_Debug) std::cout << "DEBUG: LDAP UTC String=" << *converted << "\n";
  }
  return true;
}

bool ReplaceTokens(std::string* filter, int* exitCode) {
  static const char* const kKinds[] = {"sid", "guid", "bin", "utc", "local"};
  if (g_Debug) std::cout << "DEBUG: Binary encode translation...\n";
  for (;;) {
    if (g_Debug) std::cout << "DEBUG: Filter= " << *filter << "\n";
    size_t open = filter->find("{{");
    if (open == std::string::npos) break;
    size_t close = filter->find("}}", open + 2);
    if (close == std::string::npos) break;
    std::string token = filter->substr(open, close + 2 - open);
    if (g_Debug) std::cout << "DEBUG: ToReplace=" << token << "\n";
    std::string lower = StrToLower(token);
    std::string kind;
    for (const char* word : kKinds) {
      if (lower.find(word) != std::string::npos) {
        kind = word;
        break;
      }
    }
    if (kind.empty()) {
      std::cout << "ERROR: Invalid binary encode option - " << token << "\n";
      break;
    }
    // "{{", the kind word and one separator character come before the value.
    size_t skip = 2 + kind.size() + 1;
    std::string value =
        lower.size() >= skip + 2 ? lower.substr(skip, lower.size() - skip - 2) : "";
    std::string converted;
    if (!ConvertToken(kind, value, &converted, exitCode)) return false;
    *filter = ReplaceFirst(*filter, token, converted, false);
  }
  return true;
}

}  // namespace

bool BuildFilter(std::string* filter, const FilterBuildOptions& options,
                 int* exitCode) {
  if (filter->empty() || (*filter)[0] == '*') *filter = "objectclass=*";
  if (options.bitwise) {
    RewriteBitwiseOperators(filter);
    if (options.printTransformed) {
      std::cout << "Transformed Filter: " << *filter << "\n";
    }
  }
  if (options.binaryEncode) {
    if (!ReplaceTokens(filter, exitCode)) {
      std::cout.flush();
      return false;
    }
    if (options.printTransformed) {
      std::cout << "Transformed Filter: " << *filter << "\n";
    }
  }
  *filter = "(" + *filter + ")";
  // Checked once here, before any encoder sees the filter: directory servers
  // refuse deeper filters, and the encoders' work grows with the depth.
  size_t depth = plat::detail::FilterNestingDepth(plat::detail::StripRedundantParens(*filter));
  if (depth > plat::detail::kMaxFilterNesting) {
    std::cout << "ERROR: The filter is nested " << depth << " levels deep; at most "
              << plat::detail::kMaxFilterNesting << " levels are allowed.\n";
    std::cout.flush();
    *exitCode = static_cast<int>(plat::LDAP_FILTER_ERROR);
    return false;
  }
  std::cout.flush();
  return true;
}

bool BuildSearchFilter(CCmdLine& cmdLine, QuerySettings& settings,
                       int* exitCode) {
  FilterBuildOptions options;
  options.bitwise = cmdLine.HasSwitch("bit");
  options.binaryEncode = cmdLine.HasSwitch("binenc");
  options.printTransformed =
      !settings.csvLayout && !settings.listLayout && !settings.quotedDn;
  return BuildFilter(&settings.filter, options, exitCode);
}
