// The LDAP client against the real test servers (scripts/servers/start.sh):
// binds, TLS, global catalog, searches, paging, sorting and the
// connectionless RootDSE read.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <strings.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/ldap_client.h"
#include "platform/ldap_internal.h"

using namespace plat;

namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v != nullptr ? v : "";
}

// libldap reads LDAPTLS_CACERT once, at its first use in the process.
class TrustTestCa : public ::testing::Environment {
 public:
  void SetUp() override {
    std::string ca = Env("QUELBY_TEST_CA");
    if (!ca.empty()) setenv("LDAPTLS_CACERT", ca.c_str(), 0);
  }
};
const auto* const kTrust = ::testing::AddGlobalTestEnvironment(new TrustTestCa);

class LdapServer : public ::testing::Test {
 protected:
  void SetUp() override {
    if (Env("QUELBY_TEST_SERVERS").empty()) GTEST_SKIP() << "QUELBY_TEST_SERVERS is not set";
    dc_ = Env("QUELBY_TEST_DC_HOST");
    ASSERT_FALSE(dc_.empty());
  }
  void TearDown() override {
    if (ld_ != nullptr) ldap_unbind(ld_);
  }

  LDAP* Open(const std::string& host, ULONG port, bool ssl) {
    ld_ = ldap_sslinit(host.c_str(), port, ssl ? 1 : 0);
    EXPECT_NE(ld_, nullptr);
    ULONG v3 = LDAP_VERSION3;
    if (ld_ != nullptr) {
      EXPECT_EQ(ldap_set_option(ld_, LDAP_OPT_PROTOCOL_VERSION, &v3), LDAP_SUCCESS);
    }
    return ld_;
  }

  ULONG Negotiate(const std::string& user, const std::string& domain, const std::string& password) {
    SEC_WINNT_AUTH_IDENTITY_A id{};
    id.User = reinterpret_cast<unsigned char*>(const_cast<char*>(user.c_str()));
    id.UserLength = static_cast<ULONG>(user.size());
    if (!domain.empty()) {
      id.Domain = reinterpret_cast<unsigned char*>(const_cast<char*>(domain.c_str()));
      id.DomainLength = static_cast<ULONG>(domain.size());
    }
    id.Password = reinterpret_cast<unsigned char*>(const_cast<char*>(password.c_str()));
    id.PasswordLength = static_cast<ULONG>(password.size());
    id.Flags = SEC_WINNT_AUTH_IDENTITY_ANSI;
    return ldap_bind_s(ld_, nullptr, &id, LDAP_AUTH_NEGOTIATE);
  }

  // First value of attr on the entry at dn (base search), "" when none.
  std::string Read(const std::string& dn, const char* attr, ULONG* code = nullptr) {
    const char* attrs[] = {attr, nullptr};
    LDAPMessage* res = nullptr;
    ULONG rc = ldap_search_s(ld_, dn.c_str(), LDAP_SCOPE_BASE, "(objectClass=*)", attrs, 0, &res);
    if (code != nullptr) *code = rc;
    std::string out;
    char** vals = ldap_get_values(ld_, ldap_first_entry(ld_, res), attr);
    if (vals != nullptr && vals[0] != nullptr) out = vals[0];
    ldap_value_free(vals);
    ldap_msgfree(res);
    return out;
  }

  // Whether the connection is bound as the account at dn: its SID is among
  // the token SIDs the RootDSE lists for the bound identity.
  bool BoundAs(const std::string& dn) {
    const char* sidAttr[] = {"objectSid", nullptr};
    LDAPMessage* res = nullptr;
    ldap_search_s(ld_, dn.c_str(), LDAP_SCOPE_BASE, "(objectClass=*)", sidAttr, 0, &res);
    berval** sid = ldap_get_values_len(ld_, ldap_first_entry(ld_, res), "objectSid");
    std::string want = ldap_count_values_len(sid) == 1 ? std::string(sid[0]->bv_val, sid[0]->bv_len) : "";
    ldap_value_free_len(sid);
    ldap_msgfree(res);
    const char* tokenAttr[] = {"tokenGroups", nullptr};
    res = nullptr;
    ldap_search_s(ld_, "", LDAP_SCOPE_BASE, "(objectClass=*)", tokenAttr, 0, &res);
    berval** token = ldap_get_values_len(ld_, ldap_first_entry(ld_, res), "tokenGroups");
    bool found = false;
    for (ULONG i = 0; !want.empty() && i < ldap_count_values_len(token); ++i) {
      found = found || std::string(token[i]->bv_val, token[i]->bv_len) == want;
    }
    ldap_value_free_len(token);
    ldap_msgfree(res);
    return found;
  }

  std::string dc_;
  LDAP* ld_ = nullptr;
};

// Points KRB5CCNAME elsewhere for a scope, and back.
class TicketCache {
 public:
  explicit TicketCache(const std::string& cache) : saved_(Env("KRB5CCNAME")) {
    setenv("KRB5CCNAME", cache.c_str(), 1);
  }
  ~TicketCache() {
    if (saved_.empty()) unsetenv("KRB5CCNAME");
    else setenv("KRB5CCNAME", saved_.c_str(), 1);
  }

 private:
  std::string saved_;
};

bool SameText(const std::string& a, const std::string& b) { return strcasecmp(a.c_str(), b.c_str()) == 0; }

}  // namespace

