// Preloads before the search: a second TCP connection when the main one is
// connectionless or a global-catalog connection, the attribute kinds read
// from the schema, the GUID name maps and the generalized-time set.
#include <algorithm>
#include <cstdio>
#include <iostream>

#include "common/cmdline.h"
#include "common/process_state.h"
#include "common/string_util.h"
#include "common/zqtimer.h"
#include "directory/connection.h"
#include "directory/guid_maps.h"
#include "directory/server_text.h"
#include "driver/search_phases.h"
#include "platform/ldap_client.h"

namespace {

constexpr char kSchemaKindFilter[] =
    "(&(!(isdefunct=TRUE))(|(attributeSyntax=2.5.5.17)(attributeSyntax=2.5.5.10)"
    "(attributeSyntax=2.5.5.15)(attributeSyntax=2.5.5.1)(attributeSyntax=2.5.5.7)"
    "(attributeSyntax=2.5.5.14)))";

std::string FirstValue(plat::LDAP* ld, plat::LDAPMessage* entry, const char* attr) {
  char** vals = plat::ldap_get_values(ld, entry, attr);
  std::string value = (vals != nullptr && vals[0] != nullptr) ? vals[0] : "";
  plat::ldap_value_free(vals);
  return value;
}

// Sorts one schema attribute into the kind tables.
void ClassifySchemaAttribute(const std::string& name, const std::string& syntax,
                             const std::string& lowerDn, const std::string& lower,
                             const std::string& upper) {
  if (g_Debug) std::cout << "DEBUG: " << name << " - " << syntax << " - ";
  if (syntax == "2.5.5.15") {
    g_SecurityDescriptorAttributes[name] = 1;
    if (g_Debug) std::cout << "{Security Descriptor}\n";
  }
  if (syntax == "2.5.5.17") {
    g_SidAttributes[name] = 1;
    if (g_Debug) std::cout << "{SID}\n";
  }
  if (syntax == "2.5.5.10") {
    if (g_Debug) std::cout << "\n" << lowerDn << "[" << lower << ":" << upper << "] - ";
    if (lowerDn.find("-guid,") != std::string::npos || (lower == "16" && upper == "16")) {
      g_GuidAttributes[name] = 1;
      if (g_Debug) std::cout << "{GUID}\n";
    }
  }
  if (syntax == "2.5.5.1" || syntax == "2.5.5.7" || syntax == "2.5.5.14") {
    g_DnAttributes[name] = 1;
    if (g_Debug) std::cout << "{DN}\n";
  } else {
    g_BinaryAttributes[name] = 1;
    if (g_Debug) std::cout << "{Binary}\n";
  }
}

// The schema search; 0 or the failing LDAP code.
ULONG LoadSchemaKinds(plat::LDAP* ld, const CRootDSE& root, bool extendedErrors) {
  const char* attrs[] = {"ldapDisplayName", "attributeSyntax", "rangeUpper", "rangeLower",
                         nullptr};
  plat::LDAPMessage* result = nullptr;
  const ULONG rc = plat::ldap_search_s(ld, root.schemaNamingContext.c_str(),
                                       plat::LDAP_SCOPE_ONELEVEL, kSchemaKindFilter, attrs, 0,
                                       &result);
  WarnUnfollowedReferrals(ld);
  if (rc != plat::LDAP_SUCCESS) {
    std::cout.flush();
    char line[64];
    std::snprintf(line, sizeof line, "LDAP_SEARCH_S: 0x%0x\n", static_cast<unsigned>(rc));
    std::cerr << line << "LDAP_SEARCH_S: " << plat::ldap_err2string(rc) << "\n";
    std::cerr.flush();
    char* message = nullptr;
    const ULONG parsed =
        plat::ldap_parse_result(ld, result, nullptr, nullptr, &message, nullptr, nullptr, 0);
    if (extendedErrors && parsed == plat::LDAP_SUCCESS && message != nullptr && *message != 0) {
      std::cout << "Extended Error: " << EscapeServerText(message) << "\n";
    }
    plat::ldap_memfree(message);
    plat::ldap_msgfree(result);
    return rc;
  }
  if (g_Debug) std::cout << "DEBUG: OIDs Found: " << plat::ldap_count_entries(ld, result) << "\n";
  for (plat::LDAPMessage* e = plat::ldap_first_entry(ld, result); e != nullptr;
       e = plat::ldap_next_entry(ld, e)) {
    const std::string name = FirstValue(ld, e, "lDAPDisplayName");
    const std::string syntax = FirstValue(ld, e, "attributeSyntax");
    // A conforming schema always has both; an entry without them is skipped.
    if (name.empty() || syntax.empty()) continue;
    char* dn = plat::ldap_get_dn(ld, e);
    const std::string lowerDn = StrToLower(dn != nullptr ? dn : "");
    plat::ldap_memfree(dn);
    ClassifySchemaAttribute(name, syntax, lowerDn, FirstValue(ld, e, "rangeLower"),
                            FirstValue(ld, e, "rangeUpper"));
  }
  plat::ldap_msgfree(result);
  return plat::LDAP_SUCCESS;
}

void Warn(const char* text) { std::cout << "WARN:\nWARN: " << text << "\nWARN:\n"; }

}  // namespace

