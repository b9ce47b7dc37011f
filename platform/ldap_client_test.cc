// The client without a directory server: result codes and texts, options,
// null safety, and the connectionless client against a scripted UDP peer.
#include "platform/ldap_client.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "directory/ldap_client_warm_up.h"
#include "directory/scripted_ldap_server.h"
#include "platform/cldap.h"
#include "platform/last_error.h"
#include "platform/ldap_ber.h"
#include "platform/ldap_internal.h"
#include "platform/ldap_native.h"

using namespace plat;

// libldap loses the record of a request whose answer it cannot read (no
// call releases it); its stacks are unwound the slow way to find it.
extern "C" const char* __lsan_default_suppressions() { return "leak:ldap_send_server_request\n"; }
extern "C" const char* __asan_default_options() { return "fast_unwind_on_malloc=0"; }

TEST(LdapCodes, ClientCodesOfLibldapBecomeTheWindowsOnes) {
  EXPECT_EQ(nat::ToWindowsCode(0), LDAP_SUCCESS);
  EXPECT_EQ(nat::ToWindowsCode(4), LDAP_SIZELIMIT_EXCEEDED);
  EXPECT_EQ(nat::ToWindowsCode(49), LDAP_INVALID_CREDENTIALS);
  EXPECT_EQ(nat::ToWindowsCode(-1), LDAP_SERVER_DOWN);          // can't contact
  EXPECT_EQ(nat::ToWindowsCode(-2), LDAP_LOCAL_ERROR);
  EXPECT_EQ(nat::ToWindowsCode(-5), LDAP_TIMEOUT);
  EXPECT_EQ(nat::ToWindowsCode(-7), LDAP_FILTER_ERROR);
  EXPECT_EQ(nat::ToWindowsCode(-9), LDAP_PARAM_ERROR);
  EXPECT_EQ(nat::ToWindowsCode(-11), LDAP_CONNECT_ERROR);
  EXPECT_EQ(nat::ToWindowsCode(-14), LDAP_NO_RESULTS_RETURNED);
  EXPECT_EQ(nat::ToWindowsCode(-17), LDAP_REFERRAL_LIMIT_EXCEEDED);
  EXPECT_EQ(nat::ToWindowsCode(-18), LDAP_CONNECT_ERROR);
  EXPECT_EQ(nat::ToWindowsCode(-1000), LDAP_LOCAL_ERROR);
}

TEST(LdapCodes, Texts) {
  EXPECT_STREQ(ldap_err2string(LDAP_SUCCESS), "Success");
  EXPECT_STREQ(ldap_err2string(LDAP_SIZELIMIT_EXCEEDED), "Sizelimit Exceeded");
  EXPECT_STREQ(ldap_err2string(LDAP_NO_SUCH_OBJECT), "No Such Object");
  EXPECT_STREQ(ldap_err2string(LDAP_SERVER_DOWN), "Server Down");
  EXPECT_STREQ(ldap_err2string(LDAP_TIMEOUT), "Timeout");
  EXPECT_STREQ(ldap_err2string(LDAP_FILTER_ERROR), "Filter Error");
  EXPECT_STREQ(ldap_err2string(LDAP_NO_RESULTS_RETURNED), "No result present in message");
  EXPECT_STREQ(ldap_err2string(0x1234), "Unknown error");
}

