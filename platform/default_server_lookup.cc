#include "platform/default_server_lookup.h"

#include <arpa/nameser.h>
#include <krb5.h>
#include <netdb.h>
#include <netinet/in.h>
#include <resolv.h>
#include <sys/socket.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>

#include "platform/ldap_native.h"

namespace plat {

namespace {

constexpr unsigned long kLdapPort = 389;

std::string Lower(std::string text) {
  for (char& ch : text) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  return text;
}

// "%41" and the like, as URLs write characters of a host name.
std::string Unescape(const std::string& text) {
  auto hex = [&](size_t at) { return std::isxdigit(static_cast<unsigned char>(text[at])) != 0; };
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && hex(i + 1) && hex(i + 2)) {
      out += static_cast<char>(std::strtoul(text.substr(i + 1, 2).c_str(), nullptr, 16));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

// The TCP servers of libldap's URI list ("ldap://host:port/... ldaps://..."),
// in its order. ldapi:// names a local socket, which TCP cannot reach. Only a
// plain LDAP URL's port is taken: the port of an ldaps:// URL is a TLS port,
// which the TLS rule replaces anyway. A URL without a host names libldap's
// default host, localhost.
std::vector<DefaultServer> ServersOfUris(const std::string& uris) {
  std::vector<DefaultServer> servers;
  size_t i = 0;
  while (i < uris.size()) {
    size_t end = uris.find(' ', i);
    if (end == std::string::npos) end = uris.size();
    const std::string url = uris.substr(i, end - i);
    i = end + 1;
    const size_t sep = url.find("://");
    if (sep == std::string::npos) continue;
    const std::string scheme = Lower(url.substr(0, sep));
    if (scheme != "ldap" && scheme != "ldaps") continue;
    const std::string hostPort = url.substr(sep + 3, url.find_first_of("/?", sep + 3) - (sep + 3));
    DefaultServer s;
    std::string portText;
    if (!hostPort.empty() && hostPort.front() == '[') {
      const size_t close = hostPort.find(']');
      if (close == std::string::npos) continue;
      s.host = hostPort.substr(1, close - 1);
      if (close + 1 < hostPort.size() && hostPort[close + 1] == ':') portText = hostPort.substr(close + 2);
    } else {
      const size_t colon = hostPort.rfind(':');
      s.host = Unescape(hostPort.substr(0, colon));
      if (colon != std::string::npos) portText = hostPort.substr(colon + 1);
    }
    if (s.host.empty()) s.host = "localhost";
    const unsigned long port = std::strtoul(portText.c_str(), nullptr, 10);
    if (scheme == "ldap" && port != kLdapPort && port <= 65535) s.port = port;
    servers.push_back(std::move(s));
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
  const std::string uris = nat::ConfiguredUris();
  if (!uris.empty()) {
    // No servers left (local sockets only): this machine, localhost.
    choice.from = From::kLdapConfiguration;
    choice.servers = ServersOfUris(uris);
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
