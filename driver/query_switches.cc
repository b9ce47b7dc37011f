#include "driver/query_switches.h"

#include <cctype>
#include <climits>
#include <cstdlib>
#include <iostream>

#include "common/cmdline.h"
#include "common/console_services.h"
#include "common/process_state.h"
#include "common/string_util.h"
#include "driver/help.h"
#include "values/attribute_kinds.h"

namespace {

// A numeric switch value: a whole decimal number of at most 32 bits, blanks
// around it allowed; a switch without a value counts as 0.
bool ParseNumber(const std::string& text, long* out) {
  size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  size_t end = text.size();
  while (end > i && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
  if (i == end) {
    *out = 0;
    return true;
  }
  size_t k = i;
  if (text[k] == '-' || text[k] == '+') ++k;
  if (k == end) return false;
  for (size_t j = k; j < end; ++j) {
    if (!std::isdigit(static_cast<unsigned char>(text[j]))) return false;
  }
  if (end - k > 10) return false;
  long value = std::strtol(text.c_str() + i, nullptr, 10);
  if (value > INT_MAX || value < INT_MIN) return false;
  *out = value;
  return true;
}

constexpr long kHighestPort = 65535;

// Reads a numeric switch; a value that is not a number, or outside
// minimum..maximum, is a switch error.
long ReadNumberSwitch(CCmdLine& cmdLine, const char* name, long minimum,
                      const char* what, long maximum = INT_MAX) {
  std::string text = cmdLine.GetValue(name);
  long value = 0;
  if (!ParseNumber(text, &value)) {
    FailWithSwitchError(std::string(what) + " (-" + name +
                        ") must be a number: [" + text + "]");
  }
  if (value < minimum) {
    FailWithSwitchError(std::string(what) + " (-" + name + ") must be " +
                        (minimum > 0 ? "a positive number" : "0 or more") +
                        ": [" + text + "]");
  }
  if (value > maximum) {
    FailWithSwitchError(std::string(what) + " (-" + name + ") must be at most " +
                        std::to_string(maximum) + ": [" + text + "]");
  }
  return value;
}

// The port of a "host:port" value must be a port number, so that a typing
// error never sends the query to the default port instead.
void CheckHostPort(const std::string& host) {
  size_t colon = host.find(':');
  if (colon == std::string::npos) return;
  std::string text = host.substr(colon + 1, host.find(':', colon + 1) - colon - 1);
  bool digitsOnly = text.size() <= 5 &&
      text.find_first_not_of("0123456789") == std::string::npos;
  if (digitsOnly && std::atol(text.c_str()) <= kHighestPort) return;
  FailWithSwitchError("Port in host:port (-h) must be a number from 0 to " +
                      std::to_string(kHighestPort) + ": [" + host + "]");
}

struct NumberSwitch {
  const char* name;
  long minimum;
  const char* what;
  long maximum;
};

constexpr NumberSwitch kNumberSwitches[] = {
    {"t", 0, "Time limit", INT_MAX},
    {"ps", 1, "Page size", INT_MAX},
    {"maxe", 0, "Maximum entries", INT_MAX},
    {"p", 0, "Port", kHighestPort},
};

long ReadNumberSwitch(CCmdLine& cmdLine, const NumberSwitch& sw) {
  return ReadNumberSwitch(cmdLine, sw.name, sw.minimum, sw.what, sw.maximum);
}

// Checks every numeric switch (and the port in -h) that is given, so that a
// typing error is reported before the password prompt, not after it.
void CheckNumberSwitches(CCmdLine& cmdLine) {
  CheckHostPort(cmdLine.GetValue("h"));
  for (const NumberSwitch& sw : kNumberSwitches) {
    if (cmdLine.HasSwitch(sw.name)) ReadNumberSwitch(cmdLine, sw);
  }
}

void FillAceFilter(const std::string& value, std::vector<std::string>* fields,
                   int32_t* count, const char* heading) {
  fields->clear();
  SplitStringMax(value, ";", fields, 6);
  *count = 0;
  for (const std::string& field : *fields) {
    if (!field.empty()) ++*count;
  }
  if (g_Debug) {
    std::cout << heading << *count << "\n";
    for (size_t slot = 0; slot < fields->size(); ++slot) {
      std::cout << "DEBUG:     " << slot << "] " << (*fields)[slot] << "\n";
    }
  }
}

void FillValueFilter(const std::string& value, const std::string& delimiter,
                     std::map<std::string, std::string>* map, bool debug) {
  if (debug) std::cout << "String: " << value << "\n";
  for (std::string token : SplitUserList(value, delimiter, false)) {
    if (debug) std::cout << "     token= " << token << "\n";
    if (!g_MvFilterCaseSensitive) token = StrToLower(token);
    std::vector<std::string> fields;
    int n = SplitStringMax(token, "=", &fields, 2);
    if (debug) {
      std::cout << "     toks1[0]= " << fields[0] << "     toks1[1]= "
                << fields[1] << "\n";
    }
    if (n == 2) (*map)[StrToLower(fields[0])] = fields[1];
  }
}

void ReadDnList(CCmdLine& cmdLine, QuerySettings& settings, bool exclude) {
  const char* sw = exclude ? "excldn" : "incldn";
  if (!cmdLine.HasSwitch(sw)) return;
  if (cmdLine.HasSwitch("c")) {
    FailWithSwitchError(std::string("Can not combine -c and -") + sw);
  }
  if (g_Debug) std::cout << (exclude ? "DEBUG: DN Exclusions\n" : "DEBUG: DN Inclusions\n");
  std::string& delim = exclude ? settings.exclDnDelim : settings.inclDnDelim;
  const char* delimSwitch = exclude ? "excldndelim" : "incldndelim";
  if (cmdLine.HasSwitch(delimSwitch)) delim = cmdLine.GetValueUnescaped(delimSwitch);
  // An empty text would be found in every DN: such pieces are left out.
  std::vector<std::string>& list = exclude ? settings.exclDn : settings.inclDn;
  list = SplitUserList(StrToLower(cmdLine.GetValue(sw)), delim, true);
  (exclude ? settings.exclDnActive : settings.inclDnActive) = !list.empty();
  if (g_Debug) {
    for (const std::string& piece : list) {
      std::cout << (exclude ? "DEBUG: Exclude DN: " : "DEBUG: Include DN: ")
                << piece << "\n";
    }
  }
}

}  // namespace

std::vector<std::string> SplitUserList(const std::string& text,
                                       const std::string& delimiter,
                                       bool dropEmpty) {
  std::vector<std::string> pieces;
  if (delimiter.empty()) {
    if (!text.empty()) pieces.push_back(text);
  } else {
    SplitString(text, delimiter, &pieces, 65535);
  }
  if (dropEmpty) {
    std::erase_if(pieces, [](const std::string& p) { return p.empty(); });
  }
  return pieces;
}

void ReadBaseAndScope(CCmdLine& cmdLine, QuerySettings& s) {
  if (cmdLine.HasSwitch("schema")) s.baseSchema = true;
  if (cmdLine.HasSwitch("config")) s.baseConfig = true;
  if (cmdLine.HasSwitch("default")) s.baseDefault = true;
  if (cmdLine.HasSwitch("domain")) s.baseDefault = true;
  if (cmdLine.HasSwitch("root")) s.baseRoot = true;
  if (cmdLine.HasSwitch("null")) s.baseNull = true;
  s.anySpecialBase =
      s.baseSchema || s.baseConfig || s.baseDefault || s.baseRoot || s.baseNull;
  if (!cmdLine.HasSwitch("b") && !s.anySpecialBase) {
    std::cout << "\nERROR:\nERROR: No BASE or special base specified\nERROR:\n\n";
    PrintUsageHint();
  }
  s.host = cmdLine.GetValue("h");
  s.scope = StrToLower(cmdLine.GetValue("s"));
  s.base = cmdLine.GetValue("b");
  s.relativeBase = cmdLine.GetValue("rb");
  s.filter = cmdLine.GetValue("f");
}

void ReadDisplaySwitches(CCmdLine& cmdLine, QuerySettings& s) {
  auto has = [&cmdLine](const char* name) { return cmdLine.HasSwitch(name); };
  if (has("elapsed")) s.elapsed = true;
  if (has("elapsedms")) s.elapsedMs = true;
  if (has("selapsed")) s.stopwatchesSeconds = true;
  if (has("selapsedms")) s.stopwatchesMs = true;
  if (has("simple")) s.simpleBind = true;
  if (has("samdc")) s.samDecode = true;
  if (has("flagdc")) s.flagDecode = true;
  if (has("rootdsedc")) s.rootDseDecode = true;
  if (has("schdc")) {
    s.schemaDecode = true;
    s.flagDecode = true;
  }
  if (has("resolvesids")) g_ResolveSids = true;
  if (has("resolvesidsldap")) {
    g_ResolveSids = true;
    g_ResolveSidsViaLdap = true;
  }
  if (has("sidbinout")) g_SidBinaryOut = true;
  if (has("guidbinout")) g_GuidBinaryOut = true;
  if (has("kerbenc")) s.kerberosEncryption = true;
  if (has("noctl")) s.noCtl = true;
  if (has("owneronly")) {
    s.owner = true;
    s.ownerOnly = true;
  }
  if (has("ownercsv")) {
    s.ownerCsv = true;
    s.owner = true;
    s.ownerOnly = true;
    g_Quiet = true;
  }
  if (has("sdna") || has("nosacl")) g_SdNoSacl = true;
  if (has("nogroup")) g_SdNoGroup = true;
  if (has("noowner")) g_SdNoOwner = true;
  if (has("nodacl")) g_SdNoDacl = true;
  if (has("onlydacl")) g_SdNoSacl = g_SdNoOwner = g_SdNoGroup = true;
  if (has("onlysacl")) g_SdNoDacl = g_SdNoOwner = g_SdNoGroup = true;
  if (has("onlysaclflag")) {
    g_SdNoDacl = g_SdNoOwner = g_SdNoGroup = true;
    g_SdAclFlagsOnly = true;
  }
  if (has("onlydaclflag")) {
    g_SdNoSacl = g_SdNoOwner = g_SdNoGroup = true;
    g_SdAclFlagsOnly = true;
  }
  if (has("onlyaclflags")) {
    g_SdNoOwner = g_SdNoGroup = true;
    g_SdAclFlagsOnly = true;
  }
  if (has("pr")) s.phantomRoot = true;
  if (has("nrss")) s.noServerReferrals = true;
  if (has("ssl")) s.ssl = true;
  if (has("soao") && !s.noLabel) {
    s.sortedAttributeOutput = true;
    s.orderedAttributeOutput = false;
  }
  if (has("oao") && !s.noLabel) {
    s.orderedAttributeOutput = true;
    s.sortedAttributeOutput = true;
    for (const std::string& attr : cmdLine.args) s.columns.push_back(attr);
    s.oaoEmptyText = cmdLine.GetValue("oao");
  }
  if (has("asq")) {
    s.attributeScopedQuery = true;
    s.asqAttribute = cmdLine.GetValue("asq");
    s.scope = "base";
  }
  if (has("metasort")) g_MetaSortKey = cmdLine.GetValue("metasort");
}

void ReadValueFilterSwitches(CCmdLine& cmdLine) {
  std::string delimiter = ";";
  if (cmdLine.HasSwitch("mvfilterdelim")) {
    delimiter = cmdLine.GetValueUnescaped("mvfilterdelim");
  }
  if (cmdLine.HasSwitch("mvfiltercs")) g_MvFilterCaseSensitive = true;
  if (cmdLine.HasSwitch("mvfilter")) {
    FillValueFilter(cmdLine.GetValue("mvfilter"), delimiter, &g_MvFilterMap,
                    cmdLine.HasSwitch("d"));
    g_MvFilterOn = !g_MvFilterMap.empty();
  }
  if (cmdLine.HasSwitch("mvnotfilter")) {
    FillValueFilter(cmdLine.GetValue("mvnotfilter"), delimiter,
                    &g_MvNotFilterMap, false);
    g_MvNotFilterOn = !g_MvNotFilterMap.empty();
  }
}

void ReadCredentials(CCmdLine& cmdLine, QuerySettings& s) {
  s.user = cmdLine.GetValue("u");
  s.anonymous = cmdLine.HasSwitch("u") && s.user.empty();
  s.password = cmdLine.GetValue("up");
  if (s.password == "*") {
    CheckNumberSwitches(cmdLine);
    // An abandoned prompt leaves an empty password; the bind is still tried.
    if (!PromptPassword(&s.password)) s.password.clear();
  }
}

void ReadConnectionSettings(CCmdLine& cmdLine, QuerySettings& s) {
  auto has = [&cmdLine](const char* name) { return cmdLine.HasSwitch(name); };

  if (has("excl")) {
    for (const std::string& name :
         SplitUserList(StrToLower(cmdLine.GetValue("excl")), ";", false)) {
      s.excludedAttributes.insert(name);
    }
  }
  CheckHostPort(s.host);
  s.port = SplitHostPort(&s.host);
  if (has("udp")) s.udp = true;
  if (has("dloid")) s.loadSchemaKinds = false;
  if (has("dn")) s.dnOnly = true;
  if (has("nodn") && !has("dsq")) {
    s.dnOnly = false;
    s.noDnLine = true;
  }
  if (has("t")) s.timeLimit = ReadNumberSwitch(cmdLine, kNumberSwitches[0]);
  if (has("nr")) s.chaseReferrals = false;
  if (has("ps")) s.pageSize = ReadNumberSwitch(cmdLine, kNumberSwitches[1]);
  if (has("maxe")) {
    s.maxEntries = ReadNumberSwitch(cmdLine, kNumberSwitches[2]);
    s.entriesLeft = s.maxEntries;
  }
  if (has("p")) s.port = static_cast<int>(ReadNumberSwitch(cmdLine, kNumberSwitches[3]));
  if (has("tdca")) {
    cmdLine.SetValue("tdc", "");
    cmdLine.SetValue("tdcgt", "");
  }
  if (has("tdcas")) {
    cmdLine.SetValue("tdcs", "");
    cmdLine.SetValue("tdcgts", "");
  }
  if (has("tdc")) {
    LoadTimeAttributeMap();
    g_DecodeTimes = true;
  }
  if (has("tdcs")) {
    LoadTimeAttributeMap();
    g_DecodeTimes = true;
    g_TimesSortable = true;
  }
  if (has("tdcgt")) g_DecodeGenTimes = true;
  if (has("tdcgts")) {
    g_DecodeGenTimes = true;
    g_GenTimesSortable = true;
  }
  if (has("utc")) g_Utc = true;
  if (has("sddc") || has("sddl")) s.decodeSecurityDescriptors = true;
  if (has("sddc+") || has("sddl+")) {
    s.decodeSecurityDescriptors = true;
    g_SddlPlus = true;
  }
  if (has("sddc++") || has("sddl++")) {
    s.decodeSecurityDescriptors = true;
    g_SddlPlus = true;
    g_SddlPlusPlus = true;
  }
  if (has("sddlfilter")) {
    FillAceFilter(cmdLine.GetValue("sddlfilter"), &g_SddlFilterFields,
                  &g_SddlFilterCount, "DEBUG: SDDL Filter strings: ");
  }
  if (has("sddlnotfilter")) {
    FillAceFilter(cmdLine.GetValue("sddlnotfilter"), &g_SddlNotFilterFields,
                  &g_SddlNotFilterCount, "DEBUG: SDDL NOT Filter strings: ");
  }
  if (has("rawsddl") && s.decodeSecurityDescriptors) g_RawSddl = true;
  if (has("sdsize")) {
    g_SdShowSize = true;
    std::string unit = StrToLower(cmdLine.GetValue("sdsize"));
    if (unit == "kb") {
      g_SdSizeDivisor = 1024;
      g_SdSizeUnit = "KB";
    } else if (unit == "mb") {
      g_SdSizeDivisor = 1048576;
      g_SdSizeUnit = "MB";
    }
    if (has("sdsizenl")) g_SdSizeUnit = "";
  }
  if (has("showdel")) s.showDeleted = true;
  if (has("stats")) s.stats = true;
  if (has("stats+")) s.stats = s.statsAnalysis = true;
  if (has("statsonly")) s.stats = s.statsOnly = true;
  if (has("stats+only")) s.stats = s.statsAnalysis = s.statsOnly = true;
  if (s.scope.find("base") != std::string::npos &&
      (s.stats || s.statsAnalysis || s.statsOnly)) {
    std::cout << "WARN: STATS not available on BASE query.\n";
    s.stats = s.statsAnalysis = s.statsOnly = false;
  }
  if (has("extname")) s.extendedDn = true;
  if (has("exterr")) s.extendedErrors = true;
  if (has("gc")) {
    if (s.port != 0) std::cout << "Overriding Port parameter with GC Port";
    s.globalCatalog = true;
    s.port = 1;
  }
  if (has("sort")) {
    s.serverSort = true;
    s.sortKey = cmdLine.GetValue("sort");
  }
  if (has("rsort")) {
    s.serverSort = true;
    s.reverseSort = true;
    s.sortKey = cmdLine.GetValue("rsort");
  }
  ReadDnList(cmdLine, s, true);
  ReadDnList(cmdLine, s, false);
  if (has("replacedn")) s.replaceDn = cmdLine.GetValue("replacedn");
  if (has("replacedndelim")) {
    s.replaceDnDelim = cmdLine.GetValueUnescaped("replacedndelim");
  }
  std::cout.flush();
}