TEST(LdapNullSafety, EveryCallAcceptsNull) {
  EXPECT_EQ(ldap_msgfree(nullptr), LDAP_SUCCESS);
  EXPECT_EQ(ldap_count_entries(nullptr, nullptr), 0u);
  EXPECT_EQ(ldap_first_entry(nullptr, nullptr), nullptr);
  EXPECT_EQ(ldap_next_entry(nullptr, nullptr), nullptr);
  EXPECT_EQ(ldap_get_dn(nullptr, nullptr), nullptr);
  BerElement* ber = reinterpret_cast<BerElement*>(1);
  EXPECT_EQ(ldap_first_attribute(nullptr, nullptr, &ber), nullptr);
  EXPECT_EQ(ber, nullptr);
  EXPECT_EQ(ldap_next_attribute(nullptr, nullptr, nullptr), nullptr);
  EXPECT_EQ(ldap_get_values(nullptr, nullptr, "cn"), nullptr);
  EXPECT_EQ(ldap_get_values_len(nullptr, nullptr, "cn"), nullptr);
  EXPECT_EQ(ldap_count_values(nullptr), 0u);
  EXPECT_EQ(ldap_count_values_len(nullptr), 0u);
  EXPECT_EQ(ldap_value_free(nullptr), LDAP_SUCCESS);
  EXPECT_EQ(ldap_value_free_len(nullptr), LDAP_SUCCESS);
  ldap_memfree(nullptr);
  EXPECT_EQ(ldap_controls_free(nullptr), LDAP_SUCCESS);
  EXPECT_EQ(ldap_unbind(nullptr), LDAP_PARAM_ERROR);
  ULONG v = 3;
  EXPECT_EQ(ldap_set_option(nullptr, LDAP_OPT_PROTOCOL_VERSION, &v), LDAP_PARAM_ERROR);
  // No message: "no results", and every output cleared.
  char* matched = reinterpret_cast<char*>(1);
  char* error = reinterpret_cast<char*>(1);
  char** refs = reinterpret_cast<char**>(1);
  LDAPControl** ctrls = reinterpret_cast<LDAPControl**>(1);
  ULONG code = 77;
  EXPECT_EQ(ldap_parse_result(nullptr, nullptr, &code, &matched, &error, &refs, &ctrls, 1),
            LDAP_NO_RESULTS_RETURNED);
  EXPECT_EQ(code, 0u);
  EXPECT_EQ(matched, nullptr);
  EXPECT_EQ(error, nullptr);
  EXPECT_EQ(refs, nullptr);
  EXPECT_EQ(ctrls, nullptr);
  LDAPMessage* page = reinterpret_cast<LDAPMessage*>(1);
  EXPECT_EQ(ldap_get_next_page_s(nullptr, nullptr, nullptr, 10, nullptr, &page), LDAP_PARAM_ERROR);
  EXPECT_EQ(page, nullptr);
  EXPECT_EQ(ldap_search_abandon_page(nullptr, nullptr), LDAP_PARAM_ERROR);
  SetLastError(0);
  EXPECT_EQ(ldap_search_init_page(nullptr, "", 0, "(cn=*)", nullptr, 0, nullptr, nullptr, 0, 0, nullptr),
            nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(LdapConnection, OpeningSendsNothingAndKeepsTheOptions) {
  // Nothing listens on port 1; opening still succeeds, the bind finds the server down.
  LDAP* ld = ldap_sslinit("127.0.0.1", 1, 0);
  ASSERT_NE(ld, nullptr);
  const char* host = nullptr;
  ASSERT_EQ(ldap_get_option(ld, LDAP_OPT_HOST_NAME, &host), LDAP_SUCCESS);
  EXPECT_STREQ(host, "127.0.0.1");
  ULONG v = 2;
  EXPECT_EQ(ldap_set_option(ld, LDAP_OPT_PROTOCOL_VERSION, &v), LDAP_SUCCESS);
  ULONG got = 0;
  EXPECT_EQ(ldap_get_option(ld, LDAP_OPT_PROTOCOL_VERSION, &got), LDAP_SUCCESS);
  EXPECT_EQ(got, 2u);
  v = 7;
  EXPECT_EQ(ldap_set_option(ld, LDAP_OPT_PROTOCOL_VERSION, &v), LDAP_PARAM_ERROR);
  EXPECT_EQ(ldap_set_option(ld, LDAP_OPT_REFERRALS, LDAP_OPT_OFF), LDAP_SUCCESS);
  EXPECT_EQ(ldap_get_option(ld, LDAP_OPT_REFERRALS, &got), LDAP_SUCCESS);
  EXPECT_EQ(got, 0u);
  ULONG on = 1;
  EXPECT_EQ(ldap_set_option(ld, LDAP_OPT_REFERRALS, &on), LDAP_SUCCESS);
  EXPECT_EQ(ldap_get_option(ld, LDAP_OPT_REFERRALS, &got), LDAP_SUCCESS);
  EXPECT_EQ(got, 1u);
  EXPECT_EQ(ldap_set_option(ld, LDAP_OPT_ENCRYPT, LDAP_OPT_ON), LDAP_SUCCESS);
  EXPECT_EQ(ldap_get_option(ld, LDAP_OPT_ENCRYPT, &got), LDAP_SUCCESS);
  EXPECT_EQ(got, 1u);
  ULONG limit = 30;
  EXPECT_EQ(ldap_set_option(ld, LDAP_OPT_TIMELIMIT, &limit), LDAP_SUCCESS);
  EXPECT_EQ(ldap_get_option(ld, LDAP_OPT_TIMELIMIT, &got), LDAP_SUCCESS);
  EXPECT_EQ(got, 30u);
  EXPECT_EQ(ldap_set_option(ld, 0x7777, &limit), LDAP_PARAM_ERROR);
  v = 3;
  ldap_set_option(ld, LDAP_OPT_PROTOCOL_VERSION, &v);
  EXPECT_EQ(ldap_simple_bind_s(ld, nullptr, nullptr), LDAP_SERVER_DOWN);
  // A failed connection is released like any other.
  EXPECT_EQ(ldap_unbind(ld), LDAP_SUCCESS);
}

TEST(LdapConnection, NegotiatedIdentityWithoutUserNameIsRefusedBeforeAnythingIsSent) {
  // Only a null identity stands for the caller's tickets; a record with a
  // domain or a password but no user is refused at once (nothing listens on
  // port 1, so an attempt to bind would end as "server down" instead).
  std::string domain = "QUELBY";
  std::string password = "x";
  struct Case {
    bool domain;
    bool password;
  };
  for (Case c : {Case{true, true}, Case{true, false}, Case{false, true}, Case{false, false}}) {
    LDAP* ld = ldap_sslinit("127.0.0.1", 1, 0);
    ASSERT_NE(ld, nullptr);
    SEC_WINNT_AUTH_IDENTITY_A id{};
    id.User = reinterpret_cast<unsigned char*>(const_cast<char*>(""));
    if (c.domain) {
      id.Domain = reinterpret_cast<unsigned char*>(domain.data());
      id.DomainLength = static_cast<ULONG>(domain.size());
    }
    if (c.password) {
      id.Password = reinterpret_cast<unsigned char*>(password.data());
      id.PasswordLength = static_cast<ULONG>(password.size());
    }
    id.Flags = SEC_WINNT_AUTH_IDENTITY_ANSI;
    EXPECT_EQ(ldap_bind_s(ld, nullptr, &id, LDAP_AUTH_NEGOTIATE), LDAP_INVALID_CREDENTIALS)
        << c.domain << c.password;
    ULONG code = 0;
    EXPECT_EQ(ldap_get_option(ld, LDAP_OPT_ERROR_NUMBER, &code), LDAP_SUCCESS);
    EXPECT_EQ(code, LDAP_INVALID_CREDENTIALS);
    char* text = nullptr;
    ldap_get_option(ld, LDAP_OPT_SERVER_ERROR, &text);
    ASSERT_NE(text, nullptr);
    EXPECT_NE(std::string(text).find("no user name"), std::string::npos);
    ldap_memfree(text);
    // A null identity goes on to the server (here: none there).
    EXPECT_EQ(ldap_bind_s(ld, nullptr, nullptr, LDAP_AUTH_NEGOTIATE), LDAP_SERVER_DOWN);
    ldap_unbind(ld);
  }
}

TEST(LdapConnection, UnusableHostTextsAreRefused) {
  SetLastError(0);
  EXPECT_EQ(ldap_sslinit("bad/host", 389, 0), nullptr);
  EXPECT_EQ(GetLastError(), LDAP_PARAM_ERROR);
  EXPECT_EQ(ldap_sslinit("host:notaport", 389, 0), nullptr);
  EXPECT_EQ(ldap_sslinit("host", 70000, 0), nullptr);
  // A port in the host text, several hosts, and no host at all are fine.
  for (const char* ok : {"127.0.0.1:1", "127.0.0.1 127.0.0.2", "::1", static_cast<const char*>(nullptr)}) {
    LDAP* ld = ldap_sslinit(ok, 389, 1);
    EXPECT_NE(ld, nullptr) << (ok != nullptr ? ok : "(null)");
    ldap_unbind(ld);
  }
}

namespace {

// A UDP peer on 127.0.0.1 that answers one request with what make() builds
// from the request's message ID.
class UdpPeer {
 public:
  explicit UdpPeer(std::function<std::string(int)> make) : make_(std::move(make)) {
    fd_ = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  ~UdpPeer() {
    thread_.join();
    close(fd_);
  }
  ULONG port() const { return port_; }
  const std::string& request() const { return request_; }

 private:
  void Serve() {
    char buf[4096];
    sockaddr_in from{};
    socklen_t len = sizeof from;
    ssize_t n = recvfrom(fd_, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &len);
    if (n <= 0) return;
    request_.assign(buf, static_cast<size_t>(n));
    detail::BerReader r(buf, static_cast<size_t>(n));
    detail::BerReader msg(nullptr, 0);
    int64_t id = 0;
    if (!r.Sequence(&msg) || !msg.Integer(&id)) return;
    std::string reply = make_(static_cast<int>(id));
    sendto(fd_, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&from), len);
  }
  std::function<std::string(int)> make_;
  int fd_ = -1;
  ULONG port_ = 0;
  std::string request_;
  std::thread thread_;
};

std::string RootDseReply(int id) {
  detail::BerWriter w;
  w.Begin(0x30);
  w.Integer(id);
  w.Begin(0x64);
  w.OctetString("");
  w.Begin(0x30);
  w.Begin(0x30);
  w.OctetString("dnsHostName");
  w.Begin(0x31);
  w.OctetString("dc1.quelby.test");
  w.End();
  w.End();
  w.Begin(0x30);
  w.OctetString("objectGUID");
  w.Begin(0x31);
  w.OctetString(std::string("\x00\x01\x02\x00", 4));
  w.End();
  w.End();
  w.End();
  w.End();
  w.End();
  w.Begin(0x30);
  w.Integer(id);
  w.Begin(0x65);
  w.Integer(0, 0x0a);
  w.OctetString("");
  w.OctetString("all well");
  w.End();
  w.End();
  return w.Take();
}

}  // namespace

TEST(ConnectionlessClient, SearchAndWalkOverUdp) {
  UdpPeer peer(RootDseReply);
  LDAP* ld = cldap_open("127.0.0.1", peer.port());
  ASSERT_NE(ld, nullptr);
  const char* attrs[] = {"dnsHostName", "objectGUID", nullptr};
  LDAPMessage* res = nullptr;
  ASSERT_EQ(ldap_search_s(ld, nullptr, LDAP_SCOPE_BASE, "((objectClass=*))", attrs, 0, &res),
            LDAP_SUCCESS);
  // The request went out with the redundant parentheses gone.
  detail::CldapSearch want;
  want.messageId = 1;
  want.filter = "(objectClass=*)";
  want.attrs = {"dnsHostName", "objectGUID"};
  std::string bytes;
  ASSERT_TRUE(detail::EncodeCldapSearch(want, &bytes));
  EXPECT_EQ(peer.request(), bytes);

  ASSERT_EQ(ldap_count_entries(ld, res), 1u);
  LDAPMessage* e = ldap_first_entry(ld, res);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(ldap_next_entry(ld, e), nullptr);
  char* dn = ldap_get_dn(ld, e);
  ASSERT_NE(dn, nullptr);
  EXPECT_STREQ(dn, "");
  ldap_memfree(dn);
  BerElement* ber = nullptr;
  char* a = ldap_first_attribute(ld, e, &ber);
  ASSERT_NE(a, nullptr);
  EXPECT_STREQ(a, "dnsHostName");
  ldap_memfree(a);
  a = ldap_next_attribute(ld, e, ber);
  ASSERT_NE(a, nullptr);
  EXPECT_STREQ(a, "objectGUID");
  ldap_memfree(a);
  EXPECT_EQ(ldap_next_attribute(ld, e, ber), nullptr);
  ber_free(ber, 0);
  char** host = ldap_get_values(ld, e, "DNSHOSTNAME");
  ASSERT_EQ(ldap_count_values(host), 1u);
  EXPECT_STREQ(host[0], "dc1.quelby.test");
  ldap_value_free(host);
  berval** guid = ldap_get_values_len(ld, e, "objectGUID");
  ASSERT_EQ(ldap_count_values_len(guid), 1u);
  ASSERT_EQ(guid[0]->bv_len, 4u);  // the zero bytes are kept, the length is exact
  EXPECT_EQ(guid[0]->bv_val[1], '\x01');
  ldap_value_free_len(guid);
  // The head of the result stands for its first entry.
  char** again = ldap_get_values(ld, res, "dnsHostName");
  EXPECT_EQ(ldap_count_values(again), 1u);
  ldap_value_free(again);

  ULONG code = 99;
  char* error = nullptr;
  EXPECT_EQ(ldap_parse_result(ld, res, &code, nullptr, &error, nullptr, nullptr, 1), LDAP_SUCCESS);
  EXPECT_EQ(code, 0u);
  ASSERT_NE(error, nullptr);
  EXPECT_STREQ(error, "all well");
  ldap_memfree(error);
  char* server = nullptr;
  EXPECT_EQ(ldap_get_option(ld, LDAP_OPT_SERVER_ERROR, &server), LDAP_SUCCESS);
  ASSERT_NE(server, nullptr);
  EXPECT_STREQ(server, "all well");
  ldap_memfree(server);
  ldap_unbind(ld);
}

TEST(ConnectionlessClient, TruncatedReplyIsRefusedWithinTheWait) {
  UdpPeer peer([](int id) {
    std::string full = RootDseReply(id);
    return full.substr(0, full.size() - 5);
  });
  LDAP* ld = cldap_open("127.0.0.1", peer.port());
  ASSERT_NE(ld, nullptr);
  l_timeval wait{1, 0};
  LDAPMessage* res = reinterpret_cast<LDAPMessage*>(1);
  EXPECT_EQ(ldap_search_ext_s(ld, "", LDAP_SCOPE_BASE, "(objectClass=*)", nullptr, 0, nullptr,
                              nullptr, &wait, 0, &res),
            LDAP_DECODING_ERROR);
  EXPECT_EQ(res, nullptr);
  ldap_unbind(ld);
}

TEST(ConnectionlessClient, NoServerAndBadFilter) {
  // Reserve a port, then close it: nothing listens there.
  int fd = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t len = sizeof a;
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  close(fd);
  LDAP* ld = cldap_open("127.0.0.1", ntohs(a.sin_port));
  ASSERT_NE(ld, nullptr);
  l_timeval wait{1, 0};
  LDAPMessage* res = nullptr;
  ULONG rc = ldap_search_ext_s(ld, "", LDAP_SCOPE_BASE, "(objectClass=*)", nullptr, 0, nullptr,
                               nullptr, &wait, 0, &res);
  EXPECT_TRUE(rc == LDAP_SERVER_DOWN || rc == LDAP_TIMEOUT) << rc;
  EXPECT_EQ(ldap_search_s(ld, "", LDAP_SCOPE_BASE, "(objectClass=*", nullptr, 0, &res),
            LDAP_FILTER_ERROR);
  EXPECT_EQ(res, nullptr);
  ldap_unbind(ld);
  SetLastError(0);
  EXPECT_EQ(cldap_open("no-such-host.invalid", 389), nullptr);
  EXPECT_NE(GetLastError(), 0u);
}

TEST(SigpipeGuard, AWriteToAVanishedPeerDoesNotEndTheProcess) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  close(fds[0]);
  {
    nat::SigpipeGuard guard;
    errno = 0;
    EXPECT_EQ(write(fds[1], "x", 1), -1);
    EXPECT_EQ(errno, EPIPE);
  }
  // Nothing is left pending, and the signal is deliverable again afterwards.
  sigset_t pending;
  sigemptyset(&pending);
  sigpending(&pending);
  EXPECT_NE(sigismember(&pending, SIGPIPE), 1);
  sigset_t mask;
  pthread_sigmask(SIG_SETMASK, nullptr, &mask);
  EXPECT_NE(sigismember(&mask, SIGPIPE), 1);
  close(fds[1]);
}

// --- A hostile server: every wait ends, no loop goes on forever ------------

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// A connection to the server with a wait limit of one second.
LDAP* ConnectWithin1s(ScriptedLdapServer& server, int secure = 0) {
  LDAP* ld = ldap_sslinit("127.0.0.1", static_cast<ULONG>(server.port()), secure);
  ULONG one = 1;
  if (ld != nullptr) ldap_set_option(ld, LDAP_OPT_WAIT_LIMIT, &one);
  return ld;
}

ULONG Search(LDAP* ld) {
  LDAPMessage* res = nullptr;
  ULONG rc = ldap_search_s(ld, "", LDAP_SCOPE_BASE, nullptr, nullptr, 0, &res);
  ldap_msgfree(res);
  return rc;
}

ULONG NegotiateAs(LDAP* ld, std::string user) {
  std::string password = "pw";
  SEC_WINNT_AUTH_IDENTITY_A id{};
  id.User = reinterpret_cast<unsigned char*>(user.data());
  id.UserLength = static_cast<ULONG>(user.size());
  id.Password = reinterpret_cast<unsigned char*>(password.data());
  id.PasswordLength = static_cast<ULONG>(password.size());
  id.Flags = SEC_WINNT_AUTH_IDENTITY_ANSI;
  return ldap_bind_s(ld, nullptr, &id, LDAP_AUTH_NEGOTIATE);
}

// Pages until the search ends; the codes of the requests.
std::vector<ULONG> PageThrough(LDAP* ld, int most = 5000) {
  PLDAPSearch search = ldap_search_init_page(ld, "DC=t", LDAP_SCOPE_SUBTREE, nullptr, nullptr, 0,
                                             nullptr, nullptr, 0, 0, nullptr);
  std::vector<ULONG> codes;
  ULONG rc = LDAP_SUCCESS;
  while (rc == LDAP_SUCCESS && static_cast<int>(codes.size()) < most) {
    LDAPMessage* page = nullptr;
    l_timeval wait{1, 0};
    rc = ldap_get_next_page_s(ld, search, &wait, 10, nullptr, &page);
    ldap_msgfree(page);
    codes.push_back(rc);
  }
  ldap_search_abandon_page(ld, search);
  return codes;
}

std::string OneEntryPage(int64_t id, const std::string& cookie, const std::string& cn = "x") {
  return EntryMessage(id, "CN=" + cn + ",DC=t", {{"cn", {cn}}}) + DoneMessage(id, 0, cookie);
}

// Pages once, asks for the second page ahead and waits for it, with the
// connection's wait limit.
ULONG PageSentAhead(LDAP* ld) {
  PLDAPSearch search = ldap_search_init_page(ld, "DC=t", LDAP_SCOPE_SUBTREE, nullptr, nullptr, 0,
                                             nullptr, nullptr, 0, 0, nullptr);
  LDAPMessage* page = nullptr;
  l_timeval none{0, 0};
  ULONG rc = ldap_get_next_page_s(ld, search, &none, 10, nullptr, &page);
  ldap_msgfree(page);
  page = nullptr;
  if (rc == LDAP_SUCCESS) rc = ldap_search_send_next_page(ld, search, &none, 10);
  if (rc == LDAP_SUCCESS) rc = ldap_get_next_page_s(ld, search, &none, 10, nullptr, &page);
  ldap_msgfree(page);
  ldap_search_abandon_page(ld, search);
  return rc;
}

}  // namespace

