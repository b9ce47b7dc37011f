#include "directory/connection.h"

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <vector>

#include "common/process_state.h"
#include "common/string_util.h"
#include "directory/server_text.h"
#include "platform/last_error.h"
#include "platform/ldap_client.h"

namespace {

constexpr int kLdapPort = 389;
constexpr int kLdapSslPort = 636;
constexpr int kGcPort = 3268;
constexpr int kGcSslPort = 3269;
constexpr long kDefaultWaitSeconds = 120;
constexpr long kLongestWaitSeconds = 86400;

long g_waitLimit = kDefaultWaitSeconds;

// The negotiated bind with a user name and password; the user is given as
// "domain\name" (further pieces dropped) or a plain name without domain.
ULONG NegotiatedBindAs(plat::LDAP* ld, const std::string& userDn, const std::string& password) {
  std::string domain;
  std::string user;
  if (userDn.find('\\') != std::string::npos) {
    std::vector<std::string> pieces;
    SplitString(userDn, "\\", &pieces, 65535);
    if (!pieces.empty()) domain = pieces[0];
    if (pieces.size() > 1) user = pieces[1];
  } else {
    user = userDn;
  }
  plat::SEC_WINNT_AUTH_IDENTITY_A identity{};
  identity.User = reinterpret_cast<unsigned char*>(user.data());
  identity.UserLength = static_cast<ULONG>(user.size());
  if (!domain.empty()) {
    identity.Domain = reinterpret_cast<unsigned char*>(domain.data());
    identity.DomainLength = static_cast<ULONG>(domain.size());
  }
  identity.Password = reinterpret_cast<unsigned char*>(const_cast<char*>(password.data()));
  identity.PasswordLength = static_cast<ULONG>(password.size());
  identity.Flags = plat::SEC_WINNT_AUTH_IDENTITY_ANSI;
  return plat::ldap_bind_s(ld, nullptr, &identity, plat::LDAP_AUTH_NEGOTIATE);
}

// The text the connection keeps as option (one of its problem texts); ""
// when it has none.
std::string ProblemText(plat::LDAP* ld, int option) {
  char* problem = nullptr;
  plat::ldap_get_option(ld, option, &problem);
  std::string text = problem != nullptr ? problem : "";
  plat::ldap_memfree(problem);
  return text;
}

// A negotiated bind that could not have Kerberos says why, in one line.
void ReportKerberosProblem(plat::LDAP* ld) {
  std::string text = ProblemText(ld, plat::LDAP_OPT_KERBEROS_PROBLEM);
  if (text.empty()) return;
  for (char& c : text) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  std::cout.flush();
  fprintf(stderr, "WARN: Kerberos could not be used: %s\n", text.c_str());
}

}  // namespace

void SetDirectoryWaitLimit(long seconds) {
  g_waitLimit = seconds > 0 ? std::min(seconds, kLongestWaitSeconds) : kDefaultWaitSeconds;
  ULONG limit = static_cast<ULONG>(g_waitLimit);
  plat::ldap_set_option(nullptr, plat::LDAP_OPT_WAIT_LIMIT, &limit);
}

long DirectoryWaitLimit() { return g_waitLimit; }

int ConnectionPort(std::string* host, int port, bool ssl) {
  int connectPort = SplitHostPort(host);
  if (connectPort == 0) connectPort = kLdapPort;
  if (port == kPortDefault && ssl) connectPort = kLdapSslPort;
  if (port == kPortGlobalCatalog) connectPort = ssl ? kGcSslPort : kGcPort;
  if (port > 1) connectPort = port;
  return connectPort;
}

int UdpConnectionPort(int port) {
  if (port == kPortGlobalCatalog) return kGcPort;
  if (port > 1) return port;
  return kLdapPort;
}

