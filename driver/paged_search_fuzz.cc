// Fuzz target: a whole run against a server whose bytes the fuzzer chooses,
// over a socketpair: the bind, the RootDSE read, the paged search with the
// next page sent ahead, the batch SID lookups, the SID names, ranged values
// read on, referrals and the abandon. Input: two setting bytes, then the
// server's bytes as chunks, each a 16-bit big-endian length and its bytes.
// A chunk goes out once the client has read all before it (chunk boundaries
// are where replies split); after the last the server shuts its end, so
// every wait of the client ends at once. Byte 0: 0x01 read the RootDSE (else
// a hand-made one naming DC=t), 0x02 chase referrals (only in a network
// namespace of our own), 0x04 decode descriptors, 0x08 the "+" form, 0x10
// -owner, 0x20 extended errors, 0x40 SIDs named by <SID=...> DNs, 0x80 no
// SID names. Byte 1: bits 0-1 page size - 1, bits 2-4 -maxe, 0x20 count
// only, 0x40 debug. Requests are numbered 1 (the bind), 2, 3... as sent.
#include <linux/sockios.h>
#include <poll.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <memory>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "common/cmdline.h"
#include "common/process_state.h"
#include "common/zqtimer.h"
#include "directory/root_dse.h"
#include "directory/sid_account_lookup.h"
#include "driver/search_phases.h"
#include "platform/ldap_client.h"
#include "values/attribute_kinds.h"

// libldap keeps allocations of its own where nothing is handed back that
// could be released: a notice of disconnection's BER element and texts, and
// the request record of a search whose answer cannot be decoded, with the
// referral texts it collected (a plain libldap client loses them the same
// way); a message we leak is still found. libldap has no frame pointers: its stacks are unwound the slow way.
// It also reserves the length a message claims (up to 4 GiB) before the
// bytes come: under a sanitizer a claim past 64 MiB fails as without memory.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:ldap_alloc_ber_with_options\nleak:ber_get_stringa_null\nleak:ber_get_next\n"
         "leak:ldap_send_server_request\nleak:ldap_append_referral\n";
}
extern "C" const char* __lsan_default_options() { return "print_suppressions=0"; }
extern "C" const char* __asan_default_options() {
  return "fast_unwind_on_malloc=0:max_allocation_size_mb=64:allocator_may_return_null=1";
}