TEST(LdapWaits, EveryWaitEndsWithTheWaitLimit) {
  struct Case {
    const char* what;
    std::function<void(ScriptedLdapServer&)> hostile;
    std::function<ULONG(LDAP*)> call;
    int secure;
    ULONG code;  // 0: any failure
  };
  const Case cases[] = {
      {"simple bind", [](ScriptedLdapServer& s) { s.StallAtBind(); },
       [](LDAP* ld) { return ldap_simple_bind_s(ld, "cn=u", "pw"); }, 0, LDAP_TIMEOUT},
      {"negotiated bind", [](ScriptedLdapServer& s) { s.StallAtBind(); },
       [](LDAP* ld) { return NegotiateAs(ld, "u"); }, 0, LDAP_TIMEOUT},
      {"RootDSE read of the negotiated bind", [](ScriptedLdapServer& s) { s.StallAtSearch(0); },
       [](LDAP* ld) { return NegotiateAs(ld, "u"); }, 0, LDAP_TIMEOUT},
      {"TLS handshake", [](ScriptedLdapServer& s) { s.StallAfterAccept(); },
       [](LDAP* ld) { return ldap_simple_bind_s(ld, "cn=u", "pw"); }, 1, 0},
      {"search", [](ScriptedLdapServer& s) { s.StallAtSearch(0); }, Search, 0, LDAP_TIMEOUT},
      // The answer's tag and length come, then nothing.
      {"simple bind cut after the header", [](ScriptedLdapServer& s) { s.StallAtBind(true); },
       [](LDAP* ld) { return ldap_simple_bind_s(ld, "cn=u", "pw"); }, 0, LDAP_TIMEOUT},
      {"RootDSE read cut after the header", [](ScriptedLdapServer& s) { s.StallAtSearch(0, true); },
       Search, 0, LDAP_TIMEOUT},
      {"page cut after the header", [](ScriptedLdapServer& s) { s.StallAtSearch(0, true); },
       [](LDAP* ld) { return PageThrough(ld).back(); }, 0, LDAP_TIMEOUT},
      {"page sent ahead",
       [](ScriptedLdapServer& s) {
         s.AnswerEveryLaterRequest(
             [](int64_t id, const ScriptedLdapServer::Search&) { return OneEntryPage(id, "p2"); });
         s.StallAtSearch(1);
       },
       PageSentAhead, 0, LDAP_TIMEOUT},
  };
  WarmUpLdapClient();
  for (const Case& c : cases) {
    ScriptedLdapServer server({});
    c.hostile(server);
    LDAP* ld = ConnectWithin1s(server, c.secure);
    ASSERT_NE(ld, nullptr);
    const Clock::time_point start = Clock::now();
    const ULONG rc = c.call(ld);
    EXPECT_LT(SecondsSince(start), 4.0) << c.what;
    if (c.code != 0) {
      EXPECT_EQ(rc, c.code) << c.what;
    } else {
      EXPECT_NE(rc, LDAP_SUCCESS) << c.what;
    }
    ldap_unbind(ld);
  }
}

