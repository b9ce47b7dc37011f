#include "platform/default_server_lookup.h"

#include <arpa/nameser.h>
#include <krb5.h>
#include <netdb.h>
#include <netinet/in.h>
#include <resolv.h>
#include <sys/socket.h>

#include <algorithm>
#include <cctype>
#include <cstring>

#include "platform/ldap_native.h"

namespace plat {

namespace {

constexpr unsigned long kLdapPort = 389;

std::string Lower(std::string text) {
  for (char& ch : text) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  return text;
}

// The TCP servers of the configured URI list, in its order. ldapi:// names a
// local socket, which TCP cannot reach. Only a plain LDAP URL's port is
// taken: the port of an ldaps:// URL is a TLS port, which the TLS rule
// replaces anyway. A URL without a host names libldap's default host,
// localhost.
std::vector<DefaultServer> TcpServers(const std::vector<nat::UrlServer>& urls) {
  std::vector<DefaultServer> servers;
  for (const nat::UrlServer& u : urls) {
    const std::string scheme = Lower(u.scheme);
    if (scheme != "ldap" && scheme != "ldaps") continue;
    const unsigned long port = u.port > 0 && u.port <= 65535 ? static_cast<unsigned long>(u.port) : 0;
    const bool own = scheme == "ldap" && port != kLdapPort;  // a port of plain LDAP but 389
    servers.push_back({u.host.empty() ? "localhost" : u.host, own ? port : 0});
  }
  return servers;
}

// The Kerberos default realm's domain: the realm in lower case; "" when no
// default realm is configured (KRB5_CONFIG, krb5.conf).
std::string RealmDomain() {
  krb5_context context = nullptr;
  if (krb5_init_context(&context) != 0) return "";
  char* realm = nullptr;
  std::string domain;
  if (krb5_get_default_realm(context, &realm) == 0 && realm != nullptr) {
    domain = realm;
    krb5_free_default_realm(context, realm);
  }
  krb5_free_context(context);
  return Lower(domain);
}

// Whether a name lookup found the name, found that it is unknown, or could
// not be answered (no DNS server answered in the resolver's time).
enum class Lookup { kFound, kUnknown, kUnanswered };

Lookup Resolve(const std::string& name) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  const int rc = getaddrinfo(name.c_str(), nullptr, &hints, &list);
  if (list != nullptr) freeaddrinfo(list);
  if (rc == 0) return Lookup::kFound;
  return rc == EAI_AGAIN ? Lookup::kUnanswered : Lookup::kUnknown;
}

// The targets of the SRV records of `name`: lowest priority first, within a
// priority the greatest weight first. A target "." says there is no such
// service.
std::vector<DefaultServer> SrvTargets(const std::string& name, Lookup* lookup) {
  std::vector<unsigned char> answer(NS_MAXMSG);
  const int length = res_query(name.c_str(), ns_c_in, ns_t_srv, answer.data(),
                               static_cast<int>(answer.size()));
  *lookup = length < 0 && h_errno == TRY_AGAIN ? Lookup::kUnanswered : Lookup::kUnknown;
  ns_msg msg;
  if (length <= 0 || ns_initparse(answer.data(), length, &msg) != 0) return {};
  struct Record {
    unsigned priority;
    unsigned weight;
    DefaultServer server;
  };
  std::vector<Record> records;
  for (int i = 0; i < ns_msg_count(msg, ns_s_an); ++i) {
    ns_rr rr;
    if (ns_parserr(&msg, ns_s_an, i, &rr) != 0 || ns_rr_type(rr) != ns_t_srv || ns_rr_rdlen(rr) < 7) {
      continue;
    }
    const unsigned char* data = ns_rr_rdata(rr);
    char target[NS_MAXDNAME];
    if (dn_expand(ns_msg_base(msg), ns_msg_end(msg), data + 6, target, sizeof target) < 0 ||
        target[0] == '\0' || std::strcmp(target, ".") == 0) {
      continue;
    }
    const unsigned long port = ns_get16(data + 4);
    records.push_back({ns_get16(data), ns_get16(data + 2), {target, port != kLdapPort ? port : 0}});
  }
  std::stable_sort(records.begin(), records.end(), [](const Record& a, const Record& b) {
    return a.priority != b.priority ? a.priority < b.priority : a.weight > b.weight;
  });
  std::vector<DefaultServer> servers;
  for (Record& r : records) servers.push_back(std::move(r.server));
  return servers;
}

}  // namespace

namespace detail {

DefaultServerChoice ChooseDefaultServer() {
  using From = DefaultServerChoice::From;
  DefaultServerChoice choice;
  std::vector<nat::UrlServer> urls;
  if (nat::ConfiguredServers(&urls)) {
    // No servers left (local sockets only): this machine, localhost.
    choice.from = From::kLdapConfiguration;
    choice.servers = TcpServers(urls);
    return choice;
  }
  // Without a realm nothing is looked up: straight to localhost.
  const std::string domain = RealmDomain();
  if (domain.empty()) return choice;
  Lookup lookup = Resolve(domain);
  if (lookup == Lookup::kFound) {
    choice.from = From::kRealmName;
    choice.servers.push_back({domain, 0});
    return choice;
  }
  // Where DNS does not answer, each further question would wait as long.
  for (const char* service : {"_ldap._tcp.dc._msdcs.", "_ldap._tcp."}) {
    if (lookup == Lookup::kUnanswered) break;
    choice.servers = SrvTargets(service + domain, &lookup);
    if (!choice.servers.empty()) {
      choice.from = From::kRealmSrv;
      return choice;
    }
  }
  return choice;
}

}  // namespace detail

const DefaultServerChoice& DefaultServerOfProcess() {
  static const DefaultServerChoice choice = detail::ChooseDefaultServer();
  return choice;
}

std::vector<DefaultServer> DefaultServersOn(unsigned long port, bool secure) {
  std::vector<DefaultServer> servers = DefaultServerOfProcess().servers;
  for (DefaultServer& s : servers) {
    if (s.port == 0 || secure || port != kLdapPort) s.port = port;
  }
  return servers;
}

}  // namespace plat