TEST_F(LdapServer, SimpleBindsWithDnWithUserAtRealmAndAnonymous) {
  Open(dc_, LDAP_PORT, false);
  ASSERT_EQ(ldap_simple_bind_s(ld_, Env("QUELBY_TEST_USER_DN").c_str(),
                               Env("QUELBY_TEST_USER_PASSWORD").c_str()),
            LDAP_SUCCESS);
  EXPECT_EQ(Read(Env("QUELBY_TEST_USER_DN"), "sAMAccountName"), Env("QUELBY_TEST_USER"));
  ldap_unbind(ld_);

  Open(dc_, LDAP_PORT, false);
  std::string upn = Env("QUELBY_TEST_USER") + "@" + Env("QUELBY_TEST_DNS_DOMAIN");
  ASSERT_EQ(ldap_simple_bind_s(ld_, upn.c_str(), Env("QUELBY_TEST_USER_PASSWORD").c_str()),
            LDAP_SUCCESS);
  EXPECT_EQ(Read(Env("QUELBY_TEST_USER_DN"), "sAMAccountName"), Env("QUELBY_TEST_USER"));
  ldap_unbind(ld_);

  Open(dc_, LDAP_PORT, false);
  ASSERT_EQ(ldap_simple_bind_s(ld_, nullptr, nullptr), LDAP_SUCCESS);
  EXPECT_TRUE(SameText(Read("", "dnsHostName"), dc_));
}

TEST_F(LdapServer, WrongPasswordGivesInvalidCredentialsAndTheServersText) {
  Open(dc_, LDAP_PORT, false);
  EXPECT_EQ(ldap_simple_bind_s(ld_, Env("QUELBY_TEST_USER_DN").c_str(), "not-the-password"),
            LDAP_INVALID_CREDENTIALS);
  char* text = nullptr;
  ASSERT_EQ(ldap_get_option(ld_, LDAP_OPT_SERVER_ERROR, &text), LDAP_SUCCESS);
  ASSERT_NE(text, nullptr);
  EXPECT_GT(std::string(text).size(), 0u);
  ldap_memfree(text);
  EXPECT_STREQ(ldap_err2string(LDAP_INVALID_CREDENTIALS), "Invalid Credentials");
  // The refused connection is released by its caller (TearDown), leak-free.
  ldap_unbind(ld_);

  Open(dc_, LDAP_PORT, false);
  EXPECT_EQ(Negotiate(Env("QUELBY_TEST_USER"), Env("QUELBY_TEST_DOMAIN"), "not-the-password"),
            LDAP_INVALID_CREDENTIALS);
}

TEST_F(LdapServer, NegotiatedBindWithNameAndPassword) {
  // No ticket cache to fall back on: only the credentials made from the
  // password can work, and they are never written anywhere.
  char dir[] = "/tmp/quelby-nocache-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  std::string cache = std::string(dir) + "/cc";
  TicketCache none("FILE:" + cache);

  // NetBIOS domain and name: a signed Kerberos session of that user (another
  // user than the one whose ticket the servers' start left behind).
  Open(dc_, LDAP_PORT, false);
  ASSERT_EQ(Negotiate(Env("QUELBY_TEST_NOEXPIRE_USER"), Env("QUELBY_TEST_DOMAIN"),
                      Env("QUELBY_TEST_NOEXPIRE_USER_PASSWORD")),
            LDAP_SUCCESS);
  EXPECT_EQ(nat::BoundMechanism(ld_->conn), "GSSAPI");
  EXPECT_EQ(nat::SecurityStrength(ld_->conn), 1);  // signed
  EXPECT_TRUE(BoundAs(Env("QUELBY_TEST_NOEXPIRE_USER_DN")));
  EXPECT_FALSE(BoundAs(Env("QUELBY_TEST_USER_DN")));
  ldap_unbind(ld_);

  // user@realm, no domain.
  Open(dc_, LDAP_PORT, false);
  std::string upn = Env("QUELBY_TEST_USER") + "@" + Env("QUELBY_TEST_DNS_DOMAIN");
  ASSERT_EQ(Negotiate(upn, "", Env("QUELBY_TEST_USER_PASSWORD")), LDAP_SUCCESS);
  EXPECT_TRUE(BoundAs(Env("QUELBY_TEST_USER_DN")));
  ldap_unbind(ld_);

  // Kerberos encryption asked for: a sealed session.
  Open(dc_, LDAP_PORT, false);
  ASSERT_EQ(ldap_set_option(ld_, LDAP_OPT_ENCRYPT, LDAP_OPT_ON), LDAP_SUCCESS);
  ASSERT_EQ(Negotiate(Env("QUELBY_TEST_USER"), Env("QUELBY_TEST_DOMAIN"),
                      Env("QUELBY_TEST_USER_PASSWORD")),
            LDAP_SUCCESS);
  EXPECT_GE(nat::SecurityStrength(ld_->conn), 56);  // sealed, at least as asked
  EXPECT_TRUE(BoundAs(Env("QUELBY_TEST_USER_DN")));
  EXPECT_NE(access(cache.c_str(), F_OK), 0);
  rmdir(dir);
}