TEST(LdapWaits, TheProcessDefaultAppliesToLaterConnectionsAndTheirReferrals) {
  ULONG one = 1;
  ASSERT_EQ(ldap_set_option(nullptr, LDAP_OPT_WAIT_LIMIT, &one), LDAP_SUCCESS);
  // The referral's server takes the bind and never answers it.
  ScriptedLdapServer stalled({});
  stalled.StallAtBind();
  const std::string url = "ldap://127.0.0.1:" + std::to_string(stalled.port()) + "/DC=t";
  ScriptedLdapServer server({[url](int64_t id) { return ReferralDoneMessage(id, {url}); }});
  LDAP* ld = ldap_sslinit("127.0.0.1", static_cast<ULONG>(server.port()), 0);
  ASSERT_NE(ld, nullptr);
  ULONG got = 0;
  EXPECT_EQ(ldap_get_option(ld, LDAP_OPT_WAIT_LIMIT, &got), LDAP_SUCCESS);
  EXPECT_EQ(got, 1u);
  ASSERT_EQ(ldap_simple_bind_s(ld, "cn=u", "pw"), LDAP_SUCCESS);
  const Clock::time_point start = Clock::now();
  EXPECT_EQ(PageThrough(ld), std::vector<ULONG>{LDAP_TIMEOUT});
  EXPECT_LT(SecondsSince(start), 4.0);
  EXPECT_EQ(stalled.binds().size(), 1u);  // it got there, and gave up waiting
  ldap_unbind(ld);
  ULONG fallback = 0;
  ldap_set_option(nullptr, LDAP_OPT_WAIT_LIMIT, &fallback);
}