namespace {

bool g_isolated = false;  // a network namespace of our own
FILE* g_null = nullptr;   // /dev/null for the run's stdio output

// The run's output (streams and stdio alike) goes nowhere while an input
// runs; libFuzzer's and the sanitizers' reports are written elsewhere.
struct Silence {
  std::streambuf* out = std::cout.rdbuf(nullptr);
  std::streambuf* err = std::cerr.rdbuf(nullptr);
  FILE* savedOut = std::exchange(stdout, g_null);
  FILE* savedErr = std::exchange(stderr, g_null);
  ~Silence() {
    std::cout.rdbuf(out);
    std::cerr.rdbuf(err);
    stdout = savedOut;
    stderr = savedErr;
  }
};

// Reads and drops what the client wrote; false once its end is closed.
bool DrainClient(int fd) {
  char sink[4096];
  for (;;) {
    const ssize_t n = recv(fd, sink, sizeof sink, MSG_DONTWAIT);
    if (n <= 0) return n < 0 && (errno == EAGAIN || errno == EINTR);
  }
}

// The server end: writes chunk after chunk, each once the client has read
// everything before it (SIOCOUTQ of this end is 0), and drains what the
// client writes, so that it never blocks on a write. Once the last chunk has
// been read it shuts its sending side and drains on until the client closes
// its end. Reading leaves no event on this end: it looks again every 300 us.
void PlayServer(int fd, const std::vector<std::string_view>* chunks) {
  size_t next = 0;
  std::string_view pending;  // what is left to send of the current chunk
  bool shut = false;
  for (;;) {
    if (!DrainClient(fd)) return;
    int unread = 0;
    if (!pending.empty()) {
      const ssize_t n = send(fd, pending.data(), pending.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
      if (n < 0 && errno != EAGAIN && errno != EINTR) return;
      if (n > 0) pending.remove_prefix(static_cast<size_t>(n));
    } else if (!shut && (ioctl(fd, SIOCOUTQ, &unread) != 0 || unread == 0)) {
      if (next < chunks->size()) {
        pending = (*chunks)[next++];
        continue;
      }
      shutdown(fd, SHUT_WR);
      shut = true;
    }
    pollfd p{fd, static_cast<short>(POLLIN | (pending.empty() ? 0 : POLLOUT)), 0};
    const timespec wait{0, 300'000};
    ppoll(&p, 1, shut ? nullptr : &wait, nullptr);
  }
}

// The client end: a connection on the socket, the bind, then the RootDSE
// and the paged search of a run, set up as the driver's phases set them up.
void RunClient(int socket, uint8_t flags, uint8_t more) {
  plat::LDAP* ld = plat::ldap_init_on_socket(socket, "dc1.t", plat::LDAP_PORT);
  if (ld == nullptr) return;
  ULONG oneSecond = 1;
  plat::ldap_set_option(ld, plat::LDAP_OPT_WAIT_LIMIT, &oneSecond);
  if ((flags & 0x02) == 0 || !g_isolated) plat::ldap_set_option(ld, plat::LDAP_OPT_REFERRALS, plat::LDAP_OPT_OFF);
  QuerySettings settings;
  CZQTimer timers("");
  char program[] = "quelby";
  char* argv[] = {program, nullptr};
  CCmdLine cmdLine(1, argv, {}, false);
  QueryRun run{cmdLine, settings, &timers};
  SearchState& st = run.search;
  if (plat::ldap_simple_bind_s(ld, "CN=fuzz,DC=t", "pw") == plat::LDAP_SUCCESS) {
    settings.base = "DC=t";
    settings.filter = "(objectClass=*)";
    settings.pageSize = 1 + (more & 3);
    settings.maxEntries = (more >> 2) & 7;
    settings.countOnly = (more & 0x20) != 0;
    settings.decodeSecurityDescriptors = (flags & 0x0c) != 0;
    settings.owner = (flags & 0x10) != 0;
    settings.extendedErrors = (flags & 0x20) != 0;
    g_SddlPlus = (flags & 0x08) != 0;
    g_ResolveSidsViaLdap = (flags & 0x40) != 0;
    g_ResolveSids = (flags & 0x80) == 0;
    g_Debug = (more & 0x40) != 0;
    st.connection = ld;
    const bool read = (flags & 0x01) != 0;
    st.rootDse = std::make_unique<CRootDSE>(read ? ld : nullptr);
    if (!read) {  // what the connection phase keeps of a domain controller's
      st.rootDse->defaultNamingContext = "DC=t";
      st.rootDse->configurationNamingContext = "CN=Configuration,DC=t";
      st.rootDse->schemaNamingContext = "CN=Schema,CN=Configuration,DC=t";
      st.rootDse->dnsHostName = "dc1.t";
      st.rootDse->isAD = true;
      st.rootDse->isADV51 = g_ResolveSidsViaLdap;
    }
    // A RootDSE that cannot be read ends the run, as it does in the driver.
    if (st.rootDse->valid || !read) {
      st.isAD = st.rootDse->isAD;
      st.isADV51 = st.rootDse->isADV51;
      st.isADAM = st.rootDse->isADAM;
      g_SidLookupServer = st.rootDse->dnsHostName;
      g_LdapSession = ld;
      g_RootDse = st.rootDse.get();
      // All attributes and, named, the descriptor (a directory returns it
      // only when asked for it by name).
      st.attributeNames = {"*", "nTSecurityDescriptor"};
      st.searchAttributes = {st.attributeNames[0].c_str(), st.attributeNames[1].c_str(), nullptr};
      st.requestedAttributeSet = {{"*", 1}, {"ntsecuritydescriptor", 1}};
      st.sortKeyList = {nullptr, nullptr};
      RunPagedSearch(run);
    }
  }
  g_LdapSession = nullptr;
  g_RootDse = nullptr;
  g_Debug = false;
  plat::ldap_unbind(ld);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  g_isolated = unshare(CLONE_NEWNET) == 0;
  g_null = std::fopen("/dev/null", "w");
  if (g_null == nullptr) std::abort();
  LoadAttributeKindMaps();
  g_SecurityDescriptorAttributes["nTSecurityDescriptor"] = 1;  // what the schema step adds
  InstallDirectorySidLookup();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  std::vector<std::string_view> chunks;
  for (size_t at = 2; at + 2 <= size;) {
    const size_t n = std::min<size_t>(size_t{data[at]} << 8 | data[at + 1], size - at - 2);
    chunks.emplace_back(reinterpret_cast<const char*>(data) + at + 2, n);
    at += 2 + n;
  }
  int ends[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) std::abort();
  std::thread server(PlayServer, ends[1], &chunks);
  {
    Silence quiet;
    RunClient(ends[0], data[0], data[1]);  // the socket is the connection's
  }
  server.join();
  close(ends[1]);
  // The next input starts a run afresh.
  g_SidNameCache.clear();
  g_AceTextCache.clear();
  ResetSidLookups();
  return 0;
}