TEST_F(LdapServer, NegotiatedBindFallsBackToNtlmWithoutKerberos) {
  // A fresh process whose Kerberos configuration names no KDC for the realm.
  // On plain LDAP, to the DC left at Samba's defaults where there is one
  // (SASL binds signed or sealed, NTLMv1 refused), NTLM in SPNEGO binds each
  // form of the user, sealed; over LDAPS, without a security layer. A wrong
  // password is refused.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const std::string user = Env("QUELBY_TEST_USER");
  const std::string atDefaults = Env("QUELBY_TEST_DEFAULTS_DC_HOST");
  const std::string plain = atDefaults.empty() ? dc_ : atDefaults;
  const struct {
    std::string host;
    bool ssl;
    std::string user, domain;
  } forms[] = {{plain, false, user, Env("QUELBY_TEST_DOMAIN")},
               {plain, false, user + "@" + Env("QUELBY_TEST_DNS_DOMAIN"), ""},
               {plain, false, user, ""},
               {dc_, true, user, Env("QUELBY_TEST_DOMAIN")}};
  for (const auto& form : forms) {
    EXPECT_EXIT(
        {
          setenv("KRB5_CONFIG", "/dev/null", 1);
          const ULONG port = form.ssl ? LDAP_SSL_PORT : LDAP_PORT;
          Open(form.host, port, form.ssl);
          ULONG rc = Negotiate(form.user, form.domain, Env("QUELBY_TEST_USER_PASSWORD"));
          const int ssf = rc == LDAP_SUCCESS ? nat::SecurityStrength(ld_->conn) : -1;
          bool ntlm = rc == LDAP_SUCCESS && nat::BoundMechanism(ld_->conn) == "GSS-SPNEGO" &&
                      (form.ssl ? ssf == 0 : ssf >= 56) && BoundAs(Env("QUELBY_TEST_USER_DN"));
          ldap_unbind(ld_);
          Open(form.host, port, form.ssl);
          ULONG wrong = Negotiate(form.user, form.domain, "bad");
          _exit(ntlm && wrong == LDAP_INVALID_CREDENTIALS ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "")
        << form.host << " " << form.user << " " << form.domain;
  }
}

TEST_F(LdapServer, NegotiatedBindWithTheCallersTicket) {
  // A ticket of our own from kinit, the password given on its standard input.
  char dir[] = "/tmp/quelby-kinit-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  std::string cache = std::string("FILE:") + dir + "/cc";
  std::string principal = Env("QUELBY_TEST_USER") + "@" + Env("QUELBY_TEST_REALM");
  std::string cmd = "KRB5CCNAME='" + cache + "' kinit '" + principal + "' >/dev/null 2>&1";
  FILE* p = popen(cmd.c_str(), "w");
  ASSERT_NE(p, nullptr);
  std::fprintf(p, "%s\n", Env("QUELBY_TEST_USER_PASSWORD").c_str());
  ASSERT_EQ(pclose(p), 0);
  // Signed on plain LDAP; over LDAPS without a second security layer.
  for (const bool ssl : {false, true}) {
    TicketCache mine(cache);
    const ULONG port = ssl ? LDAP_SSL_PORT : LDAP_PORT;
    Open(dc_, port, ssl);
    EXPECT_EQ(ldap_bind_s(ld_, nullptr, nullptr, LDAP_AUTH_NEGOTIATE), LDAP_SUCCESS) << ssl;
    EXPECT_EQ(nat::BoundMechanism(ld_->conn), "GSSAPI");
    EXPECT_EQ(nat::SecurityStrength(ld_->conn), ssl ? 0 : 1);
    EXPECT_TRUE(BoundAs(Env("QUELBY_TEST_USER_DN")));
    ldap_unbind(ld_);
    ld_ = nullptr;
    // With the ticket at hand, an identity that names a domain or a password
    // but no user is refused rather than bound with the ticket.
    const std::string domain = Env("QUELBY_TEST_DOMAIN");
    for (const std::string& password : {std::string("x"), std::string()}) {
      Open(dc_, port, ssl);
      EXPECT_EQ(Negotiate("", domain, password), LDAP_INVALID_CREDENTIALS) << password;
      EXPECT_EQ(nat::BoundMechanism(ld_->conn), "");
      ldap_unbind(ld_);
      ld_ = nullptr;
    }
    Open(dc_, port, ssl);
    EXPECT_EQ(Negotiate("", "", "x"), LDAP_INVALID_CREDENTIALS);
    ldap_unbind(ld_);
    ld_ = nullptr;
  }
  {
    // Without any ticket the bind fails, and says so.
    TicketCache empty(std::string("FILE:") + dir + "/none");
    Open(dc_, LDAP_PORT, false);
    EXPECT_NE(ldap_bind_s(ld_, nullptr, nullptr, LDAP_AUTH_NEGOTIATE), LDAP_SUCCESS);
    char* text = nullptr;
    ldap_get_option(ld_, LDAP_OPT_SERVER_ERROR, &text);
    EXPECT_NE(text, nullptr);
    ldap_memfree(text);
  }
  std::remove((std::string(dir) + "/cc").c_str());
  rmdir(dir);
}

TEST_F(LdapServer, TlsWithTheTestCaTrusted) {
  Open(dc_, LDAP_SSL_PORT, true);
  ASSERT_EQ(ldap_simple_bind_s(ld_, Env("QUELBY_TEST_USER_DN").c_str(),
                               Env("QUELBY_TEST_USER_PASSWORD").c_str()),
            LDAP_SUCCESS);
  EXPECT_EQ(Read(Env("QUELBY_TEST_USER_DN"), "sAMAccountName"), Env("QUELBY_TEST_USER"));
  ULONG ssl = 0;
  EXPECT_EQ(ldap_get_option(ld_, LDAP_OPT_SSL, &ssl), LDAP_SUCCESS);
  EXPECT_EQ(ssl, 1u);
  ldap_unbind(ld_);

  // Negotiated over TLS: no second security layer, the channel is bound instead.
  Open(dc_, LDAP_SSL_PORT, true);
  ASSERT_EQ(Negotiate(Env("QUELBY_TEST_USER"), Env("QUELBY_TEST_DOMAIN"),
                      Env("QUELBY_TEST_USER_PASSWORD")),
            LDAP_SUCCESS);
  EXPECT_EQ(nat::SecurityStrength(ld_->conn), 0);
  EXPECT_EQ(Read(Env("QUELBY_TEST_USER_DN"), "sAMAccountName"), Env("QUELBY_TEST_USER"));
}

TEST_F(LdapServer, TlsRefusedWhenTheCaIsNotTrusted) {
  // A fresh process, since libldap reads its TLS settings once per process.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  std::string host = dc_;
  std::string dn = Env("QUELBY_TEST_USER_DN");
  std::string pw = Env("QUELBY_TEST_USER_PASSWORD");
  // Also when the settings ask for no checking: verification is never off.
  for (const char* reqcert : {"", "never"}) {
    EXPECT_EXIT(
        {
          setenv("LDAPTLS_CACERT", "/etc/ssl/certs/ca-certificates.crt", 1);
          if (*reqcert != '\0') setenv("LDAPTLS_REQCERT", reqcert, 1);
          LDAP* ld = ldap_sslinit(host.c_str(), LDAP_SSL_PORT, 1);
          ULONG rc = ld != nullptr ? ldap_simple_bind_s(ld, dn.c_str(), pw.c_str()) : 1;
          ldap_unbind(ld);
          _exit(static_cast<int>(rc));
        },
        ::testing::ExitedWithCode(static_cast<int>(LDAP_SERVER_DOWN)), "")
        << reqcert;
  }
}

TEST_F(LdapServer, GlobalCatalogPorts) {
  for (bool ssl : {false, true}) {
    Open(dc_, ssl ? LDAP_SSL_GC_PORT : LDAP_GC_PORT, ssl);
    ASSERT_EQ(ldap_simple_bind_s(ld_, Env("QUELBY_TEST_USER_DN").c_str(),
                                 Env("QUELBY_TEST_USER_PASSWORD").c_str()),
              LDAP_SUCCESS)
        << ssl;
    // The user is found from the forest root with a subtree search.
    const char* attrs[] = {"sAMAccountName", nullptr};
    LDAPMessage* res = nullptr;
    std::string filter = "(sAMAccountName=" + Env("QUELBY_TEST_USER") + ")";
    ASSERT_EQ(ldap_search_s(ld_, Env("QUELBY_TEST_BASE").c_str(), LDAP_SCOPE_SUBTREE,
                            filter.c_str(), attrs, 0, &res),
              LDAP_SUCCESS);
    EXPECT_EQ(ldap_count_entries(ld_, res), 1u);
    char* dn = ldap_get_dn(ld_, ldap_first_entry(ld_, res));
    ASSERT_NE(dn, nullptr);
    EXPECT_TRUE(SameText(dn, Env("QUELBY_TEST_USER_DN")));
    ldap_memfree(dn);
    ldap_msgfree(res);
    ldap_unbind(ld_);
    ld_ = nullptr;
  }
}

TEST_F(LdapServer, ConnectionRefusedIsServerDown) {
  Open(Env("QUELBY_TEST_IP"), 1, false);
  EXPECT_EQ(ldap_simple_bind_s(ld_, nullptr, nullptr), LDAP_SERVER_DOWN);
  EXPECT_STREQ(ldap_err2string(LDAP_SERVER_DOWN), "Server Down");
}

TEST_F(LdapServer, WalkOfEntriesAttributesAndValues) {
  Open(dc_, LDAP_PORT, false);
  ASSERT_EQ(ldap_simple_bind_s(ld_, Env("QUELBY_TEST_USER_DN").c_str(),
                               Env("QUELBY_TEST_USER_PASSWORD").c_str()),
            LDAP_SUCCESS);
  const char* attrs[] = {"cn", "objectGUID", "objectSid", "memberOf", nullptr};
  LDAPMessage* res = nullptr;
  // The filter as the program writes it, in a redundant pair of parentheses.
  std::string filter = "((sAMAccountName=" + Env("QUELBY_TEST_USER") + "))";
  ASSERT_EQ(ldap_search_s(ld_, Env("QUELBY_TEST_OU_DN").c_str(), LDAP_SCOPE_SUBTREE, filter.c_str(),
                          attrs, 0, &res),
            LDAP_SUCCESS);
  ASSERT_EQ(ldap_count_entries(ld_, res), 1u);
  LDAPMessage* e = ldap_first_entry(ld_, res);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(ldap_next_entry(ld_, e), nullptr);
  std::vector<std::string> names;
  BerElement* ber = nullptr;
  for (char* a = ldap_first_attribute(ld_, e, &ber); a != nullptr; a = ldap_next_attribute(ld_, e, ber)) {
    names.push_back(a);
    ldap_memfree(a);
  }
  ber_free(ber, 0);
  EXPECT_EQ(names.size(), 4u);
  berval** guid = ldap_get_values_len(ld_, e, "objectGUID");
  ASSERT_EQ(ldap_count_values_len(guid), 1u);
  EXPECT_EQ(guid[0]->bv_len, 16u);
  ldap_value_free_len(guid);
  char** groups = ldap_get_values(ld_, e, "memberOf");
  EXPECT_EQ(ldap_count_values(groups), 3u);
  ldap_value_free(groups);
  EXPECT_EQ(ldap_get_values(ld_, e, "noSuchAttribute"), nullptr);
  ldap_msgfree(res);

  // A bad filter is refused with the filter error.
  res = nullptr;
  EXPECT_EQ(ldap_search_s(ld_, "", LDAP_SCOPE_BASE, "(cn=x", attrs, 0, &res), LDAP_FILTER_ERROR);
  ldap_msgfree(res);
}

TEST_F(LdapServer, ServerControlWithDerValue) {
  Open(dc_, LDAP_PORT, false);
  ASSERT_EQ(ldap_simple_bind_s(ld_, Env("QUELBY_TEST_ADMIN_DN").c_str(),
                               Env("QUELBY_TEST_ADMIN_PASSWORD").c_str()),
            LDAP_SUCCESS);
  // Security-descriptor flags: owner only.
  BerElement* ber = ber_alloc_t(LBER_USE_DER);
  ASSERT_NE(ber_printf(ber, "{i}", 1), LBER_ERROR);
  berval* value = nullptr;
  ASSERT_EQ(ber_flatten(ber, &value), 0);
  ber_free(ber, 1);
  LDAPControl sd{const_cast<char*>("1.2.840.113556.1.4.801"), *value, 1};
  LDAPControl* controls[] = {&sd, nullptr};
  const char* attrs[] = {"nTSecurityDescriptor", nullptr};
  LDAPMessage* res = nullptr;
  ASSERT_EQ(ldap_search_ext_s(ld_, Env("QUELBY_TEST_USER_DN").c_str(), LDAP_SCOPE_BASE,
                              "(objectClass=*)", attrs, 0, controls, nullptr, nullptr, 0, &res),
            LDAP_SUCCESS);
  berval** sdv = ldap_get_values_len(ld_, ldap_first_entry(ld_, res), "nTSecurityDescriptor");
  ASSERT_EQ(ldap_count_values_len(sdv), 1u);
  // Owner only: the control bits say that the owner is present (SE_SELF_RELATIVE
  // descriptor, owner offset set, DACL offset 0).
  ASSERT_GE(sdv[0]->bv_len, 20u);
  const auto* b = reinterpret_cast<const unsigned char*>(sdv[0]->bv_val);
  EXPECT_NE(b[4] | b[5] | b[6] | b[7], 0);       // owner offset
  EXPECT_EQ(b[16] | b[17] | b[18] | b[19], 0);   // no DACL
  ldap_value_free_len(sdv);
  ldap_msgfree(res);
  ber_bvfree(value);
}

TEST_F(LdapServer, PagingAcrossSeveralPagesOnSlapd) {
  Open(Env("QUELBY_TEST_SLAPD_HOST"), std::stoul(Env("QUELBY_TEST_SLAPD_PORT")), false);
  ASSERT_EQ(ldap_simple_bind_s(ld_, nullptr, nullptr), LDAP_SUCCESS);
  const char* attrs[] = {"uid", nullptr};
  PLDAPSearch s = ldap_search_init_page(ld_, Env("QUELBY_TEST_SLAPD_PEOPLE_DN").c_str(),
                                        LDAP_SCOPE_ONELEVEL, "((objectClass=inetOrgPerson))", attrs,
                                        0, nullptr, nullptr, 0, 0, nullptr);
  ASSERT_NE(s, nullptr);
  ULONG total = 0;
  std::vector<ULONG> pages;
  ULONG rc = LDAP_SUCCESS;
  int guard = 0;
  while (rc == LDAP_SUCCESS && ++guard < 20) {
    LDAPMessage* page = nullptr;
    rc = ldap_get_next_page_s(ld_, s, nullptr, 1000, nullptr, &page);
    if (rc == LDAP_SUCCESS) {
      ULONG n = ldap_count_entries(ld_, page);
      ULONG walked = 0;
      for (LDAPMessage* e = ldap_first_entry(ld_, page); e != nullptr; e = ldap_next_entry(ld_, e)) ++walked;
      EXPECT_EQ(walked, n);
      pages.push_back(n);
      total += n;
    } else {
      EXPECT_EQ(page, nullptr);
    }
    ldap_msgfree(page);
  }
  EXPECT_EQ(rc, LDAP_NO_RESULTS_RETURNED);
  EXPECT_EQ(total, std::stoul(Env("QUELBY_TEST_SLAPD_ENTRIES")));
  EXPECT_EQ(pages, (std::vector<ULONG>{1000, 1000, 1000}));
  EXPECT_EQ(ldap_search_abandon_page(ld_, s), LDAP_SUCCESS);
}

TEST_F(LdapServer, SizeLimitOnSlapdUnpagedAndWithATotalLimit) {
  Open(Env("QUELBY_TEST_SLAPD_HOST"), std::stoul(Env("QUELBY_TEST_SLAPD_PORT")), false);
  ASSERT_EQ(ldap_simple_bind_s(ld_, nullptr, nullptr), LDAP_SUCCESS);
  const char* attrs[] = {"uid", nullptr};
  LDAPMessage* res = nullptr;
  EXPECT_EQ(ldap_search_s(ld_, Env("QUELBY_TEST_SLAPD_PEOPLE_DN").c_str(), LDAP_SCOPE_ONELEVEL,
                          "(objectClass=*)", attrs, 0, &res),
            LDAP_SIZELIMIT_EXCEEDED);
  EXPECT_EQ(ldap_count_entries(ld_, res), std::stoul(Env("QUELBY_TEST_SLAPD_SIZELIMIT")));
  ldap_msgfree(res);

  // A paged search with a total of 5: the first page of 5 ends with the size limit.
  PLDAPSearch s = ldap_search_init_page(ld_, Env("QUELBY_TEST_SLAPD_PEOPLE_DN").c_str(),
                                        LDAP_SCOPE_ONELEVEL, "(objectClass=*)", attrs, 0, nullptr,
                                        nullptr, 0, 5, nullptr);
  ASSERT_NE(s, nullptr);
  LDAPMessage* page = nullptr;
  EXPECT_EQ(ldap_get_next_page_s(ld_, s, nullptr, 5, nullptr, &page), LDAP_SIZELIMIT_EXCEEDED);
  EXPECT_EQ(ldap_count_entries(ld_, page), 5u);
  ldap_msgfree(page);
  EXPECT_EQ(ldap_get_next_page_s(ld_, s, nullptr, 5, nullptr, &page), LDAP_NO_RESULTS_RETURNED);
  EXPECT_EQ(ldap_search_abandon_page(ld_, s), LDAP_SUCCESS);
}

TEST_F(LdapServer, FailedPagedSearchAbandonedAndFreedAndEarlyAbandon) {
  Open(Env("QUELBY_TEST_SLAPD_HOST"), std::stoul(Env("QUELBY_TEST_SLAPD_PORT")), false);
  ASSERT_EQ(ldap_simple_bind_s(ld_, nullptr, nullptr), LDAP_SUCCESS);
  std::string missing = "ou=missing," + Env("QUELBY_TEST_SLAPD_BASE");
  PLDAPSearch s = ldap_search_init_page(ld_, missing.c_str(), LDAP_SCOPE_SUBTREE, "(objectClass=*)",
                                        nullptr, 0, nullptr, nullptr, 0, 0, nullptr);
  ASSERT_NE(s, nullptr);
  LDAPMessage* page = nullptr;
  ASSERT_EQ(ldap_get_next_page_s(ld_, s, nullptr, 1000, nullptr, &page), LDAP_NO_SUCH_OBJECT);
  char* matched = nullptr;
  char* error = nullptr;
  ULONG code = 0;
  ASSERT_EQ(ldap_parse_result(ld_, page, &code, &matched, &error, nullptr, nullptr, 0), LDAP_SUCCESS);
  EXPECT_EQ(code, LDAP_NO_SUCH_OBJECT);
  ASSERT_NE(matched, nullptr);
  EXPECT_TRUE(SameText(matched, Env("QUELBY_TEST_SLAPD_BASE")));
  ldap_memfree(matched);
  ldap_memfree(error);
  ldap_msgfree(page);
  // The failed search stays usable until it is abandoned.
  EXPECT_EQ(ldap_get_next_page_s(ld_, s, nullptr, 1000, nullptr, &page), LDAP_NO_RESULTS_RETURNED);
  EXPECT_EQ(ldap_search_abandon_page(ld_, s), LDAP_SUCCESS);

  // Abandoned after the first of three pages; the connection goes on working.
  s = ldap_search_init_page(ld_, Env("QUELBY_TEST_SLAPD_PEOPLE_DN").c_str(), LDAP_SCOPE_ONELEVEL,
                            "(objectClass=*)", nullptr, 0, nullptr, nullptr, 0, 0, nullptr);
  ASSERT_EQ(ldap_get_next_page_s(ld_, s, nullptr, 1000, nullptr, &page), LDAP_SUCCESS);
  LDAPControl** controls = nullptr;
  ASSERT_EQ(ldap_parse_result(ld_, page, nullptr, nullptr, nullptr, nullptr, &controls, 1), LDAP_SUCCESS);
  ASSERT_NE(controls, nullptr);  // the paged-results response control
  EXPECT_STREQ(controls[0]->ldctl_oid, LDAP_PAGED_RESULT_OID_STRING);
  ldap_controls_free(controls);
  EXPECT_EQ(ldap_search_abandon_page(ld_, s), LDAP_SUCCESS);
  EXPECT_EQ(Read(Env("QUELBY_TEST_SLAPD_PEOPLE_DN"), "ou"), "people");
}

// Adds entries to slapd for the life of the object (an OU of the test's own
// with referral objects in it, so that no other search meets them).
class SlapdEntries {
 public:
  // refs: (name, target URL) of referral objects under ou=<ou>.
  SlapdEntries(const std::string& ou, const std::vector<std::pair<std::string, std::string>>& refs)
      : container_("ou=" + ou + "," + Env("QUELBY_TEST_SLAPD_BASE")) {
    std::string ldif = "dn: " + container_ + "\nobjectClass: organizationalUnit\nou: " + ou + "\n\n";
    for (const auto& r : refs) {
      std::string dn = "ou=" + r.first + "," + container_;
      ldif += "dn: " + dn + "\nobjectClass: referral\nobjectClass: extensibleObject\nou: " + r.first +
              "\nref: " + r.second + "\n\n";
      dns_.insert(dns_.begin(), dn);
    }
    dns_.push_back(container_);
    FILE* p = popen(("ldapadd -x -H " + Url() + Credentials() + " >/dev/null 2>&1").c_str(), "w");
    if (p == nullptr) return;
    std::fputs(ldif.c_str(), p);
    added_ = pclose(p) == 0;
  }
  ~SlapdEntries() {
    for (const std::string& dn : dns_) {
      std::string cmd = "ldapdelete -x -M -H " + Url() + Credentials() + " '" + dn + "' >/dev/null 2>&1";
      std::system(cmd.c_str());
    }
  }
  bool added() const { return added_; }
  const std::string& container() const { return container_; }
  std::string Dn(const std::string& name) const { return "ou=" + name + "," + container_; }
  static std::string Url() {
    return "ldap://" + Env("QUELBY_TEST_SLAPD_HOST") + ":" + Env("QUELBY_TEST_SLAPD_PORT");
  }
  // The same slapd under another name (the DC's host name resolves to the
  // same address), so a chase opens a connection of its own and binds it.
  static std::string PeopleElsewhere() {
    return "ldap://" + Env("QUELBY_TEST_DC_HOST") + ":" + Env("QUELBY_TEST_SLAPD_PORT") + "/" +
           Env("QUELBY_TEST_SLAPD_PEOPLE_DN");
  }

 private:
  static std::string Credentials() {
    return " -D '" + Env("QUELBY_TEST_SLAPD_ROOTDN") + "' -w '" + Env("QUELBY_TEST_SLAPD_PASSWORD") + "'";
  }
  std::string container_;
  std::vector<std::string> dns_;
  bool added_ = false;
};

TEST_F(LdapServer, ChasedReferralReusesTheConnectionsCredentials) {
  SlapdEntries entries("chase" + std::to_string(getpid()), {{"ref", SlapdEntries::PeopleElsewhere()}});
  ASSERT_TRUE(entries.added());
  std::string dn = entries.Dn("ref");
  const char* attrs[] = {"1.1", nullptr};
  for (bool chase : {true, false}) {
    Open(Env("QUELBY_TEST_SLAPD_HOST"), std::stoul(Env("QUELBY_TEST_SLAPD_PORT")), false);
    if (!chase) {
      ASSERT_EQ(ldap_set_option(ld_, LDAP_OPT_REFERRALS, LDAP_OPT_OFF), LDAP_SUCCESS);
    }
    ASSERT_EQ(ldap_simple_bind_s(ld_, Env("QUELBY_TEST_SLAPD_ROOTDN").c_str(),
                                 Env("QUELBY_TEST_SLAPD_PASSWORD").c_str()),
              LDAP_SUCCESS);
    LDAPMessage* res = nullptr;
    ULONG rc = ldap_search_s(ld_, dn.c_str(), LDAP_SCOPE_ONELEVEL, "(objectClass=*)", attrs, 1, &res);
    char** refs = nullptr;
    ULONG code = 0;
    EXPECT_EQ(ldap_parse_result(ld_, res, &code, nullptr, nullptr, &refs, nullptr, 1), LDAP_SUCCESS);
    if (chase) {
      // Bound as the administrator again over there: no size limit applies
      // (an anonymous chase would stop at the limit).
      EXPECT_EQ(rc, LDAP_SUCCESS);
      EXPECT_EQ(code, LDAP_SUCCESS);
      EXPECT_EQ(refs, nullptr);
    } else {
      EXPECT_EQ(rc, LDAP_REFERRAL);
      EXPECT_EQ(code, LDAP_REFERRAL);
      ASSERT_EQ(ldap_count_values(refs), 1u);
      EXPECT_NE(std::string(refs[0]).find(Env("QUELBY_TEST_SLAPD_PEOPLE_DN")), std::string::npos);
    }
    ldap_value_free(refs);
    if (chase) {
      res = nullptr;
      ASSERT_EQ(ldap_search_s(ld_, dn.c_str(), LDAP_SCOPE_ONELEVEL, "(objectClass=*)", attrs, 1, &res),
                LDAP_SUCCESS);
      EXPECT_EQ(ldap_count_entries(ld_, res), std::stoul(Env("QUELBY_TEST_SLAPD_ENTRIES")));
      ldap_msgfree(res);
    }
    ldap_unbind(ld_);
    ld_ = nullptr;
  }
}

namespace {

// Entries of a paged search in pages of pageSize; the final code in *end.
ULONG PagedCount(LDAP* ld, const std::string& base, ULONG scope, ULONG pageSize, ULONG* end,
                 std::vector<ULONG>* pages = nullptr) {
  const char* attrs[] = {"1.1", nullptr};
  PLDAPSearch s = ldap_search_init_page(ld, base.c_str(), scope, "(objectClass=*)", attrs, 1, nullptr,
                                        nullptr, 0, 0, nullptr);
  if (s == nullptr) return 0;
  ULONG total = 0;
  ULONG rc;
  LDAPMessage* page = nullptr;
  int guard = 0;
  while ((rc = ldap_get_next_page_s(ld, s, nullptr, pageSize, nullptr, &page)) == LDAP_SUCCESS &&
         ++guard < 100) {
    total += ldap_count_entries(ld, page);
    if (pages != nullptr) pages->push_back(ldap_count_entries(ld, page));
    ldap_msgfree(page);
    page = nullptr;
  }
  ldap_msgfree(page);
  ldap_search_abandon_page(ld, s);
  *end = rc;
  return total;
}

}  // namespace

TEST_F(LdapServer, PagedSearchFollowsReferralsPageByPage) {
  // The referral to the people, and one to a server that does not answer.
  SlapdEntries entries("paged" + std::to_string(getpid()),
                       {{"ref", SlapdEntries::PeopleElsewhere()},
                        {"dead", "ldap://" + Env("QUELBY_TEST_SLAPD_HOST") + ":1/" +
                                     Env("QUELBY_TEST_SLAPD_PEOPLE_DN")}});
  ASSERT_TRUE(entries.added());
  std::string dn = entries.Dn("ref");
  const ULONG people = std::stoul(Env("QUELBY_TEST_SLAPD_ENTRIES"));
  auto open = [&](bool chase) {
    Open(Env("QUELBY_TEST_SLAPD_HOST"), std::stoul(Env("QUELBY_TEST_SLAPD_PORT")), false);
    if (!chase) ldap_set_option(ld_, LDAP_OPT_REFERRALS, LDAP_OPT_OFF);
    return ldap_simple_bind_s(ld_, Env("QUELBY_TEST_SLAPD_READER_DN").c_str(),
                              Env("QUELBY_TEST_SLAPD_READER_PASSWORD").c_str());
  };
  ULONG end = 0;
  // The base is the referral: every page comes from where it points, on the
  // followed connection, bound as the reader (paged, so beyond its size limit).
  ASSERT_EQ(open(true), LDAP_SUCCESS);
  std::vector<ULONG> pages;
  EXPECT_EQ(PagedCount(ld_, dn, LDAP_SCOPE_ONELEVEL, 1000, &end, &pages), people);
  EXPECT_EQ(end, LDAP_NO_RESULTS_RETURNED);
  EXPECT_EQ(pages.size(), 3u);
  // A subtree search meets the referrals as continuation references: the
  // referred subtree (ou=people and its entries) comes after the OU itself;
  // the one that does not answer is passed over.
  EXPECT_EQ(PagedCount(ld_, entries.container(), LDAP_SCOPE_SUBTREE, 1000, &end), 1 + 1 + people);
  EXPECT_EQ(end, LDAP_NO_RESULTS_RETURNED);
  // As the base, the one that does not answer ends the search with the reason.
  EXPECT_EQ(PagedCount(ld_, entries.Dn("dead"), LDAP_SCOPE_ONELEVEL, 1000, &end), 0u);
  EXPECT_EQ(end, LDAP_SERVER_DOWN);
  ldap_unbind(ld_);
  ld_ = nullptr;

  // Chasing off: the OU alone, and the base referral comes back as such.
  ASSERT_EQ(open(false), LDAP_SUCCESS);
  EXPECT_EQ(PagedCount(ld_, entries.container(), LDAP_SCOPE_SUBTREE, 1000, &end), 1u);
  EXPECT_EQ(end, LDAP_NO_RESULTS_RETURNED);
  EXPECT_EQ(PagedCount(ld_, dn, LDAP_SCOPE_ONELEVEL, 1000, &end), 0u);
  EXPECT_EQ(end, LDAP_REFERRAL);
}

TEST_F(LdapServer, SortedPagedSearchOnTheDc) {
  Open(dc_, LDAP_PORT, false);
  ASSERT_EQ(ldap_simple_bind_s(ld_, Env("QUELBY_TEST_USER_DN").c_str(),
                               Env("QUELBY_TEST_USER_PASSWORD").c_str()),
            LDAP_SUCCESS);
  for (bool reverse : {false, true}) {
    LDAPSortKey key{const_cast<char*>("cn"), nullptr, static_cast<BOOLEAN>(reverse)};
    LDAPSortKey* keys[] = {&key, nullptr};
    const char* attrs[] = {"cn", nullptr};
    PLDAPSearch s = ldap_search_init_page(ld_, Env("QUELBY_TEST_OU_DN").c_str(), LDAP_SCOPE_ONELEVEL,
                                          "(objectClass=group)", attrs, 0, nullptr, nullptr, 0, 0, keys);
    ASSERT_NE(s, nullptr);
    std::vector<std::string> names;
    LDAPMessage* page = nullptr;
    ULONG rc;
    while ((rc = ldap_get_next_page_s(ld_, s, nullptr, 2, nullptr, &page)) == LDAP_SUCCESS) {
      for (LDAPMessage* e = ldap_first_entry(ld_, page); e != nullptr; e = ldap_next_entry(ld_, e)) {
        char** cn = ldap_get_values(ld_, e, "cn");
        if (cn != nullptr) names.push_back(cn[0]);
        ldap_value_free(cn);
      }
      ldap_msgfree(page);
    }
    EXPECT_EQ(rc, LDAP_NO_RESULTS_RETURNED);
    ldap_search_abandon_page(ld_, s);
    ASSERT_GE(names.size(), 4u);
    for (size_t i = 1; i < names.size(); ++i) {
      int order = strcasecmp(names[i - 1].c_str(), names[i].c_str());
      EXPECT_TRUE(reverse ? order > 0 : order < 0) << names[i - 1] << " / " << names[i];
    }
  }
}

TEST_F(LdapServer, RootDseOverUdpOnTheDc) {
  ld_ = cldap_open(dc_.c_str(), LDAP_PORT);
  ASSERT_NE(ld_, nullptr);
  const char* attrs[] = {"dnsHostName", "defaultNamingContext", "supportedLDAPVersion", nullptr};
  LDAPMessage* res = nullptr;
  ASSERT_EQ(ldap_search_s(ld_, nullptr, LDAP_SCOPE_BASE, "(objectClass=*)", attrs, 0, &res), LDAP_SUCCESS);
  ASSERT_EQ(ldap_count_entries(ld_, res), 1u);
  LDAPMessage* e = ldap_first_entry(ld_, res);
  char** host = ldap_get_values(ld_, e, "dnshostname");  // names match in any case
  ASSERT_EQ(ldap_count_values(host), 1u);
  EXPECT_TRUE(SameText(host[0], dc_));
  ldap_value_free(host);
  char** nc = ldap_get_values(ld_, e, "defaultNamingContext");
  ASSERT_EQ(ldap_count_values(nc), 1u);
  EXPECT_TRUE(SameText(nc[0], Env("QUELBY_TEST_BASE")));
  ldap_value_free(nc);
  int seen = 0;
  BerElement* ber = nullptr;
  for (char* a = ldap_first_attribute(ld_, e, &ber); a != nullptr; a = ldap_next_attribute(ld_, e, ber)) {
    ++seen;
    ldap_memfree(a);
  }
  ber_free(ber, 0);
  EXPECT_EQ(seen, 3);
  EXPECT_EQ(ldap_parse_result(ld_, res, nullptr, nullptr, nullptr, nullptr, nullptr, 1), LDAP_SUCCESS);

  // The paged calls work on it too: one page, then the end.
  PLDAPSearch s = ldap_search_init_page(ld_, nullptr, LDAP_SCOPE_BASE, "((objectClass=*))", attrs, 0,
                                        nullptr, nullptr, 0, 0, nullptr);
  LDAPMessage* page = nullptr;
  l_timeval wait{5, 0};
  ASSERT_EQ(ldap_get_next_page_s(ld_, s, &wait, 1000, nullptr, &page), LDAP_SUCCESS);
  EXPECT_EQ(ldap_count_entries(ld_, page), 1u);
  ldap_msgfree(page);
  EXPECT_EQ(ldap_get_next_page_s(ld_, s, &wait, 1000, nullptr, &page), LDAP_NO_RESULTS_RETURNED);
  ldap_search_abandon_page(ld_, s);
}

// libldap writes the security strength (LDAP_OPT_X_SASL_SSF, 0x6104 in
// ldap.h, which cannot be included beside the platform's header) as a
// ber_len_t (unsigned long), but the library is not built with the sanitizers, which cannot
// see that write. This binary's own ldap_get_option, which the code under
// test calls, passes every call on and writes the strength again in the
// library's type, where the sanitizers report a variable too small for it.
extern "C" int ldap_get_option(void* ld, int option, void* outvalue) {
  constexpr int kSaslSsf = 0x6104;
  using Real = int (*)(void*, int, void*);
  static const auto real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "ldap_get_option"));
  if (option != kSaslSsf || outvalue == nullptr) return real(ld, option, outvalue);
  unsigned long ssf = 0;
  const int rc = real(ld, option, &ssf);
  if (rc == 0) std::memcpy(outvalue, &ssf, sizeof ssf);
  return rc;
}