TEST(LdapWaits, AServerThatKeepsSendingIsNotSilent) {
  // Wait limit 2 s. The first search gives up on its own bound (1 s) before
  // the server sends a byte (so no byte is being read as its wait ends); the
  // server's silence goes on from that request. Only then does the server
  // answer both searches, a byte every 20 ms paced from then (46 + 14 bytes:
  // 1.2 s): the answers end more than a whole limit after the first request,
  // yet well within the second search's own 2 s. It succeeds only because
  // the server's silence restarts at every byte, not only at a request.
  WarmUpLdapClient();  // before the server, whose wait for a client is bounded
  ScriptedLdapServer server({[](int64_t id) {
    return EntryMessage(id, "CN=x,DC=t", {{"cn", {"xx"}}}) + DoneMessage(id, 0, "", false);
  }});
  server.DribbleReplies(std::chrono::milliseconds(20));
  server.HoldReplies();
  LDAP* ld = ConnectWithin1s(server);
  ASSERT_NE(ld, nullptr);
  ULONG two = 2, notAnswering = 1;
  ldap_set_option(ld, LDAP_OPT_WAIT_LIMIT, &two);
  auto search = [ld](l_timeval wait) {
    LDAPMessage* res = nullptr;
    const ULONG rc = ldap_search_ext_s(ld, "", LDAP_SCOPE_BASE, nullptr, nullptr, 0, nullptr, nullptr,
                                       &wait, 0, &res);
    ldap_msgfree(res);
    return rc;
  };
  const Clock::time_point firstRequest = Clock::now();
  EXPECT_EQ(search(l_timeval{1, 0}), LDAP_TIMEOUT);
  server.ReleaseReplies();
  EXPECT_EQ(search(l_timeval{2, 0}), LDAP_SUCCESS);
  // Without the restart at each byte the server would have been silent.
  EXPECT_GT(SecondsSince(firstRequest), 2.0);
  EXPECT_EQ(ldap_get_option(ld, LDAP_OPT_NOT_ANSWERING, &notAnswering), LDAP_SUCCESS);
  EXPECT_EQ(notAnswering, 0u);
  ldap_unbind(ld);
}

