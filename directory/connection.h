// Opening and binding directory connections, and the one line in which
// every LDAP failure is reported.
#pragma once

#include <string>

namespace plat {
struct LDAP;
struct LDAPSearch;
}

// Port settings of OpenLDAP and UDPOpenLDAP: 0 the default port, 1 the
// global-catalog port, above 1 that port number.
inline constexpr int kPortDefault = 0;
inline constexpr int kPortGlobalCatalog = 1;

// The TCP port OpenLDAP connects to for a host text (which may carry
// ":port"), a port setting and the SSL choice. Cuts the port off *host.
int ConnectionPort(std::string* host, int port, bool ssl);
// The UDP port UDPOpenLDAP uses for a port setting.
int UdpConnectionPort(int port);

// Opens a TCP connection (SSL when ssl), sets the asked-for options and
// binds: anonymously, simply with userDn and password, or negotiated (with
// userDn as "domain\name" or a plain name, or with the caller's own
// credentials when userDn is empty). Returns the bound connection, or null
// after reporting the failure; a connection that fails to bind is released.
plat::LDAP* OpenLDAP(const char* server, int port, bool referrals, bool version3, bool anonymous,
                     std::string userDn, std::string password, bool simple, bool kerberosEncrypt,
                     bool extendedErrors, bool ssl, bool delegation);

// The longest wait for any answer of the directory (connects, TLS
// handshakes, binds, the RootDSE, the preloads and their paged loads, SID
// lookups, referral binds): the run's time limit (-t) in seconds, or the
// default of 120 when it is 0. Applies to the connections opened afterwards.
void SetDirectoryWaitLimit(long seconds);
long DirectoryWaitLimit();

// Opens a connectionless (UDP) connection without options or bind; null
// after reporting the failure.
plat::LDAP* UDPOpenLDAP(const char* server, int port);

// Whether the failure (code) of a request on connection still wants its
// error line: a connection that stopped answering is reported by the first
// request that met it, and the requests after it, which fail at once with
// the same code, are not reported again.
bool FailureToReport(plat::LDAP* connection, unsigned long code);

// Standard error: "<label>: [<host>] Error 0x<hex> (<dec>) - <text>", then
// the server's extended error text when connection is given and has one.
void PrintLdapError(std::string label, std::string host, int code, plat::LDAP* connection);

// Each referral that a search left out (its server could not be reached,
// refused the bind or failed on the way) is said once on standard error:
// those of the paged search (may be null), then those of the plain searches
// on connection (may be null).
void WarnUnfollowedReferrals(plat::LDAP* connection, plat::LDAPSearch* search = nullptr);
