// Referrals met over TLS: the credentials of the first connection never go
// to a server over a connection with less protection. A scripted server
// behind a TLS front answers with a referral to a plain scripted listener,
// which must receive no bind.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "directory/ldap_client_warm_up.h"
#include "directory/scripted_ldap_server.h"
#include "directory/scripted_tls_front.h"
#include "platform/ldap_client.h"

using namespace plat;

namespace {

std::string TestData(const char* name) {
  std::string dir = __FILE__;
  return dir.substr(0, dir.rfind('/') + 1) + "testdata/" + name;
}

// The test certificate is the trusted CA, set before the LDAP library reads
// its settings (at its first use in the process).
const bool kTrustTestCertificate = [] {
  setenv("LDAPTLS_CACERT", TestData("tls_loopback_cert.pem").c_str(), 1);
  unsetenv("LDAPTLS_CACERTDIR");
  return true;
}();

constexpr char kPassword[] = "not-for-plain-eyes";

// The search as the program makes it: paged (our own referral following),
// or one plain search (the library follows, binding through our callback).
void SearchPaged(LDAP* ld) {
  PLDAPSearch search = ldap_search_init_page(ld, "DC=t", LDAP_SCOPE_SUBTREE, nullptr, nullptr, 0,
                                             nullptr, nullptr, 0, 0, nullptr);
  ULONG rc = LDAP_SUCCESS;
  for (int i = 0; rc == LDAP_SUCCESS && i < 5; ++i) {
    LDAPMessage* page = nullptr;
    l_timeval wait{2, 0};
    rc = ldap_get_next_page_s(ld, search, &wait, 10, nullptr, &page);
    ldap_msgfree(page);
  }
  ldap_search_abandon_page(ld, search);
}

void SearchOnce(LDAP* ld) {
  LDAPMessage* res = nullptr;
  ldap_search_s(ld, "DC=t", LDAP_SCOPE_SUBTREE, nullptr, nullptr, 0, &res);
  ldap_msgfree(res);
}

// The referral as a search result (the base lives elsewhere) or as a
// continuation reference beside the entries.
ScriptedLdapServer::Reply ReferralTo(const std::string& url, bool continuation) {
  return [url, continuation](int64_t id) {
    if (!continuation) return ReferralDoneMessage(id, {url});
    return EntryMessage(id, "CN=x,DC=t", {{"cn", {"x"}}}) + ReferenceMessage(id, {url}) +
           DoneMessage(id, 0, "", false);
  };
}

LDAP* BoundTo(int port, bool tls) {
  LDAP* ld = ldap_sslinit("127.0.0.1", static_cast<ULONG>(port), tls ? 1 : 0);
  if (ld == nullptr) return nullptr;
  ULONG two = 2;
  ldap_set_option(ld, LDAP_OPT_WAIT_LIMIT, &two);
  EXPECT_EQ(ldap_simple_bind_s(ld, "cn=u,dc=t", kPassword), LDAP_SUCCESS);
  return ld;
}

}  // namespace

TEST(LdapReferralsOverTls, APlainServerNamedByAReferralGetsNoBindAfterTls) {
  struct Case {
    bool tls;
    bool continuation;
    bool paged;
  };
  std::vector<Case> cases;
  for (bool tls : {true, false}) {
    for (bool continuation : {false, true}) {
      for (bool paged : {true, false}) cases.push_back({tls, continuation, paged});
    }
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.tls ? "tls" : "plain") + (c.continuation ? " continuation" : " result") +
                 (c.paged ? " paged" : " library"));
    ScriptedLdapServer plain({});
    const std::string url = "ldap://127.0.0.1:" + std::to_string(plain.port()) + "/DC=elsewhere";
    ScriptedLdapServer server({ReferralTo(url, c.continuation)});
    ScriptedTlsFront front(server.port(), TestData("tls_loopback_cert.pem"),
                           TestData("tls_loopback_key.pem"));
    LDAP* ld = BoundTo(c.tls ? front.port() : server.port(), c.tls);
    ASSERT_NE(ld, nullptr);
    if (c.paged) {
      SearchPaged(ld);
    } else {
      SearchOnce(ld);
    }
    ldap_unbind(ld);
    ASSERT_EQ(server.binds().size(), 1u);
    EXPECT_EQ(server.binds()[0].password, kPassword);
    if (c.tls) {
      // Not even the name goes there in clear.
      EXPECT_TRUE(plain.binds().empty());
    } else {
      // The user's own first connection was plain: so is the referral's.
      ASSERT_EQ(plain.binds().size(), 1u);
      EXPECT_EQ(plain.binds()[0].password, kPassword);
    }
  }
}