TEST(LdapPaging, AServerThatNeverLetsThePagingEndIsStopped) {
  struct Case {
    const char* what;
    ScriptedLdapServer::RequestReply reply;
    size_t requests;  // the last of them is refused
  };
  const Case cases[] = {
      {"the same cookie every time",
       [](int64_t id, const ScriptedLdapServer::Search&) { return OneEntryPage(id, "same"); }, 2},
      {"cookies that come round again",
       [](int64_t id, const ScriptedLdapServer::Search& r) {
         return OneEntryPage(id, r.cookie == "a" ? "b" : "a");
       },
       3},
      {"empty pages that always ask for more",
       [](int64_t id, const ScriptedLdapServer::Search& r) {
         return DoneMessage(id, 0, r.cookie + "+");
       },
       21},
  };
  for (const Case& c : cases) {
    ScriptedLdapServer server({});
    server.AnswerEveryLaterRequest(c.reply);
    LDAP* ld = ConnectWithin1s(server);
    ASSERT_NE(ld, nullptr);
    std::vector<ULONG> codes = PageThrough(ld);
    std::vector<ULONG> expected(c.requests, LDAP_SUCCESS);
    expected.back() = LDAP_LOOP_DETECT;
    EXPECT_EQ(codes, expected) << c.what;
    ldap_unbind(ld);
  }
  // Pages that move on page on as long as the server has more: new cookies,
  // a few empty pages, or one cookie for the whole search (as Samba gives).
  ScriptedLdapServer server({[](int64_t id) { return OneEntryPage(id, "1"); },
                             [](int64_t id) { return DoneMessage(id, 0, "2"); },
                             [](int64_t id) { return OneEntryPage(id, "3"); },
                             [](int64_t id) { return OneEntryPage(id, "same", "a"); },
                             [](int64_t id) { return OneEntryPage(id, "same", "b"); },
                             [](int64_t id) { return OneEntryPage(id, "same", "c"); },
                             [](int64_t id) { return OneEntryPage(id, ""); }});
  LDAP* ld = ConnectWithin1s(server);
  EXPECT_EQ(PageThrough(ld), (std::vector<ULONG>{0, 0, 0, 0, 0, 0, 0, LDAP_NO_RESULTS_RETURNED}));
  ldap_unbind(ld);
}

