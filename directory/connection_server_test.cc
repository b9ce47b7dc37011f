#include "directory/connection.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "directory/root_dse.h"
#include "directory/test_server_env.h"
#include "platform/ldap_client.h"

namespace {

// Trust the test CA for TLS before the LDAP library reads its settings
// (at its first use in the process).
const bool kTrustTestCa = [] {
  const char* ca = std::getenv("QUELBY_TEST_CA");
  if (ca != nullptr && std::getenv("LDAPTLS_CACERT") == nullptr) setenv("LDAPTLS_CACERT", ca, 1);
  return true;
}();

struct Open {
  std::string server = TestEnv("QUELBY_TEST_DC_HOST");
  int port = 0;
  bool anonymous = false;
  std::string user;
  std::string password;
  bool simple = false;
  bool encrypt = false;
  bool extendedErrors = false;
  bool ssl = false;

  plat::LDAP* Run() const {
    return OpenLDAP(server.c_str(), port, false, true, anonymous, user, password, simple, encrypt,
                    extendedErrors, ssl, false);
  }
};

// The connection can read something only a bound connection may: the
// domain head's objectSid is refused to anonymous callers on Samba.
bool CanReadDomainObject(plat::LDAP* ld) {
  const char* attrs[] = {"objectSid", nullptr};
  plat::LDAPMessage* res = nullptr;
  std::string base = TestEnv("QUELBY_TEST_BASE");
  ULONG rc = plat::ldap_search_s(ld, base.c_str(), plat::LDAP_SCOPE_BASE, "(objectClass=*)", attrs, 0, &res);
  bool ok = false;
  if (rc == 0) {
    plat::LDAPMessage* e = plat::ldap_first_entry(ld, res);
    plat::berval** v = e ? plat::ldap_get_values_len(ld, e, "objectSid") : nullptr;
    ok = v != nullptr && v[0] != nullptr;
    if (v) plat::ldap_value_free_len(v);
  }
  if (res) plat::ldap_msgfree(res);
  return ok;
}

class ConnectionServerTest : public testing::Test {
 protected:
  void SetUp() override { SKIP_WITHOUT_TEST_SERVERS(); }
  void Expect(const Open& o, bool readsDomain = true) {
    plat::LDAP* ld = o.Run();
    ASSERT_NE(ld, nullptr);
    if (readsDomain) {
      EXPECT_TRUE(CanReadDomainObject(ld));
    }
    plat::ldap_unbind(ld);
  }
};

TEST_F(ConnectionServerTest, SimpleBindWithDnAndWithUserAtRealm) {
  Open o;
  o.simple = true;
  o.user = TestEnv("QUELBY_TEST_USER_DN");
  o.password = TestEnv("QUELBY_TEST_USER_PASSWORD");
  Expect(o);
  o.user = TestEnv("QUELBY_TEST_USER") + "@" + TestEnv("QUELBY_TEST_REALM");
  Expect(o);
}

TEST_F(ConnectionServerTest, AnonymousBindIsASimpleBindWithoutName) {
  Open o;
  o.anonymous = true;
  o.user = TestEnv("QUELBY_TEST_USER_DN");  // ignored: anonymous wins
  o.password = "not the password";
  plat::LDAP* ld = o.Run();
  ASSERT_NE(ld, nullptr);
  EXPECT_TRUE(CRootDSE(ld).valid);
  EXPECT_FALSE(CanReadDomainObject(ld));
  plat::ldap_unbind(ld);
}

TEST_F(ConnectionServerTest, NegotiatedBindWithUserNameAndPassword) {
  Open o;
  o.user = TestEnv("QUELBY_TEST_DOMAIN") + "\\" + TestEnv("QUELBY_TEST_USER");
  o.password = TestEnv("QUELBY_TEST_USER_PASSWORD");
  Expect(o);
  o.user = TestEnv("QUELBY_TEST_USER");  // a plain name: no domain
  Expect(o);
  // Pieces after the name are dropped.
  o.user = TestEnv("QUELBY_TEST_DOMAIN") + "\\" + TestEnv("QUELBY_TEST_USER") + "\\ignored";
  Expect(o);
  o.encrypt = true;  // with the Kerberos security layer
  Expect(o);
}

TEST_F(ConnectionServerTest, NegotiatedBindWithTicketFromKinit) {
  char cache[] = "/tmp/quelby-krb5cc-XXXXXX";
  int fd = mkstemp(cache);
  ASSERT_GE(fd, 0);
  close(fd);
  unlink(cache);
  std::string ccname = std::string("FILE:") + cache;
  std::string previous = TestEnv("KRB5CCNAME");
  setenv("KRB5CCNAME", ccname.c_str(), 1);
  // Without a ticket the bind with the caller's credentials fails, and says
  // why Kerberos could not be had in one line before the error line...
  testing::internal::CaptureStderr();
  EXPECT_EQ(Open().Run(), nullptr);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(err.rfind("WARN: Kerberos could not be used: ", 0), 0u) << err;
  const size_t second = err.find('\n') + 1;
  EXPECT_EQ(err.find("LDAP_BIND: [", second), second) << err;
  std::string command = "KRB5CCNAME='" + ccname + "' kinit '" + TestEnv("QUELBY_TEST_USER") + "@" +
                        TestEnv("QUELBY_TEST_REALM") + "' >/dev/null 2>&1";
  FILE* kinit = popen(command.c_str(), "w");
  ASSERT_NE(kinit, nullptr);
  fprintf(kinit, "%s\n", TestEnv("QUELBY_TEST_USER_PASSWORD").c_str());
  ASSERT_EQ(pclose(kinit), 0) << "kinit failed";
  // ...and with the ticket kinit put in the cache it succeeds.
  Open o;
  Expect(o);
  setenv("KRB5CCNAME", previous.c_str(), 1);
  unlink(cache);
}

TEST_F(ConnectionServerTest, WrongPasswordGivesTheErrorLineAndNoHandle) {
  Open o;
  o.simple = true;
  o.user = TestEnv("QUELBY_TEST_USER_DN");
  o.password = "wrong-password";
  testing::internal::CaptureStderr();
  EXPECT_EQ(o.Run(), nullptr);
  std::string err = testing::internal::GetCapturedStderr();
  std::string expected = "LDAP_BIND: [" + o.server + "] Error 0x31 (49) - " +
                         plat::ldap_err2string(49) + "\n";
  EXPECT_EQ(err, expected);

  // With extended errors the server's own text follows.
  o.extendedErrors = true;
  testing::internal::CaptureStderr();
  EXPECT_EQ(o.Run(), nullptr);
  err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(err.rfind(expected, 0), 0u) << err;
  EXPECT_NE(err.find("\nExtended Error: ("), std::string::npos) << err;

  // The negotiated bind with a wrong password fails the same way.
  Open n;
  n.user = TestEnv("QUELBY_TEST_USER");
  n.password = "wrong-password";
  testing::internal::CaptureStderr();
  EXPECT_EQ(n.Run(), nullptr);
  err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(err.rfind("LDAP_BIND: [" + n.server + "] Error 0x", 0), 0u) << err;
}

TEST_F(ConnectionServerTest, LdapsWithTheTestCaTrusted) {
  ASSERT_FALSE(TestEnv("LDAPTLS_CACERT").empty());
  Open o;
  o.ssl = true;
  o.simple = true;
  o.user = TestEnv("QUELBY_TEST_USER_DN");
  o.password = TestEnv("QUELBY_TEST_USER_PASSWORD");
  Expect(o);
  // Negotiated over TLS too.
  Open n;
  n.ssl = true;
  n.user = TestEnv("QUELBY_TEST_USER");
  n.password = TestEnv("QUELBY_TEST_USER_PASSWORD");
  Expect(n);
}

TEST_F(ConnectionServerTest, LdapsRefusedWhenTheCaIsNotTrusted) {
  // A fresh process, so the TLS settings are read anew without the test CA.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        setenv("LDAPTLS_CACERT", "/etc/ssl/certs/ca-certificates.crt", 1);
        unsetenv("LDAPTLS_CACERTDIR");
        Open o;
        o.ssl = true;
        o.simple = true;
        o.user = TestEnv("QUELBY_TEST_USER_DN");
        o.password = TestEnv("QUELBY_TEST_USER_PASSWORD");
        plat::LDAP* ld = o.Run();
        std::exit(ld == nullptr ? 0 : 1);
      },
      testing::ExitedWithCode(0), "LDAP_BIND: .* Error 0x");
}