TEST(LdapReferralsOverTls, AnLdapReferralIsFollowedToTheSameHostOverTls) {
  // The referral says ldap:// but names a host that speaks TLS on that port.
  ScriptedLdapServer other({});
  ScriptedTlsFront otherFront(other.port(), TestData("tls_loopback_cert.pem"),
                              TestData("tls_loopback_key.pem"));
  const std::string url = "ldap://127.0.0.1:" + std::to_string(otherFront.port()) + "/DC=elsewhere";
  ScriptedLdapServer server({ReferralTo(url, false)});
  ScriptedTlsFront front(server.port(), TestData("tls_loopback_cert.pem"),
                         TestData("tls_loopback_key.pem"));
  LDAP* ld = BoundTo(front.port(), true);
  ASSERT_NE(ld, nullptr);
  SearchPaged(ld);
  ldap_unbind(ld);
  ASSERT_EQ(other.binds().size(), 1u);
  EXPECT_EQ(other.binds()[0].password, kPassword);
  ASSERT_EQ(other.searches().size(), 1u);
  EXPECT_EQ(other.searches()[0].base, "DC=elsewhere");
}

TEST(LdapReferralsOverTls, AHandshakeThatDribblesEndsWithTheWaitLimit) {
  // The server sends its handshake a byte every 50 ms: each read gets
  // something, but the whole would take a minute. The connection's wait
  // limit (one second) bounds it as a whole, for the connection itself and
  // for a referral's; the entries that came before are kept.
  ScriptedLdapServer slow({});
  ScriptedTlsFront dribbling(slow.port(), TestData("tls_loopback_cert.pem"), TestData("tls_loopback_key.pem"), 50);
  const std::string url = "ldaps://127.0.0.1:" + std::to_string(dribbling.port()) + "/DC=elsewhere";
  ScriptedLdapServer server({ReferralTo(url, true)});
  ScriptedTlsFront front(server.port(), TestData("tls_loopback_cert.pem"), TestData("tls_loopback_key.pem"));
  WarmUpLdapClient();
  for (const bool referral : {false, true}) {
    SCOPED_TRACE(referral ? "referral" : "connection");
    const auto start = std::chrono::steady_clock::now();
    LDAP* ld = ldap_sslinit("127.0.0.1", static_cast<ULONG>(referral ? front.port() : dribbling.port()), 1);
    ULONG one = 1, entries = 0, code = 0;
    ldap_set_option(ld, LDAP_OPT_WAIT_LIMIT, &one);
    ASSERT_EQ(ldap_simple_bind_s(ld, "cn=u,dc=t", kPassword), referral ? LDAP_SUCCESS : LDAP_TIMEOUT);
    PLDAPSearch search = ldap_search_init_page(ld, "DC=t", LDAP_SCOPE_SUBTREE, nullptr, nullptr, 0, nullptr,
                                               nullptr, 0, 0, nullptr);
    for (ULONG rc = LDAP_SUCCESS; referral && rc == LDAP_SUCCESS;) {
      LDAPMessage* page = nullptr;
      rc = ldap_get_next_page_s(ld, search, nullptr, 10, nullptr, &page);
      entries += ldap_count_entries(ld, page);
      ldap_msgfree(page);
    }
    char* unfollowed = nullptr;
    if (referral) {
      EXPECT_EQ(entries, 1u);
      ASSERT_EQ(ldap_search_next_unfollowed_referral(search, &unfollowed, &code, nullptr), LDAP_SUCCESS);
      EXPECT_EQ(unfollowed, url);
      EXPECT_EQ(code, LDAP_TIMEOUT);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
    ldap_memfree(unfollowed);
    ldap_search_abandon_page(ld, search);
    ldap_unbind(ld);
  }
}

TEST(LdapReferralsOverTls, ATlsFailureGivesTheReasonOfTheConnectionThatFailed) {
  // A plain server closes the connection on the client's first TLS bytes and
  // takes no second one: the reason is the failed handshake's own, not what
  // a second try would meet (a wait that runs out).
  ScriptedLdapServer plain({});
  LDAP* ld = ldap_sslinit("127.0.0.1", static_cast<ULONG>(plain.port()), 1);
  ULONG two = 2;
  ldap_set_option(ld, LDAP_OPT_WAIT_LIMIT, &two);
  EXPECT_EQ(ldap_simple_bind_s(ld, "cn=u,dc=t", kPassword), LDAP_SERVER_DOWN);
  char* failed = nullptr;
  char* why = nullptr;
  ldap_get_option(ld, LDAP_OPT_SERVER_ERROR, &failed);
  ldap_get_option(ld, LDAP_OPT_TLS_PROBLEM, &why);
  EXPECT_EQ(std::string(why != nullptr ? why : "-"), std::string("handshake failed: ") + (failed ? failed : ""));
  ldap_memfree(failed);
  ldap_memfree(why);
  ldap_unbind(ld);
}

TEST(LdapReferralsOverTls, AChaseThatTlsRefusesSaysWhyAsTheFirstConnectionDoes) {
  // 127.0.0.2 is not a name the certificate holds (localhost, 127.0.0.1): a
  // connection made there directly and the chase of a reference there, paged
  // or not, give the same reason.
  const std::string certificate = TestData("tls_loopback_cert.pem"), key = TestData("tls_loopback_key.pem");
  std::string expected = "TLS: ";
  for (int row = 0; row < 3; ++row) {  // directly, paged, plain
    ScriptedLdapServer other({});
    ScriptedTlsFront otherFront(other.port(), certificate, key, 0, {}, 0x7f000002);
    const std::string url = "ldaps://127.0.0.2:" + std::to_string(otherFront.port()) + "/DC=elsewhere";
    ScriptedLdapServer server({ReferralTo(url, true)});
    ScriptedTlsFront front(server.port(), certificate, key);
    LDAP* ld = ldap_sslinit("127.0.0.2", static_cast<ULONG>(otherFront.port()), 1);
    char* reason = nullptr;
    if (row == 0) {
      EXPECT_NE(ldap_simple_bind_s(ld, "cn=u,dc=t", kPassword), LDAP_SUCCESS);
      ldap_get_option(ld, LDAP_OPT_TLS_PROBLEM, &reason);
      expected += reason != nullptr ? reason : "(none)";
    } else {
      ldap_unbind(ld);
      ld = BoundTo(front.port(), true);
      PLDAPSearch search = ldap_search_init_page(ld, "DC=t", LDAP_SCOPE_SUBTREE, nullptr, nullptr, 0, nullptr,
                                                 nullptr, 0, 0, nullptr);
      for (ULONG rc = LDAP_SUCCESS; row == 1 && rc == LDAP_SUCCESS;) {
        LDAPMessage* page = nullptr;
        rc = ldap_get_next_page_s(ld, search, nullptr, 10, nullptr, &page);
        ldap_msgfree(page);
      }
      if (row == 2) SearchOnce(ld);
      char* left = nullptr;
      ULONG code = 0;
      EXPECT_EQ(row == 1 ? ldap_search_next_unfollowed_referral(search, &left, &code, nullptr, &reason)
                         : ldap_next_unfollowed_referral(ld, &left, &code, nullptr, &reason),
                LDAP_SUCCESS);
      EXPECT_EQ(std::string(left != nullptr ? left : "") + " " + (reason != nullptr ? reason : ""),
                url + " " + expected) << row;
      EXPECT_TRUE(other.binds().empty());
      ldap_memfree(left);
      ldap_search_abandon_page(ld, search);
    }
    ldap_memfree(reason);
    ldap_unbind(ld);
  }
}