TEST(LdapPaging, TheLoopGuardKeepsNoCookie) {
  // A new 64 KB cookie with each of 300 pages, then the end.
  ScriptedLdapServer server({});
  server.AnswerEveryLaterRequest([n = 0](int64_t id, const ScriptedLdapServer::Search&) mutable {
    ++n;
    const std::string cookie = n > 300 ? "" : std::to_string(n) + std::string(65536, 'c');
    return OneEntryPage(id, cookie, std::to_string(n));
  });
  LDAP* ld = ConnectWithin1s(server);
  PLDAPSearch search = ldap_search_init_page(ld, "DC=t", LDAP_SCOPE_SUBTREE, nullptr, nullptr, 0,
                                             nullptr, nullptr, 0, 0, nullptr);
  size_t pages = 0, most = 0;
  for (ULONG rc = LDAP_SUCCESS; rc == LDAP_SUCCESS; ++pages) {
    LDAPMessage* page = nullptr;
    l_timeval wait{5, 0};
    rc = ldap_get_next_page_s(ld, search, &wait, 10, nullptr, &page);
    ldap_msgfree(page);
    most = std::max(most, search->loopGuard.StoredBytes());
  }
  EXPECT_EQ(pages, 302u);
  EXPECT_LE(most, 300 * sizeof(uint64_t));
  ldap_search_abandon_page(ld, search);
  ldap_unbind(ld);
}

TEST(LdapPaging, ARequestSentAheadIsAbandonedWhenTheSearchEndsBeforeItsPage) {
  ScriptedLdapServer server({[](int64_t id) { return OneEntryPage(id, "p2"); },
                             [](int64_t id) { return OneEntryPage(id, ""); }});
  LDAP* ld = ConnectWithin1s(server);
  ASSERT_NE(ld, nullptr);
  PLDAPSearch search = ldap_search_init_page(ld, "DC=t", LDAP_SCOPE_SUBTREE, nullptr, nullptr, 0,
                                             nullptr, nullptr, 0, 0, nullptr);
  LDAPMessage* page = nullptr;
  l_timeval wait{1, 0};
  ASSERT_EQ(ldap_get_next_page_s(ld, search, &wait, 10, nullptr, &page), LDAP_SUCCESS);
  ldap_msgfree(page);
  ASSERT_EQ(ldap_search_send_next_page(ld, search, &wait, 7), LDAP_SUCCESS);
  ldap_search_abandon_page(ld, search);
  for (int i = 0; i < 500 && server.abandoned().empty(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  // The cookie went out with the request sent ahead: that request is
  // abandoned, and no other follows.
  const auto seen = server.searches();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[1].pageSize, 7);
  EXPECT_EQ(seen[1].cookie, "p2");
  EXPECT_EQ(server.abandoned(), std::vector<int64_t>{seen[1].messageId});
  ldap_unbind(ld);
}

TEST(LdapWaits, AnUnreadableAnswerFromAServerThatGoesAwayStillLetsTheConnectionClose) {
  // Answers to the first search (message 1), then the server closes its end.
  // libldap aborted the process on each: at the unbind, after an entry whose
  // body claims more than its message holds and a result whose body cannot
  // be read; at once, on a notice of disconnection with an empty name (now a
  // broken connection).
  const struct {
    std::string answer;
    std::vector<ULONG> codes;
  } cases[] = {
      {std::string("\x30\x08\x02\x01\x01\x64\x10\x04\x01\x61\x30\x0a\x02\x01\x01\x65", 16) + std::string(6, '\xe1'),
       {LDAP_DECODING_ERROR, LDAP_SERVER_DOWN}},
      {std::string("\x30\x0f\x02\x01\x00\x78\x0a\x0a\x01\x34\x04\x00\x04\x01\x78\x8a\x00", 17), {LDAP_SERVER_DOWN}},
  };
  for (const auto& c : cases) {
    int ends[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, ends), 0);
    ASSERT_EQ(write(ends[1], c.answer.data(), c.answer.size()), static_cast<ssize_t>(c.answer.size()));
    shutdown(ends[1], SHUT_WR);
    LDAP* ld = ldap_init_on_socket(ends[0], "dc1.t", LDAP_PORT);
    ASSERT_NE(ld, nullptr);
    for (ULONG expected : c.codes) EXPECT_EQ(Search(ld), expected);
    EXPECT_EQ(ldap_unbind(ld), LDAP_SUCCESS);
    close(ends[1]);
  }
}

