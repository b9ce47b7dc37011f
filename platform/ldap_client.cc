// Connections, options, binds and searches (plain and paged) of the client,
// over libldap (TCP, TLS) and our connectionless client.
#include "platform/ldap_client.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <new>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "platform/cldap.h"
#include "platform/default_server_lookup.h"
#include "platform/last_error.h"
#include "platform/ldap_ber.h"
#include "platform/ldap_filter.h"
#include "platform/ldap_internal.h"
#include "platform/ldap_native.h"

namespace plat {

namespace {

using detail::CopyText;

constexpr long kDefaultUdpWaitMs = 10000;  // a connectionless search without a time limit

bool Flag(const void* invalue) {
  if (invalue == LDAP_OPT_OFF) return false;
  if (invalue == LDAP_OPT_ON) return true;
  return *static_cast<const ULONG*>(invalue) != 0;
}

void NoteOutcome(LDAP* ld, ULONG code) {
  ld->lastCode = code;
  if (ld->conn != nullptr) {
    ld->serverError = nat::Diagnostic(ld->conn);
    ld->haveServerError = !ld->serverError.empty();
  }
}

// Builds "scheme://host:port" for each blank-separated name; false when a
// name holds characters a URI cannot carry.
bool BuildUris(const char* host, ULONG port, bool secure, std::string* uris) {
  const char* scheme = secure ? "ldaps://" : "ldap://";
  std::string text = host != nullptr ? host : "";
  if (text.find_first_not_of(" \t") == std::string::npos) {
    // No host named: the default server, each with the port it is reached on.
    text.clear();
    for (const DefaultServer& s : DefaultServersOn(port, secure)) {
      const bool v6 = s.host.find(':') != std::string::npos;
      text += (v6 ? "[" + s.host + "]" : s.host) + ":" + std::to_string(s.port) + " ";
    }
  }
  std::string out;
  size_t i = 0;
  bool any = false;
  while (i <= text.size()) {
    size_t end = text.find_first_of(" \t", i);
    if (end == std::string::npos) end = text.size();
    std::string name = text.substr(i, end - i);
    i = end + 1;
    if (name.empty()) {
      if (i > text.size()) break;
      continue;
    }
    if (name.find_first_of("/?#@%\"<>\\") != std::string::npos) return false;
    ULONG p = port;
    size_t colon = name.find(':');
    if (name.front() == '[') {
      size_t close = name.find(']');
      if (close == std::string::npos) return false;
      if (close + 1 < name.size()) {
        if (name[close + 1] != ':') return false;
        p = static_cast<ULONG>(std::strtoul(name.c_str() + close + 2, nullptr, 10));
      }
      name = name.substr(0, close + 1);
    } else if (colon != std::string::npos && name.find(':', colon + 1) == std::string::npos) {
      // "host:port" overrides the port argument.
      std::string portText = name.substr(colon + 1);
      name = name.substr(0, colon);
      if (!portText.empty()) {
        char* endp = nullptr;
        unsigned long v = std::strtoul(portText.c_str(), &endp, 10);
        if (*endp != '\0' || v > 65535) return false;
        if (v != 0) p = static_cast<ULONG>(v);
      }
    } else if (colon != std::string::npos) {
      name = "[" + name + "]";  // IPv6 literal
    }
    if (!out.empty()) out += ' ';
    out += scheme + name + ":" + std::to_string(p);
    any = true;
  }
  if (!any) out = std::string(scheme) + ":" + std::to_string(port);  // the library's default host
  *uris = out;
  return true;
}

std::string EffectiveFilter(const char* filter) {
  if (filter == nullptr || *filter == '\0') return "(objectClass=*)";
  return std::string(detail::StripRedundantParens(filter));
}

LDAPMessage* WrapNative(nat::Conn* conn, ldapmsg* res) {
  if (res == nullptr) return nullptr;
  auto* m = new (std::nothrow) LDAPMessage;
  if (m == nullptr) {
    nat::MsgFree(res);
    return nullptr;
  }
  m->native = res;
  m->conn = conn;
  return m;
}

bool CopyControls(LDAPControl** in, std::vector<nat::Control>* out) {
  for (size_t i = 0; in != nullptr && in[i] != nullptr; ++i) {
    const LDAPControl* c = in[i];
    if (c->ldctl_oid == nullptr) return false;
    if (c->ldctl_value.bv_val == nullptr && c->ldctl_value.bv_len != 0) return false;
    nat::Control n;
    n.oid = c->ldctl_oid;
    n.hasValue = c->ldctl_value.bv_val != nullptr;
    if (n.hasValue) n.value.assign(c->ldctl_value.bv_val, c->ldctl_value.bv_len);
    n.critical = c->ldctl_iscritical != 0;
    out->push_back(std::move(n));
  }
  return true;
}

long WaitMs(const l_timeval* timeout) {
  if (timeout == nullptr || timeout->tv_sec < 0 || timeout->tv_usec < 0 ||
      (timeout->tv_sec == 0 && timeout->tv_usec == 0)) {
    return -1;
  }
  return static_cast<long>(timeout->tv_sec) * 1000 + (timeout->tv_usec + 999) / 1000;
}

// Connectionless search: one request, the whole answer.
ULONG UdpSearch(LDAP* ld, const char* base, ULONG scope, const std::string& filter,
                const char* const* attrs, ULONG attrsonly, ULONG timeLimit, ULONG sizeLimit,
                long waitMs, LDAPMessage** res) {
  detail::CldapSearch s;
  s.messageId = ld->nextMessageId++;
  if (ld->nextMessageId > 0x7ffffff0) ld->nextMessageId = 1;
  s.base = base != nullptr ? base : "";
  s.scope = static_cast<int>(scope);
  s.filter = filter;
  for (size_t i = 0; attrs != nullptr && attrs[i] != nullptr; ++i) s.attrs.emplace_back(attrs[i]);
  s.attrsOnly = attrsonly != 0;
  s.sizeLimit = static_cast<int>(sizeLimit);
  s.timeLimit = static_cast<int>(timeLimit);
  if (waitMs < 0) waitMs = timeLimit != 0 ? static_cast<long>(timeLimit) * 1000 : kDefaultUdpWaitMs;
  auto reply = std::make_unique<detail::CldapReply>();
  ULONG code = static_cast<ULONG>(detail::CldapExchange(ld->udpSocket, s, waitMs, reply.get()));
  ld->haveServerError = false;
  ld->serverError.clear();
  if (code != LDAP_SUCCESS) {
    ld->lastCode = code;
    return code;
  }
  code = static_cast<ULONG>(reply->code);
  ld->serverError = reply->error;
  ld->haveServerError = !reply->error.empty();
  ld->lastCode = code;
  auto* m = new (std::nothrow) LDAPMessage;
  if (m == nullptr) return LDAP_NO_MEMORY;
  m->udp = std::move(reply);
  *res = m;
  return code;
}

// The scope a referral is followed with: the one its URL names, else the
// search's own, except that one level below a continuation reference is the
// referred object itself.
int ReferralScope(const nat::FollowTarget& t, bool continuation, int scope) {
  if (t.scope >= 0 && t.scope <= 2) return t.scope;
  return continuation && scope == LDAP_SCOPE_ONELEVEL ? static_cast<int>(LDAP_SCOPE_BASE) : scope;
}

long MsUntil(std::chrono::steady_clock::time_point t) {
  using std::chrono::milliseconds;
  return static_cast<long>(
      std::chrono::duration_cast<milliseconds>(t - std::chrono::steady_clock::now()).count());
}

// The URL of a referral being followed: its connection (bound like the
// main one), the URL and where it leads, and when the try of it ends (its
// connect, bind and first request take one wait limit together).
struct OpenedReferral {
  nat::Conn* conn = nullptr;
  std::string url;
  nat::FollowTarget target;
  std::chrono::steady_clock::time_point ends;
};

// Tries the URLs of one referral from *next on, in their order, until one
// opens and binds. The URLs are alternatives, each a try of its own with a
// wait limit of its own; a server that stopped answering on this connection
// is passed over untried, so that each is waited on once. Each URL that
// fails or is passed over is added to *left with its own failure (the
// timeout, saying it was not tried), and *next moves past the URLs taken.
// False when none opened.
bool OpenReferral(LDAP* ld, const std::vector<std::string>& urls, size_t* next, OpenedReferral* opened,
                  std::vector<UnfollowedReferral>* left) {
  const int limit = nat::WaitLimit(ld->conn);
  while (*next < urls.size()) {
    const std::string& url = urls[(*next)++];
    UnfollowedReferral missed{url, LDAP_TIMEOUT, "", LDAP_REFERRAL_ALL_LEFT_OUT};
    nat::FollowTarget t;
    if (!nat::ReadReferral(ld->conn, url, &t)) {
      missed.code = LDAP_PARAM_ERROR;
    } else if (ld->stalledServers.count(t.server) != 0) {
      missed.reason = "not tried: its server did not answer earlier";
    } else {
      opened->ends = std::chrono::steady_clock::now() + std::chrono::seconds(limit);
      int code = 0;
      nat::Conn* conn = nat::Follow(ld->conn, t, limit, &code, &missed.reason);
      if (conn != nullptr) {
        opened->conn = conn;
        opened->url = url;
        opened->target = std::move(t);
        return true;
      }
      missed.code = static_cast<ULONG>(nat::ToWindowsCode(code));
      if (missed.code == LDAP_TIMEOUT) ld->stalledServers.insert(t.server);
    }
    left->push_back(std::move(missed));
  }
  return false;
}

// Keeps a URL whose server failed or stalled before any answer among the
// referral's failures; a server that stalled is passed over from then on.
void FailedBeforeAnswer(LDAP* ld, const std::string& server, const std::string& url, ULONG code,
                        std::vector<UnfollowedReferral>* failed) {
  if (code == LDAP_TIMEOUT) ld->stalledServers.insert(server);
  failed->push_back({url, code, "", LDAP_REFERRAL_ALL_LEFT_OUT});
}

// Hands the URLs of a referral that failed (*failed, emptied) over to
// *out, each with its own failure; none of the referral's entries is left
// out when a later URL of it was followed.
void SayFailedUrls(std::vector<UnfollowedReferral>* failed, bool followedElsewhere,
                   std::deque<UnfollowedReferral>* out) {
  for (UnfollowedReferral& f : *failed) {
    if (followedElsewhere) f.leftOut = LDAP_REFERRAL_NONE_LEFT_OUT;
    out->push_back(std::move(f));
  }
  failed->clear();
}

// The wait of a referral's first request: what is left of its URL's try,
// or less when the search's own wait is shorter.
long FirstRequestWait(const OpenedReferral& opened, long waitMs) {
  const long left = std::max(MsUntil(opened.ends), 1L);
  return waitMs < 0 ? left : std::min(waitMs, left);
}

constexpr int kMostReferrals = 32;

// Whether a reference (its URL list) was not among those met before, which
// keep only digests; it is among them afterwards.
bool FirstMeeting(std::unordered_set<uint64_t>* met, const std::vector<std::string>& urls) {
  std::string all;
  for (const std::string& url : urls) all.append(url).push_back('\n');
  return met->insert(std::hash<std::string>{}(all)).second;
}

// Follows the referrals of a plain search's result *head, with binds of our
// own (the library's would ask Kerberos under the URL's name): a referral
// result moves the search to where its base lives, and the entries of each
// continuation reference (and of theirs) are added after the search's own.
// Each URL of a referral that failed (also when a later one was followed),
// each continuation whose server fails on the way and a referral past the
// hop limit is noted on the handle for ldap_next_unfollowed_referral.
// Returns the search's code, given and returned as the client's codes.
ULONG ChaseReferrals(LDAP* ld, const nat::SearchParams& p, long waitMs, ULONG code, LDAPMessage* head) {
  // The search's request where a referral leads: the URL's base, scope and
  // filter, else the search's own.
  std::string base, filter;
  auto there = [&](const OpenedReferral& opened, bool continuation) {
    nat::SearchParams q = p;
    base = opened.target.haveBase ? opened.target.base : p.base;
    filter = opened.target.haveFilter ? opened.target.filter : p.filter;
    q.base = base.c_str();
    q.filter = filter.c_str();
    q.scope = ReferralScope(opened.target, continuation, p.scope);
    return q;
  };
  // Runs the search where a referral leads, trying its URLs in their order
  // until one answers it: a server that fails or stalls before any answer
  // is passed over as one that fails or stalls at its bind. *opened is left
  // without a connection when none answered. Each URL that failed is said,
  // once it is known whether another was followed.
  auto follow = [&](const std::vector<std::string>& urls, bool continuation, OpenedReferral* opened,
                    ldapmsg** native) {
    std::vector<UnfollowedReferral> failed;
    size_t next = 0;
    ULONG rc = LDAP_REFERRAL;
    while (OpenReferral(ld, urls, &next, opened, &failed)) {
      rc = static_cast<ULONG>(nat::ToWindowsCode(
          nat::Search(opened->conn, there(*opened, continuation), FirstRequestWait(*opened, waitMs), native)));
      if (*native != nullptr) break;
      FailedBeforeAnswer(ld, opened->target.server, opened->url, rc, &failed);
      nat::Close(opened->conn);
      opened->conn = nullptr;
    }
    if (*native == nullptr && !failed.empty()) rc = failed.back().code;
    SayFailedUrls(&failed, *native != nullptr, &ld->unfollowed);
    return rc;
  };
  for (int hop = 0; code == LDAP_REFERRAL; ++hop) {
    nat::ParsedResult parsed;
    if (nat::ParseResult(head->conn, head->native, &parsed) != 0 || parsed.referrals.empty()) break;
    if (hop == kMostReferrals) {
      // Referrals that lead on and on (a server naming itself again) end
      // the search at the hop limit, as they end a paged search.
      ld->unfollowed.push_back(
          {parsed.referrals.front(), LDAP_REFERRAL_LIMIT_EXCEEDED, "", LDAP_REFERRAL_ALL_LEFT_OUT});
      return LDAP_REFERRAL_LIMIT_EXCEEDED;
    }
    OpenedReferral opened;
    ldapmsg* native = nullptr;
    code = follow(parsed.referrals, false, &opened, &native);
    if (native == nullptr) {
      nat::Close(opened.conn);
      return code;
    }
    head->connections.push_back(opened.conn);
    nat::MsgFree(head->native);
    head->native = native;
    head->conn = opened.conn;
  }
  // Each reference (its list of URLs) is followed once.
  std::unordered_set<uint64_t> met;
  std::deque<std::vector<std::string>> pending;
  auto collect = [&](nat::Conn* conn, ldapmsg* chain) {
    for (std::vector<std::string>& urls : nat::References(conn, chain)) {
      if (FirstMeeting(&met, urls)) pending.push_back(std::move(urls));
    }
  };
  collect(head->conn, head->native);
  for (int followed = 0; !pending.empty(); ++followed) {
    const std::vector<std::string> urls = std::move(pending.front());
    pending.pop_front();
    if (followed >= kMostReferrals) {
      ld->unfollowed.push_back({urls.front(), LDAP_REFERRAL_LIMIT_EXCEEDED, "", LDAP_REFERRAL_ALL_LEFT_OUT});
      continue;
    }
    OpenedReferral opened;
    ldapmsg* native = nullptr;
    const ULONG rc = follow(urls, true, &opened, &native);
    if (native == nullptr) continue;
    const int entries = nat::CountEntries(opened.conn, native);
    if (rc != LDAP_SUCCESS && rc != LDAP_SIZELIMIT_EXCEEDED) {
      // A continuation whose server fails is passed over; the entries that
      // came are kept.
      ld->unfollowed.push_back(
          {opened.url, rc, "", entries > 0 ? LDAP_REFERRAL_REST_LEFT_OUT : LDAP_REFERRAL_ALL_LEFT_OUT});
    }
    head->connections.push_back(opened.conn);
    head->followed.push_back(native);
    collect(opened.conn, native);
  }
  return code;
}

ULONG RunSearch(LDAP* ld, const char* base, ULONG scope, const char* filter,
                const char* const* attrs, ULONG attrsonly,
                const std::vector<nat::Control>* controls, ULONG timeLimit, ULONG sizeLimit,
                long waitMs, LDAPMessage** res) {
  if (res != nullptr) *res = nullptr;
  if (ld == nullptr || res == nullptr || scope > LDAP_SCOPE_SUBTREE) return LDAP_PARAM_ERROR;
  std::string f = EffectiveFilter(filter);
  if (ld->udp) {
    return UdpSearch(ld, base, scope, f, attrs, attrsonly, timeLimit, sizeLimit, waitMs, res);
  }
  nat::SearchParams p;
  p.base = base != nullptr ? base : "";
  p.scope = static_cast<int>(scope);
  p.filter = f.c_str();
  p.attrs = const_cast<char**>(attrs);  // libldap reads them only
  p.attrsOnly = attrsonly != 0;
  p.controls = controls;
  p.timeLimit = static_cast<int>(timeLimit);
  p.sizeLimit = static_cast<int>(sizeLimit);
  ldapmsg* native = nullptr;
  ULONG code = static_cast<ULONG>(nat::ToWindowsCode(nat::Search(ld->conn, p, waitMs, &native)));
  *res = WrapNative(ld->conn, native);
  if (*res != nullptr && ld->referrals) code = ChaseReferrals(ld, p, waitMs, code, *res);
  NoteOutcome(ld, code);
  if (*res != nullptr && (*res)->conn != ld->conn) {
    ld->serverError = nat::Diagnostic((*res)->conn);
    ld->haveServerError = !ld->serverError.empty();
  }
  return code;
}

// Paged-results control value: SEQUENCE { size INTEGER, cookie OCTET STRING }.
nat::Control PagedControl(ULONG pageSize, const std::string& cookie) {
  detail::BerWriter w;
  w.Begin(0x30);
  w.Integer(pageSize);
  w.OctetString(cookie);
  w.End();
  nat::Control c;
  c.oid = LDAP_PAGED_RESULT_OID_STRING;
  c.value = w.Take();
  c.hasValue = true;
  c.critical = false;  // a server without paging answers in one piece
  return c;
}

// Sort control value: SEQUENCE OF SEQUENCE { attributeType, orderingRule [0]
// OPTIONAL, reverseOrder [1] BOOLEAN DEFAULT FALSE }.
bool SortControl(LDAPSortKey** keys, nat::Control* out) {
  detail::BerWriter w;
  w.Begin(0x30);
  bool any = false;
  for (size_t i = 0; keys != nullptr && keys[i] != nullptr; ++i) {
    const LDAPSortKey* k = keys[i];
    if (k->sk_attrtype == nullptr) continue;
    w.Begin(0x30);
    w.OctetString(k->sk_attrtype);
    if (k->sk_matchruleoid != nullptr) w.OctetString(k->sk_matchruleoid, 0x80);
    if (k->sk_reverseorder) w.Boolean(true, 0x81);
    w.End();
    any = true;
  }
  w.End();
  if (!any) return false;
  out->oid = LDAP_SERVER_SORT_OID;
  out->value = w.Take();
  out->hasValue = true;
  out->critical = true;  // sorted output was asked for: never a silently unsorted one
  return true;
}

// The request for a paged search's next page on its current connection.
struct PageRequest {
  std::vector<const char*> attrs;
  std::vector<nat::Control> controls;
  nat::SearchParams params;

