// The default server from each source, and a connection opened without a
// host going there. libldap reads its configuration once per process, so
// each row runs in a child process of its own, with its own environment and
// never the machine's ldap.conf or krb5.conf.
#include "platform/default_server.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "directory/scripted_ldap_server.h"
#include "platform/ldap_client.h"

namespace {

using From = plat::DefaultServerChoice::From;

// What `body` returns, run in a child process.
std::string InChild(const std::function<std::string()>& body) {
  int fds[2];
  if (pipe(fds) != 0) return "no pipe";
  const pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    const std::string out = body();
    (void)!write(fds[1], out.data(), out.size());
    _exit(0);
  }
  close(fds[1]);
  std::string out;
  char buf[512];
  for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;) out.append(buf, static_cast<size_t>(n));
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  return out;
}

std::string Text(const plat::DefaultServerChoice& c) {
  static const char* const kFrom[] = {"localhost", "ldap configuration", "realm name", "realm srv"};
  std::string out = kFrom[static_cast<int>(c.from)];
  for (const plat::DefaultServer& s : c.servers) out += " " + s.host + "/" + std::to_string(s.port);
  return out;
}

class DefaultServerTest : public testing::Test {
 protected:
  void SetUp() override {
    char dir[] = "/tmp/default_server_testXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    dir_ = dir;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string Write(const std::string& name, const std::string& text) {
    const std::string path = dir_ + "/" + name;
    std::ofstream(path) << text;
    return path;
  }

  // Only the variables of the row speak; nothing is read from the machine.
  void Isolate() {
    for (const char* v : {"LDAPURI", "LDAPHOST", "LDAPCONF", "LDAPRC", "LDAPNOINIT"}) unsetenv(v);
    setenv("HOME", dir_.c_str(), 1);
    setenv("KRB5_CONFIG", (dir_ + "/no-krb5.conf").c_str(), 1);
  }

  std::string dir_;
};

TEST_F(DefaultServerTest, EachSourceInItsTurn) {
  const std::string ldapConf = Write("ldap.conf", "URI ldap://dc3.example.test/\n");
  Write("quelbyrc", "URI ldaps://dc4.example.test\n");
  const std::string realm = Write("krb5.conf", "[libdefaults]\n default_realm = LOCALHOST\n");
  const std::string noRealm = Write("other-krb5.conf", "[libdefaults]\n dns_lookup_realm = false\n");
  struct Row {
    const char* name;
    std::vector<std::pair<const char*, std::string>> env;
    std::string expected;
  } rows[] = {
      {"LDAPURI: TCP hosts in order, the port of plain LDAP only",
       {{"LDAPURI", "ldapi:/// ldap://dc1.example.test:1389 ldaps://dc2.example.test:1636 ldap://[::1]/"},
        {"KRB5_CONFIG", realm}},
       "ldap configuration dc1.example.test/1389 dc2.example.test/0 ::1/0"},
      {"ldap.conf named by LDAPCONF", {{"LDAPCONF", ldapConf}, {"KRB5_CONFIG", realm}},
       "ldap configuration dc3.example.test/0"},
      {"ldaprc named by LDAPRC", {{"LDAPRC", "quelbyrc"}}, "ldap configuration dc4.example.test/0"},
      {"only a local socket configured: this machine", {{"LDAPURI", "ldapi:///"}, {"KRB5_CONFIG", realm}},
       "ldap configuration"},
      {"no URI: the realm's domain, which resolves", {{"LDAPNOINIT", "1"}, {"KRB5_CONFIG", realm}},
       "realm name localhost/0"},
      {"no URI, no realm", {{"LDAPNOINIT", "1"}, {"KRB5_CONFIG", noRealm}}, "localhost"},
      {"no URI, no Kerberos configuration", {{"LDAPNOINIT", "1"}}, "localhost"},
  };
  for (const Row& row : rows) {
    const std::string got = InChild([&] {
      Isolate();
      for (const auto& [name, value] : row.env) setenv(name, value.c_str(), 1);
      return Text(plat::detail::ChooseDefaultServer());
    });
    EXPECT_EQ(got, row.expected) << row.name;
  }
}

TEST_F(DefaultServerTest, ConnectionWithoutHostGoesThereOnThePortRules) {
  const std::string got = InChild([&] {
    Isolate();
    ScriptedLdapServer server({});
    setenv("LDAPURI", ("ldap://127.0.0.1:" + std::to_string(server.port())).c_str(), 1);
    std::string out;
    // The configured port takes the place of the plain LDAP port only.
    for (auto [port, secure] : {std::pair{389, false}, {636, true}, {3268, false}, {5000, false}}) {
      for (const plat::DefaultServer& s : plat::DefaultServersOn(port, secure)) {
        out += s.host + ":" + (s.port == static_cast<unsigned long>(server.port()) ? "configured"
                                                                                     : std::to_string(s.port));
        out += " ";
      }
    }
    plat::LDAP* ld = plat::ldap_sslinit(nullptr, 389, 0);
    if (ld == nullptr) return out + "no handle";
    out += "bind " + std::to_string(plat::ldap_simple_bind_s(ld, nullptr, nullptr));
    const char* host = nullptr;
    plat::ldap_get_option(ld, plat::LDAP_OPT_HOST_NAME, &host);
    out += " host [" + std::string(host != nullptr ? host : "?") + "]";
    plat::ldap_unbind(ld);
    return out;
  });
  EXPECT_EQ(got, "127.0.0.1:configured 127.0.0.1:636 127.0.0.1:3268 127.0.0.1:5000 bind 0 host []");
}

}  // namespace