TEST(LdapReferrals, AUrlThatNamesNoScopeIsFollowedWithTheScopeOfTheSearch) {
  // AD writes its references and referrals without a scope part, slapd with
  // one. The referred server is asked with the scope the URL names, else
  // with the search's own (under a one-level search a continuation is the
  // referred object itself), paged or not, on a connection bound as the
  // search's own; its entries come with the search's.
  const struct {
    const char* suffix;
    int named;  // -1: none
  } urls[] = {{"", -1}, {"?cn", -1}, {"??", -1}, {"??base", 0}, {"??one", 1}, {"??sub", 2}, {"?cn?one?(cn=r)", 1}};
  for (const bool continuation : {true, false}) {
    for (const bool paged : {true, false}) {
      for (ULONG scope = LDAP_SCOPE_BASE; scope <= LDAP_SCOPE_SUBTREE; ++scope) {
        for (const auto& u : urls) {
          ScriptedLdapServer referred({[](int64_t id) { return OneEntryPage(id, "", "r"); }});
          const std::string url = "ldap://127.0.0.1:" + std::to_string(referred.port()) + "/DC=r,DC=t" + u.suffix;
          ScriptedLdapServer server({[&](int64_t id) {
            return continuation ? OneEntryPage(id, "").insert(0, ReferenceMessage(id, {url})) : ReferralDoneMessage(id, {url});
          }});
          LDAP* ld = ConnectWithin1s(server);
          ASSERT_NE(ld, nullptr);
          ASSERT_EQ(ldap_simple_bind_s(ld, "CN=me,DC=t", "pw"), LDAP_SUCCESS);
          LDAPMessage* res = nullptr;
          std::string dns;
          auto take = [&]() {
            for (LDAPMessage* e = ldap_first_entry(ld, res); e != nullptr; e = ldap_next_entry(ld, e)) {
              char* dn = ldap_get_dn(ld, e);
              dns += std::string(dn != nullptr ? dn : "?") + ";";
              ldap_memfree(dn);
            }
            ldap_msgfree(res);
            res = nullptr;
          };
          if (paged) {
            PLDAPSearch search =
                ldap_search_init_page(ld, "DC=t", scope, nullptr, nullptr, 0, nullptr, nullptr, 0, 0, nullptr);
            for (ULONG rc = LDAP_SUCCESS; rc == LDAP_SUCCESS;) {
              l_timeval wait{1, 0};
              rc = ldap_get_next_page_s(ld, search, &wait, 10, nullptr, &res);
              take();
            }
            ldap_search_abandon_page(ld, search);
          } else {
            EXPECT_EQ(ldap_search_s(ld, "DC=t", scope, nullptr, nullptr, 0, &res), LDAP_SUCCESS);
            take();
          }
          ldap_unbind(ld);
          const std::string what = url + (continuation ? " reference" : " referral") + (paged ? " paged" : "") +
                                   " scope " + std::to_string(scope);
          const auto seen = referred.searches();
          ASSERT_EQ(seen.size(), 1u) << what;
          const int expected = u.named >= 0 ? u.named : continuation && scope == LDAP_SCOPE_ONELEVEL ? 0 : static_cast<int>(scope);
          EXPECT_EQ(seen[0].scope, expected) << what;
          EXPECT_EQ(seen[0].base, "DC=r,DC=t") << what;
          EXPECT_EQ(dns, continuation ? "CN=x,DC=t;CN=r,DC=t;" : "CN=r,DC=t;") << what;
          const auto binds = referred.binds();  // bound as the search's own connection
          ASSERT_EQ(binds.size(), 1u) << what;
          EXPECT_EQ(binds[0].dn + "/" + binds[0].password, "CN=me,DC=t/pw") << what;
        }
      }
    }
  }
}