  PageRequest(const LDAPSearch& s, ULONG pageSize, ULONG sizeLimit) {
    for (const std::string& a : s.attrs) attrs.push_back(a.c_str());
    attrs.push_back(nullptr);
    controls = s.controls;
    controls.push_back(PagedControl(pageSize, s.cookie));
    params.base = s.target.base.c_str();
    params.scope = s.target.scope;
    params.filter = s.target.filter.c_str();
    params.attrs = s.haveAttrs ? const_cast<char**>(attrs.data()) : nullptr;  // read only
    params.attrsOnly = s.attrsOnly != 0;
    params.controls = &controls;
    params.timeLimit = static_cast<int>(s.timeLimit);
    params.sizeLimit = static_cast<int>(sizeLimit);
  }
  PageRequest(const PageRequest&) = delete;
  PageRequest& operator=(const PageRequest&) = delete;
};

// Moves a paged search to the next referral it collected, or to the next
// URL of one whose try failed at its first page: a connection of its own,
// bound like the main one, and the referral's base, scope and filter.
// LDAP_NO_RESULTS_RETURNED when none is left.
ULONG FollowNextReferral(LDAP* ld, LDAPSearch* search) {
  while (!search->pending.empty()) {
    LDAPSearch::Referral next = std::move(search->pending.front());
    search->pending.pop_front();
    // A referral counts once, however many of its URLs are tried.
    if (next.next == 0 && ++search->followed > kMostReferrals) return LDAP_REFERRAL_LIMIT_EXCEEDED;
    OpenedReferral opened;
    if (OpenReferral(ld, next.urls, &next.next, &opened, &next.failed)) {
      // The URLs that failed are said once its first page tells whether
      // this one is followed.
      nat::Close(search->current);
      search->current = opened.conn;
      search->currentUrl = opened.url;
      search->currentServer = opened.target.server;
      search->currentHanded = 0;
      search->tryEnds = opened.ends;
      search->firstReferralPage = true;
      search->cookie.clear();
      search->loopGuard.Reset();
      const nat::FollowTarget& t = opened.target;
      search->target.base = t.haveBase ? t.base : search->base;
      search->target.scope = ReferralScope(t, next.continuation, static_cast<int>(search->scope));
      search->target.filter = t.haveFilter ? t.filter : search->filter;
      search->currentReferral = std::move(next);
      return LDAP_SUCCESS;
    }
    // A base that cannot be reached ends the search with the last URL's
    // failure; a continuation that cannot be reached is passed over.
    const ULONG failure = next.failed.empty() ? LDAP_REFERRAL : next.failed.back().code;
    SayFailedUrls(&next.failed, false, &search->unfollowed);
    if (!next.continuation) return failure;
  }
  return LDAP_NO_RESULTS_RETURNED;
}

}  // namespace

bool LDAPSearch::FirstMeeting(const std::vector<std::string>& urls) {
  return plat::FirstMeeting(&referencesMet, urls);
}

bool PagingLoopGuard::Next(std::string_view cookie, std::string_view pageFingerprint, bool empty) {
  // Pages in a row without an entry or a reference that still ask for more:
  // past this many, the server is taken to be looping.
  constexpr int kMostEmptyPagesInRow = 20;
  // Past this many digests all are dropped: a loop of fewer pages is still
  // caught, at most one round later.
  constexpr size_t kMostDigests = size_t{1} << 16;
  emptyInRow_ = empty ? emptyInRow_ + 1 : 0;
  if (seen_.size() >= kMostDigests) seen_.clear();
  const uint64_t c = std::hash<std::string_view>{}(cookie);
  const uint64_t p = std::hash<std::string_view>{}(pageFingerprint);
  const uint64_t digest = c ^ (p + 0x9e3779b97f4a7c15ull + (c << 6) + (c >> 2));
  return seen_.insert(digest).second && emptyInRow_ <= kMostEmptyPagesInRow;
}

void PagingLoopGuard::Reset() {
  seen_.clear();
  emptyInRow_ = 0;
}

// --- Connections ----------------------------------------------------------

namespace {

// The handle of a connection just opened (null: its code becomes the last error).
LDAP* Handle(nat::Conn* conn, int code, const char* host, ULONG port, bool secure) {
  if (conn == nullptr) {
    SetLastError(static_cast<DWORD>(nat::ToWindowsCode(code)));
    return nullptr;
  }
  auto* ld = new (std::nothrow) LDAP;
  if (ld == nullptr) {
    nat::Close(conn);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  ld->conn = conn;
  ld->hostText = host != nullptr ? host : "";
  ld->port = port;
  ld->secure = secure;
  return ld;
}

}  // namespace

LDAP* ldap_sslinit(const char* host, ULONG port, int secure) {
  std::string uris;
  if (port > 65535 || !BuildUris(host, port, secure != 0, &uris)) {
    SetLastError(LDAP_PARAM_ERROR);
    return nullptr;
  }
  int code = 0;
  return Handle(nat::Open(uris, &code), code, host, port, secure != 0);
}

LDAP* ldap_init_on_socket(int socket, const char* host, ULONG port) {
  std::string uris;
  if (port > 65535 || host == nullptr || *host == '\0' || !BuildUris(host, port, false, &uris) ||
      uris.find(' ') != std::string::npos) {
    close(socket);
    SetLastError(LDAP_PARAM_ERROR);
    return nullptr;
  }
  int code = 0;
  return Handle(nat::OpenOnSocket(socket, uris, &code), code, host, port, false);
}

LDAP* cldap_open(const char* host, ULONG port) {
  unsigned long error = 0;
  const char* to = host;
  std::vector<DefaultServer> servers;
  if (to == nullptr || *to == '\0') {
    // No host named: the first default server.
    servers = DefaultServersOn(port, false);
    if (!servers.empty()) to = servers.front().host.c_str();
  }
  int fd = detail::CldapConnect(to, servers.empty() ? port : servers.front().port, &error);
  if (fd < 0) {
    SetLastError(static_cast<DWORD>(error));
    return nullptr;
  }
  auto* ld = new (std::nothrow) LDAP;
  if (ld == nullptr) {
    close(fd);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  ld->udp = true;
  ld->udpSocket = fd;
  ld->hostText = host != nullptr ? host : "";
  ld->port = port;
  return ld;
}

ULONG ldap_set_option(LDAP* ld, int option, const void* invalue) {
  if (option == LDAP_OPT_WAIT_LIMIT && invalue != nullptr) {
    const int seconds = static_cast<int>(std::min<ULONG>(*static_cast<const ULONG*>(invalue), 86400));
    if (ld == nullptr) {
      nat::SetDefaultWaitLimit(seconds);
    } else if (ld->conn != nullptr) {
      nat::SetWaitLimit(ld->conn, seconds);
    }
    return LDAP_SUCCESS;
  }
  if (ld == nullptr) return LDAP_PARAM_ERROR;
  auto needValue = [invalue]() { return invalue != nullptr; };
  switch (option) {
    case LDAP_OPT_PROTOCOL_VERSION: {
      if (!needValue()) return LDAP_PARAM_ERROR;
      ULONG v = *static_cast<const ULONG*>(invalue);
      if (v != LDAP_VERSION2 && v != LDAP_VERSION3) return LDAP_PARAM_ERROR;
      if (ld->conn != nullptr && nat::SetVersion(ld->conn, static_cast<int>(v)) != 0) {
        return LDAP_LOCAL_ERROR;
      }
      return LDAP_SUCCESS;
    }
    case LDAP_OPT_REFERRALS:
      // Referrals are followed here (FollowNextReferral, ChaseReferrals).
      ld->referrals = Flag(invalue);
      return LDAP_SUCCESS;
    case LDAP_OPT_REFERRAL_HOP_LIMIT:
      if (!needValue()) return LDAP_PARAM_ERROR;
      if (ld->conn != nullptr) {
        nat::SetReferralHopLimit(ld->conn, static_cast<int>(*static_cast<const ULONG*>(invalue)));
      }
      return LDAP_SUCCESS;
    case LDAP_OPT_DEREF:
      if (!needValue()) return LDAP_PARAM_ERROR;
      if (ld->conn != nullptr) nat::SetDeref(ld->conn, static_cast<int>(*static_cast<const ULONG*>(invalue)));
      return LDAP_SUCCESS;
    case LDAP_OPT_SIZELIMIT:
      if (!needValue()) return LDAP_PARAM_ERROR;
      ld->sizeLimit = *static_cast<const ULONG*>(invalue);
      return LDAP_SUCCESS;
    case LDAP_OPT_TIMELIMIT:
      if (!needValue()) return LDAP_PARAM_ERROR;
      ld->timeLimit = *static_cast<const ULONG*>(invalue);
      return LDAP_SUCCESS;
    case LDAP_OPT_SIGN:
      ld->sign = Flag(invalue);
      return LDAP_SUCCESS;
    case LDAP_OPT_ENCRYPT:
      ld->encrypt = Flag(invalue);
      return LDAP_SUCCESS;
    case LDAP_OPT_AREC_EXCLUSIVE:
      // Names are always taken as host names (no service-record lookup).
      return LDAP_SUCCESS;
    case LDAP_OPT_NOT_ANSWERING:
      ld->notAnsweringReported = true;
      ld->reportedSilence = ld->conn != nullptr ? nat::Silence(ld->conn) : 0;
      return LDAP_SUCCESS;
    default:
      return LDAP_PARAM_ERROR;
  }
}

ULONG ldap_get_option(LDAP* ld, int option, void* outvalue) {
  if (ld == nullptr || outvalue == nullptr) return LDAP_PARAM_ERROR;
  auto setUlong = [outvalue](ULONG v) {
    *static_cast<ULONG*>(outvalue) = v;
    return LDAP_SUCCESS;
  };
  // A text of ours: a copy for ldap_memfree, null when there is none.
  auto setText = [outvalue](const std::string& text) {
    *static_cast<char**>(outvalue) = text.empty() ? nullptr : CopyText(text);
    return LDAP_SUCCESS;
  };
  switch (option) {
    case LDAP_OPT_PROTOCOL_VERSION:
      return setUlong(ld->conn != nullptr ? static_cast<ULONG>(nat::GetVersion(ld->conn))
                                          : LDAP_VERSION3);
    case LDAP_OPT_REFERRALS:
      return setUlong(ld->referrals ? 1 : 0);
    case LDAP_OPT_SIZELIMIT:
      return setUlong(ld->sizeLimit);
    case LDAP_OPT_TIMELIMIT:
      return setUlong(ld->timeLimit);
    case LDAP_OPT_SIGN:
      return setUlong(ld->sign ? 1 : 0);
    case LDAP_OPT_ENCRYPT:
      return setUlong(ld->encrypt ? 1 : 0);
    case LDAP_OPT_SSL:
      return setUlong(ld->secure ? 1 : 0);
    case LDAP_OPT_KERBEROS_PROBLEM:
      return setText(ld->conn != nullptr ? nat::KerberosProblem(ld->conn) : "");
    case LDAP_OPT_TLS_PROBLEM:
      return setText(ld->conn != nullptr ? nat::TlsProblem(ld->conn) : "");
    case LDAP_OPT_BIND_PROBLEM:
      return setText(ld->conn != nullptr ? nat::BindProblem(ld->conn) : "");
    case LDAP_OPT_WAIT_LIMIT:
      return setUlong(ld->conn != nullptr ? static_cast<ULONG>(nat::WaitLimit(ld->conn)) : 0);
    case LDAP_OPT_NOT_ANSWERING:
      return setUlong(!nat::NotAnswering(ld->conn) ? 0
                      : ld->notAnsweringReported && ld->reportedSilence == nat::Silence(ld->conn) ? 2
                                                                                                 : 1);
    case LDAP_OPT_ERROR_NUMBER:
      return setUlong(ld->lastCode);
    case LDAP_OPT_HOST_NAME:
      *static_cast<const char**>(outvalue) = ld->hostText.c_str();
      return LDAP_SUCCESS;
    case LDAP_OPT_SERVER_ERROR:
    case LDAP_OPT_ERROR_STRING:
      *static_cast<char**>(outvalue) = ld->haveServerError ? CopyText(ld->serverError) : nullptr;
      return LDAP_SUCCESS;
    default:
      return LDAP_PARAM_ERROR;
  }
}

ULONG ldap_simple_bind_s(LDAP* ld, const char* dn, const char* password) {
  if (ld == nullptr) return LDAP_PARAM_ERROR;
  if (ld->udp) {
    // Connectionless LDAP has no bind; only the anonymous identity exists.
    bool anonymous = (dn == nullptr || *dn == '\0') && (password == nullptr || *password == '\0');
    return anonymous ? LDAP_SUCCESS : LDAP_NOT_SUPPORTED;
  }
  ULONG code = static_cast<ULONG>(nat::ToWindowsCode(nat::SimpleBind(ld->conn, dn, password)));
  NoteOutcome(ld, code);
  return code;
}

ULONG ldap_bind_s(LDAP* ld, const char* dn, const void* cred, ULONG method) {
  if (ld == nullptr) return LDAP_PARAM_ERROR;
  if (method == LDAP_AUTH_SIMPLE) return ldap_simple_bind_s(ld, dn, static_cast<const char*>(cred));
  if (method != LDAP_AUTH_NEGOTIATE) return LDAP_AUTH_METHOD_NOT_SUPPORTED;
  if (ld->udp) return LDAP_NOT_SUPPORTED;
  nat::NegotiateParams p;
  p.sign = true;  // signing by default, as domain controllers may require it
  p.seal = ld->encrypt;
  if (cred != nullptr) {
    const auto* id = static_cast<const SEC_WINNT_AUTH_IDENTITY_A*>(cred);
    if ((id->Flags & SEC_WINNT_AUTH_IDENTITY_UNICODE) != 0) return LDAP_PARAM_ERROR;
    auto take = [](const unsigned char* s, ULONG n, std::string* out) {
      if (s == nullptr) return n == 0;
      out->assign(reinterpret_cast<const char*>(s), n);
      return true;
    };
    if (!take(id->User, id->UserLength, &p.user) || !take(id->Domain, id->DomainLength, &p.domain) ||
        !take(id->Password, id->PasswordLength, &p.password)) {
      return LDAP_PARAM_ERROR;
    }
    // Only a null identity means the caller's own tickets. A record without
    // a user name names nobody to bind as: binding with the ticket instead
    // would run the session as someone other than the user who was given.
    if (p.user.empty()) {
      std::fill(p.password.begin(), p.password.end(), '\0');
      ld->lastCode = LDAP_INVALID_CREDENTIALS;
      ld->serverError = "no user name given with the credentials";
      ld->haveServerError = true;
      return LDAP_INVALID_CREDENTIALS;
    }
    p.haveIdentity = true;
  }
  ULONG code = static_cast<ULONG>(nat::ToWindowsCode(nat::NegotiateBind(ld->conn, p)));
  std::fill(p.password.begin(), p.password.end(), '\0');
  NoteOutcome(ld, code);
  return code;
}

ULONG ldap_unbind(LDAP* ld) {
  if (ld == nullptr) return LDAP_PARAM_ERROR;
  nat::Close(ld->conn);
  if (ld->udpSocket >= 0) close(ld->udpSocket);
  delete ld;
  return LDAP_SUCCESS;
}

ULONG ldap_unbind_s(LDAP* ld) { return ldap_unbind(ld); }

// --- Searches ---------------------------------------------------------------

ULONG ldap_search_s(LDAP* ld, const char* base, ULONG scope, const char* filter,
                    const char* const* attrs, ULONG attrsonly, LDAPMessage** res) {
  if (ld == nullptr) {
    if (res != nullptr) *res = nullptr;
    return LDAP_PARAM_ERROR;
  }
  return RunSearch(ld, base, scope, filter, attrs, attrsonly, nullptr, ld->timeLimit,
                   ld->sizeLimit, nat::kWaitOfConnection, res);
}

ULONG ldap_search_ext_s(LDAP* ld, const char* base, ULONG scope, const char* filter,
                        const char* const* attrs, ULONG attrsonly, LDAPControl** serverControls,
                        LDAPControl** /*clientControls*/, l_timeval* timeout, ULONG sizeLimit,
                        LDAPMessage** res) {
  if (res != nullptr) *res = nullptr;
  if (ld == nullptr) return LDAP_PARAM_ERROR;
  std::vector<nat::Control> controls;
  if (!CopyControls(serverControls, &controls)) return LDAP_PARAM_ERROR;
  long waitMs = WaitMs(timeout);
  // The timeout is also the time limit the server is given.
  ULONG timeLimit = waitMs >= 0 ? static_cast<ULONG>((waitMs + 999) / 1000) : ld->timeLimit;
  return RunSearch(ld, base, scope, filter, attrs, attrsonly, &controls, timeLimit, sizeLimit,
                   waitMs, res);
}

PLDAPSearch ldap_search_init_page(LDAP* ld, const char* base, ULONG scope, const char* filter,
                                  const char* const* attrs, ULONG attrsonly,
                                  LDAPControl** serverControls, LDAPControl** /*clientControls*/,
                                  ULONG pageTimeLimit, ULONG totalSizeLimit,
                                  LDAPSortKey** sortKeys) {
  if (ld == nullptr || scope > LDAP_SCOPE_SUBTREE) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto* s = new (std::nothrow) LDAPSearch;
  if (s == nullptr) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  s->haveBase = base != nullptr;
  if (base != nullptr) s->base = base;
  s->scope = scope;
  s->filter = EffectiveFilter(filter);
  s->haveAttrs = attrs != nullptr;
  for (size_t i = 0; attrs != nullptr && attrs[i] != nullptr; ++i) s->attrs.emplace_back(attrs[i]);
  s->attrsOnly = attrsonly;
  s->timeLimit = pageTimeLimit;
  s->sizeLimit = totalSizeLimit;
  s->target.base = s->base;
  s->target.scope = static_cast<int>(scope);
  s->target.filter = s->filter;
  nat::Control sort;
  if (!CopyControls(serverControls, &s->controls)) {
    delete s;
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (SortControl(sortKeys, &sort)) s->controls.push_back(std::move(sort));
  return s;
}

ULONG ldap_get_next_page_s(LDAP* ld, PLDAPSearch search, l_timeval* timeout, ULONG pageSize,
                           ULONG* totalCount, LDAPMessage** results) {
  if (results != nullptr) *results = nullptr;
  if (totalCount != nullptr) *totalCount = 0;
  if (ld == nullptr || search == nullptr || results == nullptr) return LDAP_PARAM_ERROR;
  using State = LDAPSearch::State;
  if (search->state == State::kDone || search->state == State::kFailed) {
    return LDAP_NO_RESULTS_RETURNED;
  }
  std::vector<const char*> attrs;
  for (const std::string& a : search->attrs) attrs.push_back(a.c_str());
  attrs.push_back(nullptr);
  const char* const* attrList = search->haveAttrs ? attrs.data() : nullptr;
  // A page request without a timeout waits as long as the server takes.
  long waitMs = timeout != nullptr ? WaitMs(timeout) : nat::kWaitForever;
  if (ld->udp) {
    // No paging without a connection: the one answer is the one page.
    const char* base = search->haveBase ? search->base.c_str() : nullptr;
    ULONG code = RunSearch(ld, base, search->scope, search->filter.c_str(), attrList,
                           search->attrsOnly, nullptr, search->timeLimit, search->sizeLimit, waitMs,
                           results);
    search->state = code == LDAP_SUCCESS || code == LDAP_SIZELIMIT_EXCEEDED ? State::kDone
                                                                             : State::kFailed;
    return code;
  }
  for (;;) {
    if (search->advance) {
      // The current server is done: go on with the next referral.
      search->advance = false;
      ULONG rc = FollowNextReferral(ld, search);
      if (rc == LDAP_NO_RESULTS_RETURNED) {
        search->state = State::kDone;
        return rc;
      }
      if (rc != LDAP_SUCCESS) {
        search->state = State::kFailed;
        return rc;
      }
    }
    nat::Conn* conn = search->current != nullptr ? search->current : ld->conn;
    ldapmsg* native = nullptr;
    int rc = 0;
    // The first page of a referral shares the wait of its connect and bind.
    long pageWaitMs = waitMs;
    const bool firstOfTry = conn != ld->conn && search->firstReferralPage;
    if (firstOfTry) {
      search->firstReferralPage = false;
      const long left = std::max(MsUntil(search->tryEnds), 1L);
      pageWaitMs = waitMs < 0 ? left : std::min(waitMs, left);
    }
    if (search->sentAhead == conn) {
      // The request went out ahead: only its answer is waited for.
      search->sentAhead = nullptr;
      rc = nat::CollectSearch(conn, pageWaitMs, &native);
    } else {
      ULONG sizeLimit = 0;
      if (search->sizeLimit != 0) {
        if (search->returned >= search->sizeLimit) {
          search->state = State::kDone;
          return LDAP_SIZELIMIT_EXCEEDED;
        }
        sizeLimit = search->sizeLimit - search->returned;
      }
      PageRequest request(*search, pageSize, sizeLimit);
      rc = nat::Search(conn, request.params, pageWaitMs, &native);
    }
    ULONG code = static_cast<ULONG>(nat::ToWindowsCode(rc));
    NoteOutcome(ld, code);
    if (conn != ld->conn) {
      ld->serverError = nat::Diagnostic(conn);
      ld->haveServerError = !ld->serverError.empty();
    }
    LDAPSearch::Referral& r = search->currentReferral;
    if (firstOfTry && native == nullptr) {
      // The server failed or stalled before any answer: it is passed over
      // as one that fails or stalls at its bind, and the referral's next
      // URL is tried.
      FailedBeforeAnswer(ld, search->currentServer, search->currentUrl, code, &r.failed);
      search->advance = true;
      if (r.next < r.urls.size()) {
        search->pending.push_front(std::move(r));
        continue;
      }
      SayFailedUrls(&r.failed, false, &search->unfollowed);
      if (r.continuation) continue;
      search->state = State::kFailed;
      return code;
    }
    if (firstOfTry) SayFailedUrls(&r.failed, true, &search->unfollowed);
    *results = WrapNative(conn, native);
    std::vector<std::vector<std::string>> references;
    if (native != nullptr) references = nat::References(conn, native);
    for (auto& urls : references) {
      if (ld->referrals && search->FirstMeeting(urls)) {
        search->pending.push_back(LDAPSearch::Referral{std::move(urls), true, 0, {}});
      }
    }
    const ULONG entries = ldap_count_entries(ld, *results);
    search->returned += entries;
    if (conn != ld->conn) search->currentHanded += entries;
    nat::ParsedResult parsed;
    bool parsedOk = native != nullptr && nat::ParseResult(conn, native, &parsed) == 0;
    if (code == LDAP_REFERRAL && ld->referrals && parsedOk && !parsed.referrals.empty()) {
      // The base itself lives elsewhere: the search moves there.
      search->pending.push_front(LDAPSearch::Referral{parsed.referrals, false, 0, {}});
      ldap_msgfree(*results);
      *results = nullptr;
      search->cookie.clear();
      search->advance = true;
      continue;
    }
    search->cookie.clear();
    if (code != LDAP_SUCCESS && code != LDAP_SIZELIMIT_EXCEEDED && conn != ld->conn &&
        search->currentReferral.continuation) {
      // A continuation whose server fails or stalls is passed over like one
      // that cannot be reached; the entries that came are handed out.
      if (code == LDAP_TIMEOUT) ld->stalledServers.insert(search->currentServer);
      search->unfollowed.push_back({search->currentUrl, code, "",
                                    search->currentHanded > 0 ? LDAP_REFERRAL_REST_LEFT_OUT
                                                              : LDAP_REFERRAL_ALL_LEFT_OUT});
      search->advance = true;
      if (entries > 0) {
        search->state = State::kMore;
        return LDAP_SUCCESS;
      }
      ldap_msgfree(*results);
      *results = nullptr;
      continue;
    }
    if (code != LDAP_SUCCESS) {
      search->state = code == LDAP_SIZELIMIT_EXCEEDED ? State::kDone : State::kFailed;
      return code;
    }
    // The cookie of the paged-results response control says whether more follow.
    for (const nat::Control& c : parsed.controls) {
      if (c.oid != LDAP_PAGED_RESULT_OID_STRING) continue;
      detail::BerReader r(c.value.data(), c.value.size());
      detail::BerReader seq(nullptr, 0);
      int64_t estimate = 0;
      std::string_view cookie;
      if (r.Sequence(&seq) && seq.Integer(&estimate) && seq.OctetString(&cookie)) {
        search->cookie.assign(cookie);
        if (totalCount != nullptr && estimate > 0) *totalCount = static_cast<ULONG>(estimate);
      }
    }
    if (!search->cookie.empty()) {
      // A page that comes again with the same cookie would be replayed
      // without end; so would empty pages that keep asking for more.
      const bool empty = entries == 0 && references.empty();
      if (!search->loopGuard.Next(search->cookie, nat::PageFingerprint(conn, native), empty)) {
        search->state = State::kFailed;
        ld->lastCode = LDAP_LOOP_DETECT;
        return LDAP_LOOP_DETECT;
      }
      search->state = State::kMore;
    } else if (!search->pending.empty()) {
      search->state = State::kMore;
      search->advance = true;
    } else {
      search->state = State::kDone;
    }
    return LDAP_SUCCESS;
  }
}

ULONG ldap_search_send_next_page(LDAP* ld, PLDAPSearch search, l_timeval* timeout, ULONG pageSize) {
  if (ld == nullptr || search == nullptr) return LDAP_PARAM_ERROR;
  if (ld->udp || search->sentAhead != nullptr || search->state != LDAPSearch::State::kMore ||
      search->advance || search->cookie.empty() ||
      (search->sizeLimit != 0 && search->returned >= search->sizeLimit)) {
    return LDAP_NO_RESULTS_RETURNED;
  }
  nat::Conn* conn = search->current != nullptr ? search->current : ld->conn;
  const ULONG sizeLimit = search->sizeLimit != 0 ? search->sizeLimit - search->returned : 0;
  PageRequest request(*search, pageSize, sizeLimit);
  nat::SendSearch(conn, request.params, timeout != nullptr ? WaitMs(timeout) : nat::kWaitForever);
  search->sentAhead = conn;
  return LDAP_SUCCESS;
}

namespace {

// Hands out the first of the referrals left out (null: no list), one per call.
ULONG HandOut(std::deque<UnfollowedReferral>* unfollowed, char** url, ULONG* code, ULONG* leftOut,
              char** reason) {
  if (url != nullptr) *url = nullptr;
  if (reason != nullptr) *reason = nullptr;
  if (unfollowed == nullptr || url == nullptr || code == nullptr) return LDAP_PARAM_ERROR;
  if (unfollowed->empty()) return LDAP_NO_RESULTS_RETURNED;
  const UnfollowedReferral& first = unfollowed->front();
  *url = CopyText(first.url);
  *code = first.code;
  if (leftOut != nullptr) *leftOut = first.leftOut;
  if (reason != nullptr && !first.reason.empty()) *reason = CopyText(first.reason);
  unfollowed->pop_front();
  return LDAP_SUCCESS;
}

}  // namespace

ULONG ldap_search_next_unfollowed_referral(PLDAPSearch search, char** url, ULONG* code,
                                           ULONG* leftOut, char** reason) {
  return HandOut(search != nullptr ? &search->unfollowed : nullptr, url, code, leftOut, reason);
}

ULONG ldap_next_unfollowed_referral(LDAP* ld, char** url, ULONG* code, ULONG* leftOut, char** reason) {
  return HandOut(ld != nullptr ? &ld->unfollowed : nullptr, url, code, leftOut, reason);
}

ULONG ldap_search_abandon_page(LDAP* ld, PLDAPSearch search) {
  if (search == nullptr) return LDAP_PARAM_ERROR;
  nat::Conn* conn = search->current != nullptr ? search->current
                    : ld != nullptr                ? ld->conn
                                                   : nullptr;
  if (search->sentAhead != nullptr) {
    // The cookie went out with the request sent ahead: that request is abandoned.
    nat::AbandonSentSearch(search->sentAhead);
  } else if (conn != nullptr && search->state == LDAPSearch::State::kMore &&
             !search->cookie.empty()) {
    // A page size of 0 with the cookie lets the server drop the search.
    PageRequest request(*search, 0, 0);
    nat::SearchAndForget(conn, request.params);
  }
  nat::Close(search->current);
  delete search;
  return LDAP_SUCCESS;
}

}  // namespace plat