plat::LDAP* OpenLDAP(const char* server, int port, bool referrals, bool version3, bool anonymous,
                     std::string userDn, std::string password, bool simple, bool kerberosEncrypt,
                     bool extendedErrors, bool ssl, bool delegation) {
  std::string host = server != nullptr ? server : "";
  int connectPort = ConnectionPort(&host, port, ssl);
  if (!host.empty() && host[0] == '.') host = "localhost";
  if (anonymous) simple = true;

  if (g_Debug) {
    printf("DEBUG: In OpenLDAP... Params:\n");
    if (server != nullptr) printf("DEBUG:    Server:    %s\n", host.c_str());
    printf("DEBUG:    SSL: %d\n", ssl ? 1 : 0);
    printf("DEBUG:    Port:        %d\n", connectPort);
    printf("DEBUG:    Ref:       %d\n", referrals ? 1 : 0);
    printf("DEBUG:    V3:        %d\n", version3 ? 1 : 0);
    printf("DEBUG:    Anonymous: %d\n", anonymous ? 1 : 0);
    printf("DEBUG:    userdn: %s\n", userDn.c_str());
    printf("DEBUG:    password: %s\n", password.c_str());
    printf("DEBUG:    Simple: %d\n", simple ? 1 : 0);
    printf("DEBUG:    LDAP_OPT_ENCRYPT: %d\n", kerberosEncrypt ? 1 : 0);
    printf("DEBUG:    Delegation: %d\n", delegation ? 1 : 0);
    printf("DEBUG:    Extended Error Info: %d\n", extendedErrors ? 1 : 0);
  }

  plat::LDAP* ld = plat::ldap_sslinit(host.empty() ? nullptr : host.data(),
                                      static_cast<ULONG>(connectPort), ssl ? 1 : 0);
  if (ld == nullptr) {
    PrintLdapError("LDAP_SSLINIT", host, static_cast<int>(plat::GetLastError()), nullptr);
    return nullptr;
  }

  if (version3) {
    if (g_Debug) fprintf(stderr, "LDAP_OPTION: Version 3\n");
    ULONG v3 = plat::LDAP_VERSION3;
    ULONG rc = plat::ldap_set_option(ld, plat::LDAP_OPT_PROTOCOL_VERSION, &v3);
    if (rc != 0) PrintLdapError("LDAP_OPTION (Version3): ", host, static_cast<int>(rc), nullptr);
  }
  if (!referrals) {
    if (g_Debug) fprintf(stderr, "LDAP_OPTION: No referrals\n");
    ULONG rc = plat::ldap_set_option(ld, plat::LDAP_OPT_REFERRALS, plat::LDAP_OPT_OFF);
    if (rc != 0) PrintLdapError("LDAP_OPTION (NoReferrals): ", host, static_cast<int>(rc), nullptr);
  }
  if (kerberosEncrypt) {
    if (g_Debug) fprintf(stderr, "LDAP_OPTION: Kerberos Encryption\n");
    ULONG rc = plat::ldap_set_option(ld, plat::LDAP_OPT_ENCRYPT, plat::LDAP_OPT_ON);
    if (rc != 0) {
      PrintLdapError("LDAP_OPTION (Kerberos Encryption On): ", host, static_cast<int>(rc), nullptr);
    }
  }

  ULONG rc = 0;
  if (simple && anonymous) {
    rc = plat::ldap_simple_bind_s(ld, nullptr, nullptr);
  } else if (simple) {
    rc = plat::ldap_simple_bind_s(ld, userDn.data(), password.data());
  } else if (!userDn.empty()) {
    if (StrToLower(userDn).find("cn=") != std::string::npos) {
      printf("ERROR: DN format not currently supported for secure bind.\n\n");
      plat::ldap_unbind(ld);
      return nullptr;
    }
    rc = NegotiatedBindAs(ld, userDn, password);
    ReportKerberosProblem(ld);
  } else {
    rc = plat::ldap_bind_s(ld, nullptr, nullptr, plat::LDAP_AUTH_NEGOTIATE);
    ReportKerberosProblem(ld);
  }

  if (rc != 0) {
    // A TLS connection that could not be set up says why, in one line.
    std::string text = ProblemText(ld, plat::LDAP_OPT_TLS_PROBLEM);
    if (!text.empty()) {
      std::replace(text.begin(), text.end(), '\n', ' ');
      while (!text.empty() && text.back() == ' ') text.pop_back();
      std::cout.flush();
      fprintf(stderr, "ERROR: TLS: %s\n", text.c_str());
    }
    // So does a server that did not end the bind as it must.
    const std::string problem = ProblemText(ld, plat::LDAP_OPT_BIND_PROBLEM);
    if (!problem.empty()) {
      std::cout.flush();
      fprintf(stderr, "ERROR: %s\n", problem.c_str());
    }
    PrintLdapError("LDAP_BIND", host, static_cast<int>(rc), extendedErrors ? ld : nullptr);
    plat::ldap_unbind(ld);
    return nullptr;
  }
  if (g_Debug) fprintf(stderr, "LDAP_BIND: [%s] Successful\n", server != nullptr ? server : "");
  return ld;
}

