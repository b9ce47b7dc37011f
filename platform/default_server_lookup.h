// The server a connection goes to when no host is named, found the way a
// Linux domain member finds it:
//   1. the URI that OpenLDAP's configuration names (LDAPURI, URI in
//      ldap.conf or ldaprc), its ldap:// and ldaps:// hosts in its order;
//   2. else a DC of the Kerberos default realm's domain (the realm in lower
//      case): the domain's name itself when it resolves, as AD's DNS makes
//      it resolve to the DCs; else the hosts of its SRV records
//      (_ldap._tcp.dc._msdcs.<domain>, then _ldap._tcp.<domain>), by
//      priority, then the greater weight first;
//   3. else localhost, which libldap goes to when given no host.
#pragma once

#include <string>
#include <vector>

namespace plat {

// One server to try: a host name or address (IPv6 without brackets) and the
// LDAP port its source names (0: none).
struct DefaultServer {
  std::string host;
  unsigned long port = 0;
};

struct DefaultServerChoice {
  enum class From { kLocalhost, kLdapConfiguration, kRealmName, kRealmSrv };
  From from = From::kLocalhost;
  std::vector<DefaultServer> servers;  // in the order to try; empty: localhost
};

// The choice made on the first call, kept for the rest of the process (a run
// that opens a second connection goes to the same place).
const DefaultServerChoice& DefaultServerOfProcess();

// The servers to connect to on `port` (over TLS when `secure`), each with the
// port to use. A port the source names replaces the plain LDAP port (389
// without TLS) only: the TLS and global-catalog ports and a port the caller
// chose win over it, as they win over the port of "host:port". Empty: localhost.
std::vector<DefaultServer> DefaultServersOn(unsigned long port, bool secure);

namespace detail {
// Makes the choice anew. libldap reads its configuration only once per
// process, so a change of LDAPURI or ldap.conf after the first use goes unseen.
DefaultServerChoice ChooseDefaultServer();
}  // namespace detail

}  // namespace plat
