#include "directory/sid_account_lookup.h"

#include <iostream>
#include <map>

#include "common/console_services.h"
#include "common/process_state.h"
#include "common/string_util.h"
#include "directory/connection.h"
#include "platform/ldap_client.h"
#include "platform/sid.h"

namespace {

constexpr char kBuiltinSidPrefix[] = "S-1-5-32-";

ULONG g_lookupFailure = 0;

// First value of an attribute of the first entry of a base search, or "".
std::string ReadFirstValue(plat::LDAP* ld, const std::string& base, ULONG scope, const char* filter,
                           const char* attribute, std::string* entryDn = nullptr) {
  const char* attrs[] = {attribute, nullptr};
  plat::LDAPMessage* result = nullptr;
  std::string text;
  if (g_lookupFailure != 0) return text;
  ULONG rc = plat::ldap_search_s(ld, base.c_str(), scope, filter, attrs, 0, &result);
  if (rc == plat::LDAP_TIMEOUT || rc == plat::LDAP_SERVER_DOWN) {
    g_lookupFailure = rc;
    std::cout.flush();
    PrintLdapError("LDAP_SEARCH_S", g_SidLookupServer, static_cast<int>(rc), nullptr);
  }
  if (rc == 0) {
    plat::LDAPMessage* entry = plat::ldap_first_entry(ld, result);
    if (entry != nullptr) {
      char** values = plat::ldap_get_values(ld, entry, attribute);
      if (values != nullptr) {
        if (values[0] != nullptr) text = values[0];
        plat::ldap_value_free(values);
      }
      if (entryDn != nullptr) {
        char* dn = plat::ldap_get_dn(ld, entry);
        if (dn != nullptr) {
          *entryDn = dn;
          plat::ldap_memfree(dn);
        }
      }
    }
  }
  if (result != nullptr) plat::ldap_msgfree(result);
  return text;
}

// The DN of the domain an object lives in: its DN from the first "DC=" RDN on.
std::string DomainDnOf(const std::string& dn) {
  std::string lower = StrToLower(dn);
  for (size_t at = 0; at < lower.size();) {
    if (lower.compare(at, 3, "dc=") == 0) return dn.substr(at);
    // Next RDN: after the next comma that is not escaped.
    size_t i = at;
    for (; i < lower.size(); ++i) {
      if (lower[i] == '\\') {
        ++i;
      } else if (lower[i] == ',') {
        break;
      }
    }
    if (i >= lower.size()) break;
    at = i + 1;
    while (at < lower.size() && lower[at] == ' ') ++at;
  }
  return std::string();
}

// Escapes the characters that have a meaning inside a filter value.
std::string FilterValue(const std::string& text) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(text.size());
  for (unsigned char c : text) {
    if (c == '*' || c == '(' || c == ')' || c == '\\' || c == 0) {
      out += '\\';
      out += kHex[c >> 4];
      out += kHex[c & 0x0F];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

// NetBIOS name of a domain from its cross-reference in the configuration
// partition; remembered for the run.
std::string NetbiosNameOf(plat::LDAP* ld, const std::string& domainDn) {
  static std::map<std::string, std::string> known;
  auto found = known.find(domainDn);
  if (found != known.end()) return found->second;
  std::string config = ReadFirstValue(ld, "", plat::LDAP_SCOPE_BASE, "(objectClass=*)",
                                      "configurationNamingContext");
  std::string netbios;
  if (!config.empty()) {
    std::string filter = "(&(objectClass=crossRef)(nCName=" + FilterValue(domainDn) + "))";
    netbios = ReadFirstValue(ld, "CN=Partitions," + config, plat::LDAP_SCOPE_ONELEVEL, filter.c_str(),
                             "nETBIOSName");
  }
  known[domainDn] = netbios;
  return netbios;
}

// Connections of our own by server name, released when the process ends.
struct OwnConnections {
  ~OwnConnections() {
    for (auto& [server, ld] : open) {
      if (ld != nullptr) plat::ldap_unbind(ld);
    }
  }
  std::map<std::string, plat::LDAP*> open;
};

// A connection of our own to a named server, opened once per server; null
// when it cannot be opened or bound (remembered too, so it is tried once).
plat::LDAP* ConnectionTo(const std::string& server) {
  static OwnConnections connections;
  std::map<std::string, plat::LDAP*>& open = connections.open;
  auto found = open.find(server);
  if (found != open.end()) return found->second;
  plat::LDAP* ld = plat::ldap_sslinit(server.c_str(), plat::LDAP_PORT, 0);
  if (ld != nullptr) {
    ULONG v3 = plat::LDAP_VERSION3;
    plat::ldap_set_option(ld, plat::LDAP_OPT_PROTOCOL_VERSION, &v3);
    plat::ldap_set_option(ld, plat::LDAP_OPT_REFERRALS, plat::LDAP_OPT_OFF);
    if (plat::ldap_bind_s(ld, nullptr, nullptr, plat::LDAP_AUTH_NEGOTIATE) != 0) {
      plat::ldap_unbind(ld);
      ld = nullptr;
    }
  }
  open[server] = ld;
  return ld;
}

int DirectoryLookup(const std::string& server, const void* sid, std::string* domain, std::string* name) {
  plat::LDAP* ld = g_LdapSession;
  if (ld == nullptr && !server.empty()) ld = ConnectionTo(server);
  if (ld == nullptr) return 0;
  return LookupSidInDirectory(ld, sid, domain, name);
}

}  // namespace

int LookupSidInDirectory(plat::LDAP* connection, const void* sid, std::string* domain, std::string* name) {
  if (connection == nullptr || sid == nullptr || !plat::IsValidSid(sid)) return 0;
  std::string sidText;
  if (!plat::ConvertSidToStringSidA(sid, &sidText)) return 0;
  std::string dn;
  std::string account = ReadFirstValue(connection, "<SID=" + sidText + ">", plat::LDAP_SCOPE_BASE,
                                       "(objectClass=*)", "sAMAccountName", &dn);
  if (account.empty()) return 0;
  if (sidText.rfind(kBuiltinSidPrefix, 0) == 0) {
    // The built-in groups live in the domain's tree (CN=Builtin) but belong
    // to the built-in domain, not to the one they are stored in.
    *domain = "BUILTIN";
  } else {
    std::string domainDn = DomainDnOf(dn);
    *domain = domainDn.empty() ? std::string() : NetbiosNameOf(connection, domainDn);
  }
  *name = account;
  return 1;
}

unsigned long DirectoryLookupFailure() { return g_lookupFailure; }

void InstallDirectorySidLookup() { SetSidAccountLookup(&DirectoryLookup); }
