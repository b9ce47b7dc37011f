// Fuzz target: a whole run against a server whose bytes the fuzzer chooses,
// over a socketpair: the simple bind, the RootDSE read (by choice), then the
// paged search with the next page sent ahead, the batch SID lookups before
// each page, the SID names, ranged values read on, referrals and the abandon.
//
// Input: two setting bytes, then the server's bytes as chunks, each a 16-bit
// big-endian length and that many bytes (a length past the end takes the
// rest). A chunk goes out only once the client has read all before it, so
// chunk boundaries are where replies split; after the last one is read the
// server shuts its end, so every wait of the client ends at once.
//   byte 0: 0x01 read the RootDSE (else a hand-made one naming DC=t)
//           0x02 chase referrals (only when the process has a network
//                namespace of its own: referral URLs then reach nothing)
//           0x04 decode security descriptors    0x08 the "+" descriptor form
//           0x10 -owner                          0x20 extended errors
//           0x40 SIDs named through <SID=...> DNs (hand-made RootDSE: AD 5.1)
//           0x80 SID names not resolved
//   byte 1: bits 0-1 page size - 1, bits 2-4 -maxe (0: none), 0x20 count
//           only, 0x40 debug output
// Requests are numbered 1 (the bind), 2, 3... as the client sends them (an
// abandon takes a number too).
//
// With --write-seeds=DIR the target writes its seed inputs there and exits.
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
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>
#include <streambuf>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "common/cmdline.h"
#include "common/process_state.h"
#include "common/zqtimer.h"
#include "directory/root_dse.h"
#include "directory/scripted_ldap_server.h"
#include "directory/sid_account_lookup.h"
#include "driver/search_phases.h"
#include "platform/ldap_client.h"
#include "platform/security_descriptor_builder.h"
#include "values/attribute_kinds.h"

// libldap leaves a few allocations of its own where nothing is handed back
// that could be released; a result message that the client leaks is still
// found (its record is ours):
// - a notice of disconnection: its BER element and two texts, dropped when
//   ldap_result returns -1 (as in driver/paged_search_test.cc);
// - a search whose answer cannot be decoded (ldap_result returns -1 with a
//   decoding error): its request record, with the request's BER element,
//   which not even ldap_unbind_ext releases (a plain libldap client loses
//   it the same way).
// The library has no frame pointers, so its stacks are unwound the slow way.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:ldap_alloc_ber_with_options\nleak:ber_get_stringa_null\nleak:ber_get_next\n"
         "leak:ldap_send_server_request\n";
}
// Suppressed leaks are not listed after every check (the logs stay small).
extern "C" const char* __lsan_default_options() { return "print_suppressions=0"; }
// libldap reserves the length a message claims (up to 4 GiB) before its
// bytes come. Without a sanitizer that is address space only; under one it
// costs seconds and gigabytes. A claim past 64 MiB (far more than any input
// holds) fails as on a machine without that memory: malloc gives null.
extern "C" const char* __asan_default_options() {
  return "fast_unwind_on_malloc=0:max_allocation_size_mb=64:allocator_may_return_null=1";
}

namespace {

enum : uint8_t {
  kReadRootDse = 0x01,
  kChase = 0x02,
  kDecodeDescriptors = 0x04,
  kSddlPlus = 0x08,
  kOwner = 0x10,
  kExtendedErrors = 0x20,
  kSidDns = 0x40,
  kNoSidNames = 0x80,
};
enum : uint8_t { kCountOnly = 0x20, kDebug = 0x40 };

bool g_isolated = false;            // a network namespace of our own
FILE* g_null = nullptr;             // /dev/null for the run's stdio output
std::unique_ptr<CRootDSE> g_handMade;

class NullBuffer : public std::streambuf {
 protected:
  int overflow(int c) override { return traits_type::not_eof(c); }
  std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};
NullBuffer g_nullBuffer;

// The run's output (standard streams and stdio alike) goes nowhere while an
// input runs. libFuzzer prints through the stream it took at its start and
// the sanitizers write to the descriptor, so their reports stay; the text of
// a failed assert() inside the run is lost, its abort is still reported.
class Silence {
 public:
  Silence() : out_(std::cout.rdbuf(&g_nullBuffer)), err_(std::cerr.rdbuf(&g_nullBuffer)) {
    stdout = stderr = g_null;
  }
  ~Silence() {
    std::cout.rdbuf(out_);
    std::cerr.rdbuf(err_);
    stdout = savedOut_;
    stderr = savedErr_;
  }

