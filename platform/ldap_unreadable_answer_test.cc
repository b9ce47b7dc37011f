// A search answer whose body cannot be read, from a server that then goes
// away: the connection still closes.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/ldap_client.h"

// libldap loses the record of a request whose answer it cannot read (no
// call releases it); its stacks are unwound the slow way to find it.
extern "C" const char* __lsan_default_suppressions() { return "leak:ldap_send_server_request\n"; }
extern "C" const char* __asan_default_options() { return "fast_unwind_on_malloc=0"; }

namespace {

TEST(UnreadableAnswer, TheConnectionStillCloses) {
  // Answers to the first search (message 1), after which the server closes
  // its end. libldap aborted the process on each: at the unbind, after an
  // entry whose body claims more bytes than its message holds and a result
  // whose body cannot be read; at once, on a notice of disconnection whose
  // response name is empty (taken now as a broken connection).
  const struct {
    std::string answer;
    std::vector<ULONG> codes;
  } cases[] = {
      {std::string("\x30\x08\x02\x01\x01\x64\x10\x04\x01\x61", 10) + std::string("\x30\x0a\x02\x01\x01\x65", 6) +
           std::string(6, '\xe1'),
       {plat::LDAP_DECODING_ERROR, plat::LDAP_SERVER_DOWN}},
      {std::string("\x30\x0f\x02\x01\x00\x78\x0a\x0a\x01\x34\x04\x00\x04\x01\x78\x8a\x00", 17),
       {plat::LDAP_SERVER_DOWN}},
  };
  for (const auto& c : cases) {
    int ends[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, ends), 0);
    ASSERT_EQ(write(ends[1], c.answer.data(), c.answer.size()), static_cast<ssize_t>(c.answer.size()));
    shutdown(ends[1], SHUT_WR);
    plat::LDAP* ld = plat::ldap_init_on_socket(ends[0], "dc1.t", plat::LDAP_PORT);
    ASSERT_NE(ld, nullptr);
    for (ULONG expected : c.codes) {
      plat::LDAPMessage* result = nullptr;
      EXPECT_EQ(plat::ldap_search_s(ld, "DC=t", plat::LDAP_SCOPE_BASE, nullptr, nullptr, 0, &result), expected);
      plat::ldap_msgfree(result);
    }
    EXPECT_EQ(plat::ldap_unbind(ld), plat::LDAP_SUCCESS);
    close(ends[1]);
  }
}

}  // namespace