TEST_F(ConnectionServerTest, GlobalCatalogPorts) {
  Open o;
  o.port = 1;
  o.simple = true;
  o.user = TestEnv("QUELBY_TEST_USER_DN");
  o.password = TestEnv("QUELBY_TEST_USER_PASSWORD");
  Expect(o);
  o.ssl = true;
  Expect(o);
}

TEST_F(ConnectionServerTest, PortInTheHostText) {
  Open o;
  o.server = TestEnv("QUELBY_TEST_SLAPD_HOST") + ":" + TestEnv("QUELBY_TEST_SLAPD_PORT");
  o.simple = true;
  o.user = TestEnv("QUELBY_TEST_SLAPD_READER_DN");
  o.password = TestEnv("QUELBY_TEST_SLAPD_READER_PASSWORD");
  plat::LDAP* ld = o.Run();
  ASSERT_NE(ld, nullptr);
  plat::ldap_unbind(ld);
}

TEST_F(ConnectionServerTest, ADcNamedByItsAddressGetsKerberos) {
  // Kerberos names the service by the DC's host name, which the run finds
  // itself: sealing (-kerbenc) can only be had with Kerberos.
  Open o;
  o.server = TestEnv("QUELBY_TEST_IP");
  o.user = TestEnv("QUELBY_TEST_DOMAIN") + "\\" + TestEnv("QUELBY_TEST_USER");
  o.password = TestEnv("QUELBY_TEST_USER_PASSWORD");
  o.encrypt = true;
  testing::internal::CaptureStderr();
  Expect(o);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  // The caller's own ticket too.
  Open t;
  t.server = TestEnv("QUELBY_TEST_IP");
  t.encrypt = true;
  testing::internal::CaptureStderr();
  Expect(t);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

}  // namespace