 private:
  std::streambuf* out_;
  std::streambuf* err_;
  FILE* savedOut_ = stdout;
  FILE* savedErr_ = stderr;
};

std::vector<std::string_view> Chunks(const uint8_t* data, size_t size) {
  std::vector<std::string_view> chunks;
  for (size_t at = 0; at + 2 <= size;) {
    const size_t n = std::min<size_t>(size_t{data[at]} << 8 | data[at + 1], size - at - 2);
    chunks.emplace_back(reinterpret_cast<const char*>(data) + at + 2, n);
    at += 2 + n;
  }
  return chunks;
}

// Reads and drops what the client wrote; false once its end is closed.
bool DrainClient(int fd) {
  char sink[4096];
  for (;;) {
    const ssize_t n = recv(fd, sink, sizeof sink, MSG_DONTWAIT);
    if (n <= 0) return n < 0 && (errno == EAGAIN || errno == EINTR);
  }
}

// The server end: writes chunk after chunk, each once the client has read
// everything before it (nothing left in the socket: SIOCOUTQ of this end is
// 0), and drains what the client writes, so that the client never blocks on
// a write. Once the last chunk has been read it shuts its sending side (the
// client's waits end at once) and drains on until the client closes its end.
void PlayServer(int fd, const std::vector<std::string_view>* chunks) {
  // Reading leaves no event on this end: the wait for it is a poll that
  // grows longer while the client works (a request it sends wakes it).
  constexpr long kFirstPollNs = 10'000;
  constexpr long kLongestPollNs = 500'000;
  // The read-ahead layer tops a small read up once after a pause (250 us):
  // the next chunk waits a little longer past the read, so that it comes as
  // a read of its own where the machine keeps up. Only where the replies
  // split depends on it, never whether a wait ends.
  constexpr long kSettleNs = 500'000;
  size_t next = 0;
  std::string_view pending;  // what is left to send of the current chunk
  bool settled = true;
  bool shut = false;
  long pollNs = kFirstPollNs;
  for (;;) {
    if (!DrainClient(fd)) return;
    if (!pending.empty()) {
      const ssize_t n = send(fd, pending.data(), pending.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
      if (n < 0 && errno != EAGAIN && errno != EINTR) return;
      if (n > 0) pending.remove_prefix(static_cast<size_t>(n));
    } else if (int unread = 0; !shut && (ioctl(fd, SIOCOUTQ, &unread) != 0 || unread == 0)) {
      if (next == chunks->size()) {
        shutdown(fd, SHUT_WR);
        shut = true;
      } else if (!settled) {
        const timespec settle{0, kSettleNs};
        nanosleep(&settle, nullptr);
        settled = true;
      } else {
        pending = (*chunks)[next++];
        settled = false;
        pollNs = kFirstPollNs;
      }
      continue;
    }
    pollfd p{fd, static_cast<short>(POLLIN | (pending.empty() ? 0 : POLLOUT)), 0};
    const timespec wait{0, pollNs};
    ppoll(&p, 1, shut ? nullptr : &wait, nullptr);
    pollNs = std::min(pollNs * 2, kLongestPollNs);
  }
}

// The RootDSE of a run that does not read it: what the connection phase
// would have kept of a domain controller's.
void FillHandMadeRootDse(CRootDSE* root, bool adV51) {
  root->defaultNamingContext = "DC=t";
  root->configurationNamingContext = "CN=Configuration,DC=t";
  root->schemaNamingContext = "CN=Schema,CN=Configuration,DC=t";
  root->dnsHostName = "dc1.t";
  root->isAD = true;
  root->isADV51 = adV51;
}

// The RootDSE and the paged search of a run on a bound connection, set up
// as the driver's phases before it would set them up.
void SearchOn(plat::LDAP* ld, uint8_t flags, uint8_t more) {
  QuerySettings settings;
  settings.base = "DC=t";
  settings.filter = "(objectClass=*)";
  settings.pageSize = 1 + (more & 3);
  settings.maxEntries = (more >> 2) & 7;
  settings.countOnly = (more & kCountOnly) != 0;
  settings.decodeSecurityDescriptors = (flags & (kDecodeDescriptors | kSddlPlus)) != 0;
  settings.owner = (flags & kOwner) != 0;
  settings.extendedErrors = (flags & kExtendedErrors) != 0;
  g_SddlPlus = (flags & kSddlPlus) != 0;
  g_ResolveSids = (flags & kNoSidNames) == 0;
  g_ResolveSidsViaLdap = (flags & kSidDns) != 0;
  g_Debug = (more & kDebug) != 0;

  CZQTimer timers("");
  char program[] = "quelby";
  char* argv[] = {program, nullptr};
  CCmdLine cmdLine(1, argv, {}, false);
  QueryRun run{cmdLine, settings, &timers};
  SearchState& st = run.search;
  st.connection = ld;
  if ((flags & kReadRootDse) != 0) {
    st.rootDse = std::make_unique<CRootDSE>(ld);
  } else {
    st.rootDse = std::move(g_handMade);
    FillHandMadeRootDse(st.rootDse.get(), (flags & kSidDns) != 0);
  }
  // A RootDSE that cannot be read ends the run, as it does in the driver.
  if (st.rootDse->valid || (flags & kReadRootDse) == 0) {
    st.isAD = st.rootDse->isAD;
    st.isADV51 = st.rootDse->isADV51;
    st.isADAM = st.rootDse->isADAM;
    g_SidLookupServer = st.rootDse->dnsHostName;
    g_LdapSession = ld;
    g_RootDse = st.rootDse.get();
    // All attributes and, named, the descriptor (which a directory
    // returns only when asked for it by name).
    st.attributeNames = {"*", "nTSecurityDescriptor"};
    st.searchAttributes = {st.attributeNames[0].c_str(), st.attributeNames[1].c_str(), nullptr};
    st.requestedAttributeSet = {{"*", 1}, {"ntsecuritydescriptor", 1}};
    st.sortKeyList = {nullptr, nullptr};
    RunPagedSearch(run);
  }
  g_LdapSession = nullptr;
  g_RootDse = nullptr;
  g_Debug = false;
  if ((flags & kReadRootDse) == 0) g_handMade = std::move(st.rootDse);
}

// The client end: a connection on the socket, the bind, the search.
void RunClient(int socket, uint8_t flags, uint8_t more) {
  plat::LDAP* ld = plat::ldap_init_on_socket(socket, "dc1.t", plat::LDAP_PORT);
  if (ld == nullptr) return;
  ULONG oneSecond = 1;
  plat::ldap_set_option(ld, plat::LDAP_OPT_WAIT_LIMIT, &oneSecond);
  if ((flags & kChase) == 0 || !g_isolated) {
    plat::ldap_set_option(ld, plat::LDAP_OPT_REFERRALS, plat::LDAP_OPT_OFF);
  }
  if (plat::ldap_simple_bind_s(ld, "CN=fuzz,DC=t", "pw") == plat::LDAP_SUCCESS) {
    SearchOn(ld, flags, more);
  }
  plat::ldap_unbind(ld);
}

// --- Seeds -----------------------------------------------------------------

// The answer to the bind, message 1: success. It is an LDAPResult as the
// search's closing message is, under the bind response's tag (the byte
// after the message id).
std::string BindReply() {
  std::string reply = DoneMessage(1, 0, "", false);
  reply[5] = 0x61;
  return reply;
}

std::string Sid(const char* text) {
  const sdtest::Bytes sid = sdtest::SidBytes(text);
  return std::string(sid.begin(), sid.end());
}

std::string Done(int64_t id) { return DoneMessage(id, 0, "", false); }

// The answer of the directory about the domain of DC=t: its configuration
// naming context, then its NetBIOS name.
std::vector<std::string> DomainName(int64_t id) {
  return {EntryMessage(id, "", {{"configurationNamingContext", {"CN=Configuration,DC=t"}}}) + Done(id),
          EntryMessage(id + 1, "CN=T,CN=Partitions,CN=Configuration,DC=t", {{"nETBIOSName", {"T"}}}) +
              Done(id + 1)};
}

std::string Account(int64_t id, const char* cn, const char* sid) {
  return EntryMessage(id, std::string("CN=") + cn + ",CN=Users,DC=t",
                      {{"objectSid", {Sid(sid)}}, {"sAMAccountName", {cn}}});
}

void WriteSeed(const std::string& dir, const char* name, uint8_t flags, uint8_t more,
               const std::vector<std::string>& chunks) {
  std::string input{static_cast<char>(flags), static_cast<char>(more)};
  for (const std::string& c : chunks) {
    input.push_back(static_cast<char>(c.size() >> 8));
    input.push_back(static_cast<char>(c.size()));
    input += c;
  }
  std::ofstream(dir + "/" + name, std::ios::binary) << input;
}

void WriteSeeds(const std::string& dir) {
  const char* jdoe = "S-1-5-21-1-2-3-1105";
  // Page 1 (with a SID and a ranged value, split inside the header of its
  // closing message), the batch lookup, page 2 sent ahead, the domain's
  // name, the rest of the range.
  {
    const std::string page1 = EntryMessage(2, "CN=a,DC=t", {{"objectSid", {Sid(jdoe)}},
                                                            {"member;range=0-0", {"CN=m1,DC=t"}}}) +
                              DoneMessage(2, 0, "p2");
    const size_t split = page1.size() - DoneMessage(2, 0, "p2").size() + 1;
    std::vector<std::string> chunks = {BindReply(), page1.substr(0, split), page1.substr(split),
                                       Account(3, "jdoe", jdoe) + Done(3),
                                       EntryMessage(4, "CN=b,DC=t", {{"cn", {"b"}}}) + DoneMessage(4, 0, "")};
    for (std::string& c : DomainName(5)) chunks.push_back(c);
    chunks.push_back(EntryMessage(7, "CN=a,DC=t", {{"objectClass", {"group"}}, {"member;range=1-*", {"CN=m2,DC=t"}}}) +
                     Done(7));
    WriteSeed(dir, "pages_batch_range", 0, 0, chunks);
  }
  // The RootDSE read, a descriptor whose owner and trustee are looked up in
  // one batch, a continuation reference left unchased, page 2 sent ahead.
  {
    using namespace sdtest;
    const Bytes sd = Descriptor(SidBytes("S-1-5-21-1-2-3-500"), SidBytes("S-1-5-21-1-2-3-513"),
                                Acl({Ace(0, 0, 0x10000000, SidBytes(jdoe)), Ace(0, 0, 0x20094, SidBytes("S-1-5-11"))}),
                                {});
    std::vector<std::string> chunks = {
        BindReply(),
        EntryMessage(2, "", {{"defaultNamingContext", {"DC=t"}}, {"configurationNamingContext", {"CN=Configuration,DC=t"}},
                             {"dnsHostName", {"dc1.t"}}, {"supportedCapabilities", {"1.2.840.113556.1.4.800"}}}) +
            Done(2),
        EntryMessage(3, "CN=a,DC=t", {{"nTSecurityDescriptor", {std::string(sd.begin(), sd.end())}}}) +
            ReferenceMessage(3, {"ldap://dc2.t/CN=Configuration,DC=t"}) + DoneMessage(3, 0, "p2"),
        Account(4, "Administrator", "S-1-5-21-1-2-3-500") + Account(4, "jdoe", jdoe) + Done(4),
        EntryMessage(5, "CN=b,DC=t", {{"cn", {"b"}}}) + DoneMessage(5, 0, "")};
    for (std::string& c : DomainName(6)) chunks.push_back(c);
    chunks.push_back(Done(8));  // the group, which the batch did not find, asked alone
    WriteSeed(dir, "rootdse_descriptor_reference", kReadRootDse | kSddlPlus, 1, chunks);
  }
  // A notice of disconnection where page 2 should be.
  WriteSeed(dir, "notice_of_disconnection", 0, 0,
            {BindReply(), EntryMessage(2, "CN=a,DC=t", {{"cn", {"a"}}}) + DoneMessage(2, 0, "p2"),
             NoticeOfDisconnectionMessage(52, "going away")});
  // -maxe 3 with pages of 2: page 2 is cut short and the search abandoned.
  WriteSeed(dir, "maximum_abandon", 0, (3 << 2) | 1,
            {BindReply(),
             EntryMessage(2, "CN=a,DC=t", {{"cn", {"a"}}}) + EntryMessage(2, "CN=b,DC=t", {{"cn", {"b"}}}) +
                 DoneMessage(2, 0, "p2"),
             EntryMessage(3, "CN=c,DC=t", {{"cn", {"c"}}}) + EntryMessage(3, "CN=d,DC=t", {{"cn", {"d"}}}) +
                 DoneMessage(3, 0, "p3"),
             DoneMessage(4, 0, "")});
  // The batch finds nothing; the SID's DN is then read as <SID=...>.
  WriteSeed(dir, "sid_dn_lookup", kSidDns, 0,
            {BindReply(), EntryMessage(2, "CN=a,DC=t", {{"objectSid", {Sid(jdoe)}}}) + DoneMessage(2, 0, ""),
             Done(3), EntryMessage(4, "CN=jdoe,CN=Users,DC=t", {}) + Done(4)});
  // Referrals chased: a continuation reference, then a referral of the base.
  WriteSeed(dir, "referrals_chased", kChase, 0,
            {BindReply(),
             EntryMessage(2, "CN=a,DC=t", {{"cn", {"a"}}}) + ReferenceMessage(2, {"ldap://dc2.t/DC=x"}) +
                 DoneMessage(2, 0, "")});
  WriteSeed(dir, "base_referral", kChase, 0, {BindReply(), ReferralDoneMessage(2, {"ldap://dc3.t/DC=t"})});
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  for (int i = 1; i < *argc; ++i) {
    const std::string arg = (*argv)[i];
    if (arg.rfind("--write-seeds=", 0) == 0) {
      WriteSeeds(arg.substr(14));
      std::exit(0);
    }
  }
  // Referral URLs name hosts the fuzzer made up: they are chased only where
  // no connection can leave the process.
  g_isolated = unshare(CLONE_NEWNET) == 0;
  g_null = std::fopen("/dev/null", "w");
  if (g_null == nullptr) std::abort();
  LoadAttributeKindMaps();
  // What the schema step of a run adds.
  g_SecurityDescriptorAttributes["nTSecurityDescriptor"] = 1;
  InstallDirectorySidLookup();
  Silence quiet;  // the hand-made record's own read fails (no connection)
  g_handMade = std::make_unique<CRootDSE>(nullptr);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const std::vector<std::string_view> chunks = Chunks(data + 2, size - 2);
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
