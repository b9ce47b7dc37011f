// Inside of the client's handles; shared by the client's own sources only.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "platform/cldap.h"
#include "platform/ldap_ber.h"
#include "platform/ldap_client.h"
#include "platform/ldap_entry_index.h"
#include "platform/ldap_native.h"

namespace plat {

// A referral's URL that a search did not follow, or left before its end:
// the URL, the code of the failure, why it failed when more can be said
// than the code (the TLS library's reason, a bind's diagnostic), and what
// of the referral's entries is left out (LDAP_REFERRAL_*_LEFT_OUT).
struct UnfollowedReferral {
  std::string url;
  ULONG code = 0;
  std::string reason;
  ULONG leftOut = LDAP_REFERRAL_ALL_LEFT_OUT;
};

struct LDAP {
  bool udp = false;
  std::string hostText;  // as given (LDAP_OPT_HOST_NAME)
  ULONG port = 0;
  bool secure = false;
  nat::Conn* conn = nullptr;  // TCP and TLS
  int udpSocket = -1;         // connectionless
  int nextMessageId = 1;
  ULONG timeLimit = 0;
  ULONG sizeLimit = 0;
  bool sign = false;
  bool encrypt = false;
  bool referrals = true;
  ULONG lastCode = 0;
  bool haveServerError = false;
  std::string serverError;
  bool notAnsweringReported = false;  // LDAP_OPT_NOT_ANSWERING was set
  uint64_t reportedSilence = 0;       // in this silence of the server
  // The servers (their URIs) that stopped answering a referral of a search
  // on this connection: no search on it waits on them again.
  std::unordered_set<std::string> stalledServers;
  // Referrals that plain searches left out, not yet handed out.
  std::deque<UnfollowedReferral> unfollowed;
};

// A result chain (head) or one of its entries.
struct LDAPMessage {
  LDAPMessage* head = this;
  // Head only.
  nat::Conn* conn = nullptr;               // the connection the chain came from
  ldapmsg* native = nullptr;               // libldap's chain
  std::unique_ptr<detail::CldapReply> udp;  // a decoded connectionless reply
  std::unique_ptr<LDAPMessage[]> entries;   // built on the first walk
  size_t entryCount = 0;
  bool entriesBuilt = false;
  // The attributes of the entry last asked about, read once for all of its
  // names and values (another entry's read reuses the storage).
  std::unique_ptr<detail::EntryIndex> attributes;
  const LDAPMessage* indexed = nullptr;
  // Head only: the result chains of the continuation references followed
  // for the search (their entries come after the head's own), and the
  // connections of referrals followed, closed with the message.
  std::vector<ldapmsg*> followed;
  std::vector<nat::Conn*> connections;
  // Entry only.
  ldapmsg* nativeEntry = nullptr;
  size_t index = 0;
};

struct BerElement {
  enum Kind { kEncoder, kWalk } kind = kEncoder;
  detail::BerWriter writer;
  // Attribute walk state: the next attribute's position in the entry.
  size_t nextAttribute = 0;
};

// Loop guard against a server that never lets a paged search end: a digest
// of each cookie it gave with the page it came with (the same cookie with the
// same page again is a replay without end; some servers keep one cookie for
// a whole search), and how many pages in a row brought nothing but a cookie.
// Only digests are kept, and a bounded number of them, so its memory does
// not grow with what the server sends.
class PagingLoopGuard {
 public:
  // False when this page closes a loop.
  bool Next(std::string_view cookie, std::string_view pageFingerprint, bool empty);
  void Reset();
  size_t StoredBytes() const { return seen_.size() * sizeof(uint64_t); }

 private:
  std::unordered_set<uint64_t> seen_;
  int emptyInRow_ = 0;
};

struct LDAPSearch {
  std::string base;
  bool haveBase = false;
  ULONG scope = 0;
  std::string filter;
  std::vector<std::string> attrs;
  bool haveAttrs = false;
  ULONG attrsOnly = 0;
  std::vector<nat::Control> controls;  // the caller's, then sort
  ULONG timeLimit = 0;
  ULONG sizeLimit = 0;
  std::string cookie;
  PagingLoopGuard loopGuard;
  enum class State { kFresh, kMore, kDone, kFailed } state = State::kFresh;
  // Where the requests go: the search's own base, scope and filter, or those
  // of a referral being followed on a connection of its own (current).
  struct Target {
    std::string base;
    int scope = 0;
    std::string filter;
  } target;
  nat::Conn* current = nullptr;
  // Referrals still to follow: alternative URLs each; continuation
  // references of the search, or a referral of the base itself. The URLs
  // before next were tried and failed (each in failed, said once the
  // referral is followed or given up).
  struct Referral {
    std::vector<std::string> urls;
    bool continuation = false;
    size_t next = 0;
    std::vector<UnfollowedReferral> failed;
  };
  std::deque<Referral> pending;
  // URLs of referrals that could not be followed, or not to their end, not
  // yet handed out.
  std::deque<UnfollowedReferral> unfollowed;
  // Digests of the continuation references met so far (their URL lists): one
  // that comes again, on a later page or twice in a page, is followed (or
  // warned about) once. False when urls were met before.
  std::unordered_set<uint64_t> referencesMet;
  bool FirstMeeting(const std::vector<std::string>& urls);
  // The referral being followed (with the URLs not tried yet), the URL
  // followed and its server, and when the try of that URL ends (its
  // connect, bind and first page together take at most one wait limit).
  Referral currentReferral;
  std::string currentUrl;
  std::string currentServer;
  ULONG currentHanded = 0;  // its entries handed out so far
  std::chrono::steady_clock::time_point tryEnds;
  bool firstReferralPage = false;
  bool advance = false;  // the current server is done; the next call moves on
  // The connection the request for the next page went out on ahead of
  // ldap_get_next_page_s (ldap_search_send_next_page); null when none.
  nat::Conn* sentAhead = nullptr;
  int followed = 0;
  ULONG returned = 0;    // entries so far, for the total size limit
};

namespace detail {
void ReleaseBerElement(BerElement* ber);
// A copy of s with a terminating zero, released with free (ldap_memfree).
char* CopyText(std::string_view s);
}

}  // namespace plat
