// The default server from each source. libldap reads its configuration once
// per process, so each row runs in a child process of its own, with its own
// environment and never the machine's ldap.conf or krb5.conf.
#include "platform/default_server_lookup.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace {

using Env = std::vector<std::pair<const char*, std::string>>;

// The choice as text, made in a child process with the variables of env.
std::string ChoiceInChild(const std::string& dir, const Env& env) {
  int fds[2];
  if (pipe(fds) != 0) return "no pipe";
  const pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    for (const char* v : {"LDAPURI", "LDAPHOST", "LDAPCONF", "LDAPRC", "LDAPNOINIT"}) unsetenv(v);
    setenv("HOME", dir.c_str(), 1);
    setenv("KRB5_CONFIG", (dir + "/no-krb5.conf").c_str(), 1);
    for (const auto& [name, value] : env) setenv(name, value.c_str(), 1);
    const plat::DefaultServerChoice c = plat::detail::ChooseDefaultServer();
    static const char* const kFrom[] = {"localhost", "ldap configuration", "realm name", "realm srv"};
    std::string out = kFrom[static_cast<int>(c.from)];
    for (const plat::DefaultServer& s : c.servers) out += " " + s.host + "/" + std::to_string(s.port);
    (void)!write(fds[1], out.data(), out.size());
    _exit(0);
  }
  close(fds[1]);
  std::string out;
  char buf[512];
  for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;) out.append(buf, static_cast<size_t>(n));
  close(fds[0]);
  waitpid(pid, nullptr, 0);
  return out;
}

TEST(DefaultServer, EachSourceInItsTurn) {
  char temp[] = "/tmp/default_server_testXXXXXX";
  ASSERT_NE(mkdtemp(temp), nullptr);
  const std::string dir = temp;
  std::ofstream(dir + "/ldap.conf") << "URI ldap://dc3.example.test/\n";
  std::ofstream(dir + "/quelbyrc") << "URI ldaps://dc4.example.test\n";
  std::ofstream(dir + "/krb5.conf") << "[libdefaults]\n default_realm = LOCALHOST\n";
  std::ofstream(dir + "/other.conf") << "[libdefaults]\n dns_lookup_realm = false\n";
  const std::string realm = dir + "/krb5.conf";
  const struct {
    const char* name;
    Env env;
    const char* expected;
  } rows[] = {
      {"LDAPURI: TCP hosts in order, the port of plain LDAP only",
       {{"LDAPURI", "ldapi:/// ldap://dc1.example.test:1389 ldaps://dc2.example.test:1636 ldap://[::1]/"},
        {"KRB5_CONFIG", realm}},
       "ldap configuration dc1.example.test/1389 dc2.example.test/0 ::1/0"},
      {"ldap.conf named by LDAPCONF", {{"LDAPCONF", dir + "/ldap.conf"}, {"KRB5_CONFIG", realm}},
       "ldap configuration dc3.example.test/0"},
      {"ldaprc named by LDAPRC", {{"LDAPRC", "quelbyrc"}}, "ldap configuration dc4.example.test/0"},
      {"only a local socket configured: this machine", {{"LDAPURI", "ldapi:///"}, {"KRB5_CONFIG", realm}},
       "ldap configuration"},
      {"no URI: the realm's domain, which resolves", {{"LDAPNOINIT", "1"}, {"KRB5_CONFIG", realm}},
       "realm name localhost/0"},
      {"no URI, no realm", {{"LDAPNOINIT", "1"}, {"KRB5_CONFIG", dir + "/other.conf"}}, "localhost"},
      {"no URI, no Kerberos configuration", {{"LDAPNOINIT", "1"}}, "localhost"},
  };
  for (const auto& row : rows) EXPECT_EQ(ChoiceInChild(dir, row.env), row.expected) << row.name;
  std::filesystem::remove_all(dir);
}

}  // namespace
