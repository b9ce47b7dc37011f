#include "driver/dn_replace_list.h"

#include <algorithm>
#include <iostream>

#include "common/cmdline.h"
#include "common/process_state.h"
#include "common/string_util.h"
#include "driver/search_phases.h"

namespace {

struct Token {
  const char* name;
  std::string text;    // what the token stands for
  const char* marker;  // the replacement of the whole-item form
};

std::vector<Token> Tokens(const NamingContextTexts& nc) {
  return {
      {"_config", nc.configuration, "<CONFIG>"},
      {"_schema", nc.schema, "<SCHEMA>"},
      {"_default", nc.defaultContext, "<DEFAULTNC>"},
      {"_root", nc.rootDomain, "<ROOTNC>"},
      {"_sites", "CN=Sites," + nc.configuration, "<SITES>"},
      {"_subnets", "CN=Subnets,CN=Sites," + nc.configuration, "<SUBNETS>"},
      {"_exch", "CN=Microsoft Exchange,CN=Services," + nc.configuration, "<EXCH>"},
  };
}

}  // namespace

bool BuildDnReplacementList(const std::string& value, const std::string& delimiter,
                            const NamingContextTexts& contexts, bool debug,
                            std::vector<std::string>* from,
                            std::map<std::string, std::string>* map) {
  from->clear();
  map->clear();
  if (debug) std::cout << "DEBUG: DN Replacements\n";

  std::vector<std::string> items;
  if (delimiter.empty()) {
    if (!value.empty()) items.push_back(value);
  } else {
    SplitString(value, delimiter, &items, 65535);
  }
  const bool on = !items.empty();
  const std::vector<Token> tokens = Tokens(contexts);

  std::vector<std::string> keyed;
  keyed.reserve(items.size());
  for (std::string item : items) {
    // An empty item names nothing to replace; it is left out.
    if (item.empty()) continue;
    const std::string lowered = StrToLower(item);
    for (const Token& t : tokens) {
      if (lowered == t.name) item = t.text + ":" + t.marker;
    }
    for (const Token& t : tokens) {
      if (lowered.find(t.name) != std::string::npos) item = ReplaceFirst(item, t.name, t.text, true);
    }
    const size_t colon = item.find(':');
    const size_t fromLength = colon == std::string::npos ? item.size() : colon;
    std::string prefixed = FormatHexNumber(static_cast<DWORD>(fromLength), "010") + ":" + item;
    if (debug) std::cout << "DEBUG: Replace DN: " << prefixed << "\n";
    keyed.push_back(std::move(prefixed));
  }

  // Descending order: the fixed-width length key puts longer from-texts first.
  std::sort(keyed.begin(), keyed.end());
  std::reverse(keyed.begin(), keyed.end());

  for (std::string& item : keyed) {
    item += ":::";
    if (debug) std::cout << "DEBUG: Replace DN (2a): " << item << "\n";
    std::vector<std::string> fields;
    SplitString(item, ":", &fields, 65535);
    const std::string fromText = fields.size() > 1 ? fields[1] : "";
    const std::string toText = fields.size() > 2 ? fields[2] : "";
    (*map)[fromText] = toText;
    if (debug) std::cout << "DEBUG: Replace DN (2b): " << fromText << "\n";
    from->push_back(fromText);
  }
  if (debug) {
    for (const std::string& f : *from) {
      std::cout << "DEBUG: Replace DN: " << f << " -- " << (*map)[f] << "\n";
    }
  }
  return on;
}

bool BuildDnReplacements(QueryRun& run, int* /*exitCode*/) {
  QuerySettings& s = run.settings;
  if (!run.cmdLine.HasSwitch("replacedn") && s.replaceDn.empty()) return true;
  const CRootDSE& root = *run.search.rootDse;
  NamingContextTexts contexts{root.configurationNamingContext, root.schemaNamingContext,
                              root.defaultNamingContext, root.rootDomainNamingContext};
  run.search.replaceDnOn = BuildDnReplacementList(s.replaceDn, s.replaceDnDelim, contexts, g_Debug,
                                                  &s.replaceDnFrom, &s.replaceDnMap);
  return true;
}