plat::LDAP* UDPOpenLDAP(const char* server, int port) {
  int udpPort = UdpConnectionPort(port);
  if (g_Debug) {
    printf("DEBUG: In UDPOpenLDAP... Params:\n");
    if (server != nullptr) printf("DEBUG:    Server:    %s\n", server);
    printf("DEBUG:    Port:        %d\n", udpPort);
  }
  plat::LDAP* ld = plat::cldap_open(const_cast<char*>(server), static_cast<ULONG>(udpPort));
  if (ld == nullptr) {
    PrintLdapError("CLDAP_OPEN", server != nullptr ? server : "", static_cast<int>(plat::GetLastError()),
                   nullptr);
  }
  return ld;
}

bool FailureToReport(plat::LDAP* connection, unsigned long code) {
  ULONG state = 0;
  if (connection == nullptr || code != plat::LDAP_TIMEOUT ||
      plat::ldap_get_option(connection, plat::LDAP_OPT_NOT_ANSWERING, &state) != plat::LDAP_SUCCESS) {
    return true;
  }
  if (state == 2) return false;
  // A wait cut short by its caller is reported too; should the server turn
  // out not to answer without a byte since, that is the same failure.
  plat::ldap_set_option(connection, plat::LDAP_OPT_NOT_ANSWERING, plat::LDAP_OPT_ON);
  return true;
}

void PrintLdapError(std::string label, std::string host, int code, plat::LDAP* connection) {
  char* extended = nullptr;
  if (connection != nullptr) plat::ldap_get_option(connection, plat::LDAP_OPT_SERVER_ERROR, &extended);
  // The host may be the server's own name and the extended text is the
  // server's: both are printed with their control characters escaped.
  fprintf(stderr, "%s: [%s] Error 0x%0x (%d) - %s\n", label.c_str(), EscapeServerText(host).c_str(),
          static_cast<unsigned>(code), code, plat::ldap_err2string(static_cast<ULONG>(code)));
  if (extended != nullptr) {
    if (*extended != '\0') fprintf(stderr, "Extended Error: (%s)\n", EscapeServerText(extended).c_str());
    plat::ldap_memfree(extended);
  }
}

namespace {

void WarnUnfollowed(const char* url, ULONG code, ULONG leftOut, const char* reason) {
  std::string why = plat::ldap_err2string(code);
  if (reason != nullptr) {
    // The TLS library's text comes in lines; a diagnostic is the server's.
    std::string text = reason;
    std::replace(text.begin(), text.end(), '\n', ' ');
    while (!text.empty() && text.back() == ' ') text.pop_back();
    why += "; " + EscapeServerText(text);
  }
  std::cout.flush();
  std::cerr << "WARN: Referral not followed (" << why << "), "
            << (leftOut == plat::LDAP_REFERRAL_NONE_LEFT_OUT   ? "another of its URLs is followed instead"
                : leftOut == plat::LDAP_REFERRAL_REST_LEFT_OUT ? "the rest of its entries are left out"
                                                               : "its entries are left out")
            << ": "
            << EscapeServerText(url) << "\n";
}

}  // namespace

void WarnUnfollowedReferrals(plat::LDAP* connection, plat::LDAPSearch* search) {
  char* url = nullptr;
  char* reason = nullptr;
  ULONG code = 0;
  ULONG leftOut = 0;
  // The paged search's own first, then the connection's; a null one has none.
  auto next = [&] {
    const ULONG rc = plat::ldap_search_next_unfollowed_referral(search, &url, &code, &leftOut, &reason);
    return rc == plat::LDAP_SUCCESS ||
           plat::ldap_next_unfollowed_referral(connection, &url, &code, &leftOut, &reason) == plat::LDAP_SUCCESS;
  };
  while (next()) {
    WarnUnfollowed(url, code, leftOut, reason);
    plat::ldap_memfree(url);
    plat::ldap_memfree(reason);
  }
}