bool RunPreloads(QueryRun& run, int* exitCode) {
  QuerySettings& s = run.settings;
  SearchState& st = run.search;
  const CRootDSE& root = *st.rootDse;
  CZQTimer* timers = run.timers;

  // 1. A connectionless or global-catalog connection cannot serve the
  // preloads: they get a TCP connection of their own on the default port.
  plat::LDAP* preload = st.connection;
  bool secondOpen = false;
  if (!st.isADAM && (s.udp || s.globalCatalog)) {
    secondOpen = true;
    timers->Start("LDAP_OPEN_2");
    const char* host = s.host.empty() ? nullptr : s.host.c_str();
    preload = OpenLDAP(host, s.globalCatalog ? kPortDefault : s.port, true, true, s.anonymous,
                       s.user, s.password, s.simpleBind, s.kerberosEncryption, s.extendedErrors,
                       s.ssl, false);
    if (preload == nullptr) {
      std::cout.flush();
      std::cerr << "Terminating program.\n";
      if ((st.isADV51 || st.isADV61) && s.simpleBind && s.user.empty()) {
        std::cerr << "\nNOTE: This operation may require authentication.\n\n";
      }
      std::cerr.flush();
      *exitCode = -1;
      return false;
    }
    timers->Stop("LDAP_OPEN_2");
  }

  // 2. Attribute kinds from the schema.
  if (s.loadSchemaKinds && !s.statsOnly && st.isLdapInteg) {
    if (g_Debug) std::cout << "DEBUG: Loading OIDs from schema...\n";
    timers->Start("PARTIAL_SCHEMA");
    const ULONG rc = LoadSchemaKinds(preload, root, s.extendedErrors);
    if (rc != plat::LDAP_SUCCESS) {
      if (secondOpen) plat::ldap_unbind(preload);
      plat::ldap_unbind(st.connection);
      st.connection = nullptr;
      g_LdapSession = nullptr;
      *exitCode = static_cast<int>(rc);
      return false;
    }
    timers->Stop("PARTIAL_SCHEMA");
    if (g_Debug) std::cout << "DEBUG: Finished Loading OIDs from schema.\n";
  }

  // 3. Names never treated as binary.
  for (const std::string& name : g_BinaryAttributeExceptions) g_BinaryAttributes.erase(name);

  // 4. Site names by GUID.
  if (run.cmdLine.HasSwitch("sitenamedc")) {
    timers->Start("LOAD_SITENAME_DECODE_GUIDS");
    if (g_Debug) std::cout << "DEBUG: Loading site GUIDs...\n";
    if (!LoadGuidMap("SITE_GUIDS", preload, root.configurationNamingContext, timers,
                     &g_SiteGuidMap)) {
      Warn("Failed to load SITE GUIDS, Site names may not decode properly");
    }
    if (g_Debug) std::cout << "DEBUG: Finished Loading Site GUIDs.\n";
    timers->Stop("LOAD_SITENAME_DECODE_GUIDS");
  }

  // 5. Schema-ID and extended-right names for security descriptors.
  if (g_SddlPlus) {
    timers->Start("LOAD_SD_DECODE_GUIDS");
    if (g_Debug) std::cout << "DEBUG: Loading Schema GUIDs for sddc+...\n";
    if (!LoadGuidMap("SCHEMAID_GUIDS", preload, root.configurationNamingContext, timers,
                     &g_SchemaRightsGuidMap)) {
      Warn("Failed to load Schema ID GUIDS, SD may not decode properly");
    }
    if (g_Debug) {
      std::cout << "DEBUG: Finished Loading Schema GUIDs.\n"
                << "DEBUG: Loading Rights GUIDs for sddc+...\n";
    }
    if (!LoadGuidMap("RIGHTS_GUIDS", preload, root.configurationNamingContext, timers,
                     &g_SchemaRightsGuidMap)) {
      Warn("Failed to load Rights GUIDS, SD may not decode properly");
    }
    if (g_Debug) std::cout << "DEBUG: Finished Rights GUIDs.\n";
    timers->Stop("LOAD_SD_DECODE_GUIDS");
  }

  // 6. Generalized-time attributes.
  if (g_DecodeGenTimes || g_GenTimesSortable) {
    timers->Start("LOAD_GEN_TIME_MAP");
    if (!LoadGenTimeAttribs(preload, root.schemaNamingContext, timers, &g_GenTimeAttributes)) {
      Warn("Failed to load Generalized Time attribute Map.");
    }
    timers->Stop("LOAD_GEN_TIME_MAP");
  }

  // 7. The second connection is not needed by the search.
  if (secondOpen) {
    timers->Start("LDAP_UNBIND_2");
    plat::ldap_unbind(preload);
    timers->Stop("LDAP_UNBIND_2");
  }
  return true;
}
