#include "directory/connection.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "common/process_state.h"
#include "directory/ldap_client_warm_up.h"
#include "directory/scripted_ldap_server.h"
#include "platform/ldap_client.h"

namespace {

int Port(std::string host, int setting, bool ssl, std::string* hostOut = nullptr) {
  int port = ConnectionPort(&host, setting, ssl);
  if (hostOut) *hostOut = host;
  return port;
}

TEST(ConnectionPort, DefaultAndGlobalCatalogPorts) {
  EXPECT_EQ(Port("dc1", 0, false), 389);
  EXPECT_EQ(Port("dc1", 0, true), 636);
  EXPECT_EQ(Port("dc1", 1, false), 3268);
  EXPECT_EQ(Port("dc1", 1, true), 3269);
  EXPECT_EQ(Port("dc1", 5000, true), 5000);
  EXPECT_EQ(Port("dc1", 5000, false), 5000);
  EXPECT_EQ(Port("", 0, false), 389);
}

TEST(ConnectionPort, PortInTheHostTextGivesWayToLaterRules) {
  std::string host;
  EXPECT_EQ(Port("dc1:1389", 0, false, &host), 1389);
  EXPECT_EQ(host, "dc1");
  EXPECT_EQ(Port("dc1:1389", 0, true), 636);
  EXPECT_EQ(Port("dc1:1389", 1, false), 3268);
  EXPECT_EQ(Port("dc1:1389", 2000, false), 2000);
  EXPECT_EQ(Port("dc1:0", 0, false), 389);
  // A negative setting changes nothing.
  EXPECT_EQ(Port("dc1:1389", -3, true), 1389);
  EXPECT_EQ(Port("dc1", -3, true), 389);
}

TEST(ConnectionPort, UdpPorts) {
  EXPECT_EQ(UdpConnectionPort(0), 389);
  EXPECT_EQ(UdpConnectionPort(1), 3268);
  EXPECT_EQ(UdpConnectionPort(4000), 4000);
  EXPECT_EQ(UdpConnectionPort(-1), 389);
}

struct Captured {
  plat::LDAP* ld;
  std::string out;
  std::string err;
};

template <typename F>
Captured Capture(F f) {
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  plat::LDAP* ld = f();
  Captured c{ld, testing::internal::GetCapturedStdout(), testing::internal::GetCapturedStderr()};
  return c;
}

TEST(OpenLDAP, NegotiatedBindRefusesDnFormUserNames) {
  for (const char* user : {"CN=Someone,DC=x", "uid=a,cn=users"}) {
    Captured c = Capture([&] {
      return OpenLDAP("127.0.0.1", 9, true, true, false, user, "pw", false, false, true, false, false);
    });
    EXPECT_EQ(c.ld, nullptr);
    EXPECT_EQ(c.out, "ERROR: DN format not currently supported for secure bind.\n\n");
    EXPECT_EQ(c.err, "");
  }
}

TEST(OpenLDAP, DotHostMeansLocalhostAndAFailedBindGivesTheErrorLine) {
  // Port 9 (discard) has no LDAP server on this machine.
  g_Debug = true;
  Captured c = Capture([] {
    return OpenLDAP(".anything", 9, false, true, true, "user", "secret", false, false, false, false, true);
  });
  g_Debug = false;
  EXPECT_EQ(c.ld, nullptr);
  EXPECT_NE(c.out.find("DEBUG: In OpenLDAP... Params:\nDEBUG:    Server:    localhost\n"
                       "DEBUG:    SSL: 0\nDEBUG:    Port:        9\nDEBUG:    Ref:       0\n"
                       "DEBUG:    V3:        1\nDEBUG:    Anonymous: 1\nDEBUG:    userdn: user\n"
                       "DEBUG:    password: secret\nDEBUG:    Simple: 1\n"
                       "DEBUG:    LDAP_OPT_ENCRYPT: 0\nDEBUG:    Delegation: 1\n"
                       "DEBUG:    Extended Error Info: 0\n"),
            std::string::npos)
      << c.out;
  EXPECT_NE(c.err.find("LDAP_OPTION: Version 3\nLDAP_OPTION: No referrals\n"), std::string::npos) << c.err;
  EXPECT_NE(c.err.find("LDAP_BIND: [localhost] Error 0x51 (81) - "), std::string::npos) << c.err;
  EXPECT_EQ(c.err.find("Successful"), std::string::npos);
}

TEST(OpenLDAP, NoServerShowsEmptyBrackets) {
  setenv("LDAPURI", "ldap://127.0.0.1:9", 1);  // the library's default server: nothing listens
  Captured c = Capture([] {
    return OpenLDAP(nullptr, 9, true, true, true, "", "", true, false, false, false, false);
  });
  unsetenv("LDAPURI");
  EXPECT_EQ(c.ld, nullptr);
  EXPECT_EQ(c.err.rfind("LDAP_BIND: [] Error 0x51 (81) - ", 0), 0u) << c.err;
}

TEST(UDPOpenLDAP, UnresolvableHostGivesTheErrorLine) {
  g_Debug = true;
  Captured c = Capture([] { return UDPOpenLDAP("no-such-host.invalid", 1); });
  g_Debug = false;
  EXPECT_EQ(c.ld, nullptr);
  EXPECT_EQ(c.out, "DEBUG: In UDPOpenLDAP... Params:\nDEBUG:    Server:    no-such-host.invalid\n"
                   "DEBUG:    Port:        3268\n");
  EXPECT_EQ(c.err.rfind("CLDAP_OPEN: [no-such-host.invalid] Error 0x", 0), 0u) << c.err;
}

TEST(PrintLdapError, LineFormat) {
  testing::internal::CaptureStderr();
  PrintLdapError("LDAP_OPTION (Version3): ", "dc1", 0x5E, nullptr);
  PrintLdapError("LDAP_BIND", "", 49, nullptr);
  std::string err = testing::internal::GetCapturedStderr();
  std::string expected = std::string("LDAP_OPTION (Version3): : [dc1] Error 0x5e (94) - ") +
                         plat::ldap_err2string(0x5E) + "\nLDAP_BIND: [] Error 0x31 (49) - " +
                         plat::ldap_err2string(49) + "\n";
  EXPECT_EQ(err, expected);
}

TEST(OpenLDAP, UnusableHostTextOrPortGivesTheSslinitLine) {
  Captured c = Capture([] {
    return OpenLDAP("bad/host", 0, true, true, true, "", "", true, false, false, false, false);
  });
  EXPECT_EQ(c.ld, nullptr);
  EXPECT_EQ(c.err, std::string("LDAP_SSLINIT: [bad/host] Error 0x59 (89) - ") + plat::ldap_err2string(0x59) + "\n");
  c = Capture([] { return OpenLDAP("dc1", 70000, true, true, true, "", "", true, false, false, false, false); });
  EXPECT_EQ(c.ld, nullptr);
  EXPECT_EQ(c.err.rfind("LDAP_SSLINIT: [dc1] Error 0x", 0), 0u) << c.err;
}

TEST(OpenLDAP, SuccessLineShowsTheServerTextAsGiven) {
  ScriptedLdapServer server({});
  std::string given = "127.0.0.1:" + std::to_string(server.port());
  g_Debug = true;
  Captured c = Capture([&] {
    return OpenLDAP(given.c_str(), 0, false, true, false, "CN=Someone,DC=x", "pw", true, false, false, false, false);
  });
  g_Debug = false;
  ASSERT_NE(c.ld, nullptr);
  plat::ldap_unbind(c.ld);
  EXPECT_NE(c.out.find("DEBUG:    Server:    127.0.0.1\n"), std::string::npos) << c.out;
  EXPECT_NE(c.out.find("DEBUG:    Port:        " + std::to_string(server.port()) + "\n"), std::string::npos);
  EXPECT_EQ(c.err, "LDAP_OPTION: Version 3\nLDAP_OPTION: No referrals\nLDAP_BIND: [" + given + "] Successful\n");
}

TEST(OpenLDAP, RefusedBindGivesOneLineOrTheExtendedTextToo) {
  ScriptedLdapServer server({});
  server.SetBindResult(49, "80090308: LdapErr: DSID-0C09041C, data 52e");
  std::string given = "127.0.0.1:" + std::to_string(server.port());
  std::string line = std::string("LDAP_BIND: [127.0.0.1] Error 0x31 (49) - ") + plat::ldap_err2string(49) + "\n";
  Captured c = Capture([&] {
    return OpenLDAP(given.c_str(), 0, true, true, false, "CN=Someone,DC=x", "pw", true, false, true, false, false);
  });
  EXPECT_EQ(c.ld, nullptr);
  EXPECT_EQ(c.err, line + "Extended Error: (80090308: LdapErr: DSID-0C09041C, data 52e)\n");
}

TEST(PrintLdapError, ServerTextsAreEscaped) {
  ScriptedLdapServer server({});
  server.SetBindResult(49, "no\nExtended Error: (forged)");
  std::string given = "127.0.0.1:" + std::to_string(server.port());
  Captured c = Capture([&] {
    return OpenLDAP(given.c_str(), 0, true, true, false, "CN=Someone,DC=x", "pw", true, false, true, false, false);
  });
  EXPECT_EQ(c.ld, nullptr);
  EXPECT_EQ(c.err, std::string("LDAP_BIND: [127.0.0.1] Error 0x31 (49) - ") + plat::ldap_err2string(49) +
                       "\nExtended Error: (no\\0AExtended Error: (forged))\n");
  testing::internal::CaptureStderr();
  PrintLdapError("ldap_get_next_page_s", "dc1\r\n", 1, nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            std::string("ldap_get_next_page_s: [dc1\\0D\\0A] Error 0x1 (1) - ") + plat::ldap_err2string(1) + "\n");
}

TEST(OpenLDAP, ABindAnsweredWithCodeMinusOneIsAProtocolError) {
  ScriptedLdapServer server({});
  server.SetBindResult(-1, "");
  std::string given = "127.0.0.1:" + std::to_string(server.port());
  Captured c = Capture([&] {
    return OpenLDAP(given.c_str(), 0, true, true, false, "CN=Someone,DC=x", "pw", true, false, false, false, false);
  });
  EXPECT_EQ(c.ld, nullptr);
  EXPECT_EQ(c.err, std::string("LDAP_BIND: [127.0.0.1] Error 0x2 (2) - ") + plat::ldap_err2string(2) + "\n");
}

TEST(OpenLDAP, RefusedBindWithoutExtendedErrorsGivesExactlyOneLine) {
  ScriptedLdapServer server({});
  server.SetBindResult(49, "80090308: LdapErr: DSID-0C09041C, data 52e");
  std::string given = "127.0.0.1:" + std::to_string(server.port());
  Captured c = Capture([&] {
    return OpenLDAP(given.c_str(), 0, true, true, false, "CN=Someone,DC=x", "pw", true, false, false, false, false);
  });
  EXPECT_EQ(c.ld, nullptr);
  EXPECT_EQ(c.err, std::string("LDAP_BIND: [127.0.0.1] Error 0x31 (49) - ") + plat::ldap_err2string(49) + "\n");
}

TEST(OpenLDAP, ABindThatGetsNoAnswerEndsWithTheWaitLimit) {
  WarmUpLdapClient();
  SetDirectoryWaitLimit(1);
  EXPECT_EQ(DirectoryWaitLimit(), 1);
  struct Case {
    const char* what;
    bool ssl;
    bool simple;
    const char* code;
  };
  const Case cases[] = {
      {"simple bind", false, true, "Error 0x55 (85)"},
      {"negotiated bind", false, false, "Error 0x55 (85)"},
      {"TLS handshake", true, true, "Error 0x"},
  };
  for (const Case& c : cases) {
    ScriptedLdapServer server({});
    if (c.ssl) {
      server.StallAfterAccept();
    } else {
      server.StallAtBind();
    }
    const std::string given = "127.0.0.1:" + std::to_string(server.port());
    const auto start = std::chrono::steady_clock::now();
    Captured r = Capture([&] {
      return OpenLDAP(given.c_str(), server.port(), true, true, false, c.simple ? "CN=u,DC=x" : "u",
                      "pw", c.simple, false, false, c.ssl, false);
    });
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4)) << c.what;
    EXPECT_EQ(r.ld, nullptr) << c.what;
    // (The negotiated bind first says why Kerberos is not used: no realm.)
    EXPECT_NE(r.err.find(std::string("LDAP_BIND: [127.0.0.1] ") + c.code), std::string::npos)
        << c.what << r.err;
  }
  SetDirectoryWaitLimit(0);
  EXPECT_EQ(DirectoryWaitLimit(), 120);
}

}  // namespace
