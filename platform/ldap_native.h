// Thin layer over OpenLDAP's libldap with neutral names, so that the client
// interface (ldap_client.h, whose names are the Windows ones) never meets
// <ldap.h>'s macros. Codes returned here are libldap's; ToWindowsCode maps
// them. Only ldap_native.cc includes <ldap.h>.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ldap_entry_index.h"

// libldap's own record tags, declared without its header.
struct ldap;
struct ldapmsg;
struct berelement;

namespace plat::nat {

struct Conn;  // one libldap handle with the credentials it was bound with

// A control as libldap exchanges it.
struct Control {
  std::string oid;
  std::string value;
  bool hasValue = false;
  bool critical = false;
};

// Opens (lazily: nothing is sent yet) a connection to the URI list. TLS
// certificate checking is required. Returns null with *code set on failure.
Conn* Open(const std::string& uris, int* code);
// The same on a stream socket already connected to the server the URI
// names (plain LDAP); the socket is the connection's from then on, closed
// also on failure.
Conn* OpenOnSocket(int fd, const std::string& uri, int* code);
void Close(Conn* c);

// Wait limit in seconds (0: the default of 120): the longest wait for an
// answer on the connection (binds, searches without a wait of their own,
// referral connections it opens) and, up to 30 seconds, for a connection to
// open (TCP connect and TLS handshake). SetDefaultWaitLimit sets it for the
// connections opened afterwards.
void SetDefaultWaitLimit(int seconds);
void SetWaitLimit(Conn* c, int seconds);
int WaitLimit(Conn* c);

int SetVersion(Conn* c, int version);
int SetReferralHopLimit(Conn* c, int hops);
int SetDeref(Conn* c, int deref);
int GetVersion(Conn* c);
bool UsesTls(Conn* c);

// SASL mechanism of the last successful negotiated bind ("" when none) and
// the security strength of its layer (0: none, 1: integrity, more: encryption).
std::string BoundMechanism(Conn* c);
// Why the last negotiated bind did not use Kerberos ("" when it did, or when
// it failed for another reason, such as a wrong password).
std::string KerberosProblem(Conn* c);
int SecurityStrength(Conn* c);
// Why the last bind failed where the server did not end it as it must ("" when
// it did): it ended a SASL bind on plain LDAP before the exchange was complete
// or without the signing or sealing asked for, sent bytes in clear that were
// read before the security layer went in, or did not finish it within the
// wait limit or the steps any exchange takes.
std::string BindProblem(Conn* c);

// The last diagnostic text of the handle ("" when none), and the last code.
std::string Diagnostic(Conn* c);
int LastCode(Conn* c);

// Whether a wait for an answer on the connection ran out (its TLS handshake
// included): the connection is then taken as not answering, and every
// request on it fails at once with LDAP_TIMEOUT (one sent ahead too).
bool NotAnswering(Conn* c);
// A number that changes whenever the server's silence starts anew (a byte
// came, or a request went out while no answer was owed).
uint64_t Silence(Conn* c);

// Why the last bind could not set up TLS (the TLS library's words: an
// unknown issuer, a name that does not match, a failed handshake); "" when
// it was not TLS that failed or no reason can be had within the wait left.
std::string TlsProblem(Conn* c);

int SimpleBind(Conn* c, const char* dn, const char* password);

// Negotiated bind: SASL GSSAPI (Kerberos), NTLM in SPNEGO (GSS-SPNEGO, an
// NTLMv2 answer, signed and sealed on plain LDAP) as the fallback where a
// user name and password are given and Kerberos cannot be used.
struct NegotiateParams {
  bool haveIdentity = false;  // false: the caller's Kerberos tickets
  std::string user;
  std::string domain;
  std::string password;
  bool sign = true;
  bool seal = false;
};
int NegotiateBind(Conn* c, const NegotiateParams& p);

struct SearchParams {
  const char* base = "";
  int scope = 0;
  const char* filter = "(objectClass=*)";
  char** attrs = nullptr;
  bool attrsOnly = false;
  const std::vector<Control>* controls = nullptr;
  int timeLimit = 0;  // seconds, sent to the server; 0: none
  int sizeLimit = 0;  // 0: none
};
// Sends the search and waits for its whole result, at most waitMs
// milliseconds; kWaitOfConnection: the connection's wait limit;
// kWaitForever: no limit. Returns the search's result code (LDAP_TIMEOUT
// when the wait ran out: the request is then abandoned); *res gets the
// result chain (null on a client-side failure), its referrals unfollowed.
inline constexpr long kWaitOfConnection = -1;
inline constexpr long kWaitForever = -2;
int Search(Conn* c, const SearchParams& p, long waitMs, ldapmsg** res);
// Sends the search without waiting and discards whatever comes back.
void SearchAndForget(Conn* c, const SearchParams& p);

// A search sent ahead, one per connection: SendSearch sends it and returns
// at once; CollectSearch later waits at most waitMs for its whole result and
// gives what Search would have given (a failed send included). Another
// search on the connection meanwhile first reads this one's answer in (at
// most the waitMs given here) and holds it for the collect, so that each
// answer is read within its own wait.
void SendSearch(Conn* c, const SearchParams& p, long waitMs);
int CollectSearch(Conn* c, long waitMs, ldapmsg** res);
// Drops a search sent ahead and not collected: the server is told to
// abandon it, an answer already held is released.
void AbandonSentSearch(Conn* c);

struct ParsedResult {
  int code = 0;
  bool haveMatched = false;
  std::string matched;
  bool haveError = false;
  std::string error;
  std::vector<std::string> referrals;
  std::vector<Control> controls;
};
// Reads the result message of a chain; returns libldap's code of the parse.
int ParseResult(Conn* c, ldapmsg* res, ParsedResult* out);

// The URL lists of the search references in a result chain.
std::vector<std::vector<std::string>> References(Conn* c, ldapmsg* res);

// Where a referral URL points: the server (its URI: after TLS an ldap://
// URL is followed over LDAPS only; a URL without a host names the server of
// `from`), the DN, scope (-1: none named) and filter.
struct FollowTarget {
  std::string server;
  bool haveBase = false;
  std::string base;
  int scope = -1;
  bool haveFilter = false;
  std::string filter;
};
// Reads a referral URL met on `from`; false when it is no LDAP URL.
bool ReadReferral(Conn* from, const std::string& url, FollowTarget* target);
// Opens a connection to the server of a referral and binds it as `from`
// ended bound: a simple bind as a simple bind; the mechanism the negotiated
// bind of `from` ended with (Kerberos with no fallback, NTLM only where
// `from` itself fell back to it); TLS where `from` had it. Its wait limit is
// waitSeconds. Null with *code set when that fails, and *why (may be null)
// saying more than the code where that can be had (the TLS library's
// reason, the bind's diagnostic), else "".
Conn* Follow(Conn* from, const FollowTarget& target, int waitSeconds, int* code, std::string* why = nullptr);

// What tells a page from another: its entry count and the DNs of its
// first and last entries.
std::string PageFingerprint(Conn* c, ldapmsg* res);

int CountEntries(Conn* c, ldapmsg* res);
ldapmsg* FirstEntry(Conn* c, ldapmsg* res);
ldapmsg* NextEntry(Conn* c, ldapmsg* entry);
// Reads an entry's DN and attributes into *index (reset first), in place:
// nothing is copied, the views point into the message. An attribute whose
// encoding is malformed ends the list there. False when not even the DN
// can be read (the index is then empty).
bool ReadEntry(Conn* c, ldapmsg* entry, detail::EntryIndex* index);

void MsgFree(ldapmsg* res);

// Holds SIGPIPE back while the library writes to a socket whose peer may be
// gone, so that a dropped connection ends as "server down" instead of ending
// the process; a SIGPIPE raised meanwhile is discarded. One per thread.
class SigpipeGuard {
 public:
  SigpipeGuard();
  ~SigpipeGuard();
  SigpipeGuard(const SigpipeGuard&) = delete;
  SigpipeGuard& operator=(const SigpipeGuard&) = delete;

 private:
  unsigned char oldMask_[128];  // the thread's signal mask before
  bool pendingBefore_ = false;
};

// The result code of a referral.
inline constexpr int kReferralCode = 10;

// Result code of libldap turned into the Windows numbering.
unsigned long ToWindowsCode(int code);

// The servers of the URI list OpenLDAP's configuration names for
// connections opened without one (LDAPURI, URI in ldap.conf or ldaprc), in
// its order: each URL's scheme, host ("" when it names none; an IPv6
// address without brackets) and port (0: none). False when the
// configuration names no URI, so that libldap would go to its built-in
// default, localhost.
struct UrlServer {
  std::string scheme;
  std::string host;
  int port = 0;
};
bool ConfiguredServers(std::vector<UrlServer>* servers);

}  // namespace plat::nat
