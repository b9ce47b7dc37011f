// The only translation unit that talks to libldap, libsasl2 and GSSAPI.
#include "platform/ldap_native.h"

#include <gssapi/gssapi.h>
#include <gssapi/gssapi_ext.h>
#include <gssapi/gssapi_krb5.h>
#include <krb5.h>
#include <arpa/inet.h>
#include <fcntl.h>
#include <gnutls/crypto.h>
#include <gnutls/gnutls.h>
#include <gnutls/x509.h>
#include <lber.h>
#include <ldap.h>
#include <netdb.h>
#include <netinet/in.h>
#include <openldap.h>
#include <poll.h>
#include <pthread.h>
#include <sasl/sasl.h>
#include <signal.h>
#include <strings.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cctype>
#include <cstring>
#include <new>

#include "platform/ldap_message_guard.h"
#include "platform/ldap_read_ahead.h"

namespace plat::nat {

static_assert(sizeof(sigset_t) <= 128, "signal mask does not fit the guard");

namespace {

// The type libldap writes each option read here in (ldap_get_option(3),
// ldap_tls(3)). GetOption takes that type and no other: a value read into a
// narrower one would let the library write past it.
template <int Option>
struct OptionValue;
#define QUELBY_OPTION_VALUE(option, valueType) \
  template <>                                  \
  struct OptionValue<option> {                 \
    using type = valueType;                    \
  }
QUELBY_OPTION_VALUE(LDAP_OPT_DESC, int);
QUELBY_OPTION_VALUE(LDAP_OPT_SOCKBUF, Sockbuf*);
QUELBY_OPTION_VALUE(LDAP_OPT_PROTOCOL_VERSION, int);
QUELBY_OPTION_VALUE(LDAP_OPT_DEREF, int);
QUELBY_OPTION_VALUE(LDAP_OPT_REFHOPLIMIT, int);
QUELBY_OPTION_VALUE(LDAP_OPT_RESULT_CODE, int);
QUELBY_OPTION_VALUE(LDAP_OPT_DIAGNOSTIC_MESSAGE, char*);
QUELBY_OPTION_VALUE(LDAP_OPT_URI, char*);
QUELBY_OPTION_VALUE(LDAP_OPT_X_SASL_SSF, ber_len_t);
QUELBY_OPTION_VALUE(LDAP_OPT_X_TLS_PEERCERT, struct berval);
QUELBY_OPTION_VALUE(LDAP_OPT_X_TLS_REQUIRE_CERT, int);
QUELBY_OPTION_VALUE(LDAP_OPT_X_TLS_CACERTFILE, char*);
QUELBY_OPTION_VALUE(LDAP_OPT_X_TLS_CACERTDIR, char*);
#undef QUELBY_OPTION_VALUE

// ldap_get_option for one option, in its own type; true when it was read.
template <int Option>
bool GetOption(::LDAP* ld, typename OptionValue<Option>::type* out) {
  return ldap_get_option(ld, Option, out) == LDAP_OPT_SUCCESS;
}

}  // namespace

SigpipeGuard::SigpipeGuard() {
  sigset_t pipe;
  sigemptyset(&pipe);
  sigaddset(&pipe, SIGPIPE);
  sigset_t pending;
  sigemptyset(&pending);
  sigpending(&pending);
  pendingBefore_ = sigismember(&pending, SIGPIPE) == 1;
  pthread_sigmask(SIG_BLOCK, &pipe, reinterpret_cast<sigset_t*>(oldMask_));
}

SigpipeGuard::~SigpipeGuard() {
  sigset_t pipe;
  sigemptyset(&pipe);
  sigaddset(&pipe, SIGPIPE);
  const sigset_t* old = reinterpret_cast<const sigset_t*>(oldMask_);
  if (!pendingBefore_ && sigismember(old, SIGPIPE) != 1) {
    sigset_t pending;
    sigemptyset(&pending);
    sigpending(&pending);
    if (sigismember(&pending, SIGPIPE) == 1) {
      struct timespec none = {0, 0};
      sigtimedwait(&pipe, nullptr, &none);
    }
  }
  pthread_sigmask(SIG_SETMASK, old, nullptr);
}

// What the read guard of each socket of a connection goes by: the
// connection's wait limit, when the library call in progress must be over
// (a call that may wait for ever has no end), and whether one of its reads
// ran out of time.
struct ReadBounds {
  using Clock = std::chrono::steady_clock;
  const int* seconds = nullptr;
  Clock::time_point callEnds = Clock::time_point::max();
  bool timedOut = false;
  // The library's own wait ends the call (a search's answer awaited): a
  // read past the call's end finds "no data yet", and the message read in
  // part stays where it stands, for the next wait to read on.
  bool libraryEndsCall = false;
  bool connected = false;  // a connection was made (a bind clears it)
  // The server's silence: since when it has sent no byte while it owed an
  // answer (from a request that went out while nothing was owed, or from
  // its last byte), and a number that changes whenever a silence starts.
  Clock::time_point quietSince;
  uint64_t silence = 0;
  void Heard() {
    quietSince = Clock::now();
    ++silence;
  }

  // Milliseconds left of the call; -1: no end.
  long MsLeft() const {
    if (callEnds == Clock::time_point::max()) return -1;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(callEnds - Clock::now());
    return std::max(0L, static_cast<long>(left.count()));
  }
};

inline ReadBounds MakeBounds(const int* seconds) {
  ReadBounds b;
  b.seconds = seconds;
  return b;
}

struct Conn {
  ::LDAP* ld = nullptr;
  bool tls = false;
  // How the connection was bound, for binding referral connections alike.
  enum class Bind { kNone, kSimple, kSasl } bind = Bind::kNone;
  std::string simpleDn;
  std::string simplePassword;
  bool simpleAnonymous = true;
  std::string mech;
  NegotiateParams sasl;
  std::string authcid;  // user name given to SASL
  gss_cred_id_t cred = GSS_C_NO_CREDENTIAL;
  bool ownsCred = true;  // false: borrowed from the connection a referral came from
  bool readAhead = false;  // the read-ahead layer sits on the socket
  std::string uris;      // what the connection was opened with
  int waitSeconds = 0;   // longest wait for any answer (see SetWaitLimit)
  ReadBounds bounds = MakeBounds(&waitSeconds);
  // A wait for an answer ran out: the connection is taken as not answering,
  // and every request on it from then on fails at once with LDAP_TIMEOUT.
  bool stalled = false;
  // Whether the server owes an answer: requests sent and not answered, and
  // requests given up unanswered (their silence counts until an answer comes).
  int outstanding = 0;
  bool owed = false;
  std::string kerberosProblem;  // why the last negotiated bind went without Kerberos
  std::string saslRefusedOverTls;  // the server's words when it refused SASL over TLS
  // Why the last bind failed on our own check of how the server ended it ("" when it did not).
  std::string bindProblem;
  std::chrono::steady_clock::time_point bindStart;  // of the last bind
  std::chrono::steady_clock::time_point bindEnds;   // a negotiated bind's exchanges end by then
  ldap_conncb connectCallback{};  // bounds the socket waits of each connection
  // The search sent ahead (SendSearch; message id 0: none) and, once read in
  // before its collect, its code and result.
  struct Ahead {
    int msgid = 0;
    long waitMs = 0;
    bool held = false;
    int code = 0;
    LDAPMessage* result = nullptr;
  } ahead;
};

namespace {

// Longest wait for a connection to open (TCP and the TLS handshake) and for
// an answer, when the caller names none.
constexpr int kNetworkTimeoutSeconds = 30;
constexpr int kDefaultWaitSeconds = 120;
int g_defaultWaitSeconds = kDefaultWaitSeconds;

// A layer just above the socket of each connection the handle makes, so
// that no read waits longer than the connection's wait limit. The socket may
// be blocking (plain LDAP) or not (TLS), and the library may ask for the rest
// of a message whose header came: a read of a socket with nothing to read
// never reaches the socket, it says "no data yet" and the library goes back
// to its own bounded wait. A second such read in a row, with no data moved in
// between, comes from a loop without a wait of its own (the library's TLS
// handshake keeps reading "no data yet" for ever): it waits for data here, up
// to the wait limit, and then fails. A read that finds no data once the call
// in progress has had its time fails too: a server that sends its handshake a
// byte at a time would otherwise hold the call as long as it likes. Where the
// library keeps the call's wait itself (a search's answer awaited), the end
// of a call shorter than the wait limit is "no data yet" instead: the search
// is given up, and the connection stays usable.
struct ReadGuard {
  ReadBounds* bounds;
  bool waiting = false;  // the last read found no data
};

int GuardSetup(Sockbuf_IO_Desc* d, void* arg) {
  d->sbiod_pvt = new (std::nothrow) ReadGuard{static_cast<ReadBounds*>(arg)};
  return d->sbiod_pvt != nullptr ? 0 : -1;
}

int GuardRemove(Sockbuf_IO_Desc* d) {
  delete static_cast<ReadGuard*>(d->sbiod_pvt);
  d->sbiod_pvt = nullptr;
  return 0;
}

int GuardCtrl(Sockbuf_IO_Desc* d, int opt, void* arg) { return LBER_SBIOD_CTRL_NEXT(d, opt, arg); }

// Whether the socket has data (or an end) within ms milliseconds.
bool Readable(Sockbuf_IO_Desc* d, int ms) {
  ber_socket_t fd = -1;
  ber_sockbuf_ctrl(d->sbiod_sb, LBER_SB_OPT_GET_FD, &fd);
  struct pollfd p = {fd, POLLIN, 0};
  return fd >= 0 && poll(&p, 1, ms) == 1;
}

ber_slen_t GuardRead(Sockbuf_IO_Desc* d, void* buf, ber_len_t len) {
  auto* g = static_cast<ReadGuard*>(d->sbiod_pvt);
  ReadBounds* b = g->bounds;
  if (LBER_SBIOD_CTRL_NEXT(d, LBER_SB_OPT_DATA_READY, nullptr) <= 0 && !Readable(d, 0)) {
    const long left = b->MsLeft();
    if (left != 0 && !g->waiting) {
      g->waiting = true;
      errno = EAGAIN;
      return -1;
    }
    const long most = *b->seconds * 1000L;
    if (left == 0 || !Readable(d, static_cast<int>(left < 0 ? most : std::min(left, most)))) {
      // A call whose own wait the library keeps, shorter than the wait
      // limit, ends there as a wait that found no data: the message read
      // in part stays as it is, for the next wait to read on.
      if (b->libraryEndsCall && left >= 0 && left < most) {
        g->waiting = true;
        errno = EAGAIN;
        return -1;
      }
      b->timedOut = true;
      errno = ETIMEDOUT;
      return -1;
    }
  }
  ber_slen_t n = LBER_SBIOD_READ_NEXT(d, buf, len);
  if (n >= 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) g->waiting = false;
  if (n > 0) b->Heard();
  return n;
}

ber_slen_t GuardWrite(Sockbuf_IO_Desc* d, void* buf, ber_len_t len) {
  auto* g = static_cast<ReadGuard*>(d->sbiod_pvt);
  ber_slen_t n = LBER_SBIOD_WRITE_NEXT(d, buf, len);
  if (n > 0) g->waiting = false;
  return n;
}

int GuardClose(Sockbuf_IO_Desc* /*d*/) { return 0; }

Sockbuf_IO g_readGuardIo = {GuardSetup, GuardRemove, GuardCtrl, GuardRead, GuardWrite, GuardClose};

int OnConnect(::LDAP* /*ld*/, Sockbuf* sb, LDAPURLDesc* /*srv*/, struct sockaddr* /*addr*/,
              struct ldap_conncb* ctx) {
  static_cast<ReadBounds*>(ctx->lc_arg)->connected = true;
  ber_sockbuf_add_io(sb, &g_readGuardIo, LBER_SBIOD_LEVEL_PROVIDER + 5, ctx->lc_arg);
  PushMessageGuard(sb);
  return 0;
}

void OnDisconnect(::LDAP* /*ld*/, Sockbuf* /*sb*/, struct ldap_conncb* /*ctx*/) {}

// The options every handle of a connection starts with: referrals are
// followed by the client (ldap_client.cc) on connections it binds itself,
// never by the library.
void ApplyHandleOptions(::LDAP* ld) { ldap_set_option(ld, LDAP_OPT_REFERRALS, LDAP_OPT_OFF); }

// Applies a wait limit to the handle: the connect (and TLS handshake) of
// every connection it opens, and every synchronous call (binds).
void ApplyWaitLimit(::LDAP* ld, int seconds) {
  struct timeval net = {std::min(seconds, kNetworkTimeoutSeconds), 0};
  ldap_set_option(ld, LDAP_OPT_NETWORK_TIMEOUT, &net);
  struct timeval api = {seconds, 0};
  ldap_set_option(ld, LDAP_OPT_TIMEOUT, &api);
}

// The bounds of one library call on a connection: its reads that find no
// data end by waitMs from now (negative: the call may wait for ever), and
// the call learns whether one of them ran out of time. Calls may nest (a
// referral's bind inside a search): the outer call's bounds come back after.
class CallBounds {
 public:
  CallBounds(Conn* c, long waitMs, bool libraryEndsCall = false)
      : c_(c),
        savedEnds_(c->bounds.callEnds),
        savedTimedOut_(c->bounds.timedOut),
        savedLibraryEnds_(c->bounds.libraryEndsCall) {
    c->bounds.timedOut = false;
    c->bounds.libraryEndsCall = libraryEndsCall;
    c->bounds.callEnds = waitMs < 0 ? ReadBounds::Clock::time_point::max()
                                    : ReadBounds::Clock::now() + std::chrono::milliseconds(waitMs);
  }
  ~CallBounds() {
    c_->bounds.callEnds = savedEnds_;
    c_->bounds.timedOut = c_->bounds.timedOut || savedTimedOut_;
    c_->bounds.libraryEndsCall = savedLibraryEnds_;
  }
  CallBounds(const CallBounds&) = delete;
  CallBounds& operator=(const CallBounds&) = delete;

  // The call's code: a connection lost because a read ran out of time is
  // the timeout it was.
  int Code(int rc) const {
    return c_->bounds.timedOut && (rc == LDAP_SERVER_DOWN || rc == LDAP_CONNECT_ERROR) ? LDAP_TIMEOUT
                                                                                       : rc;
  }

 private:
  Conn* c_;
  ReadBounds::Clock::time_point savedEnds_;
  bool savedTimedOut_;
  bool savedLibraryEnds_;
};

long WaitMsOf(Conn* c) { return static_cast<long>(c->waitSeconds) * 1000; }

// A wait of ms milliseconds for ldap_result, at least a microsecond.
struct timeval WaitOf(long ms) {
  struct timeval tv = {ms / 1000, (ms % 1000) * 1000};
  if (tv.tv_sec == 0 && tv.tv_usec == 0) tv.tv_usec = 1;
  return tv;
}

// A request on the connection that waited its whole wait limit (or had no
// limit) and got no answer leaves the connection taken as not answering; a
// wait that a caller's own bound cut shorter (the last request of a load of
// many, each answered) says nothing of the server by itself. The code
// passes through.
int NoteStall(Conn* c, int rc, long waitMs = kWaitOfConnection) {
  if (rc == LDAP_TIMEOUT && (waitMs < 0 || waitMs >= WaitMsOf(c))) c->stalled = true;
  return rc;
}

// The server's silence clock. It starts when a request goes out while
// nothing was owed and starts again with every byte that comes; a server
// that has owed an answer for a whole wait limit without a byte is not
// answering, whatever the waits that saw it were cut to.
void NoteRequestOut(Conn* c) {
  if (!c->owed) c->bounds.Heard();
  c->owed = true;
  ++c->outstanding;
}
void NoteAnswered(Conn* c) {
  if (c->outstanding > 0) --c->outstanding;
  if (c->outstanding == 0) c->owed = false;
}
void NoteGivenUp(Conn* c) {
  if (c->outstanding > 0) --c->outstanding;
}
// Milliseconds until the server has been silent for a whole wait limit; -1
// when it owes nothing.
long MsUntilSilent(Conn* c) {
  if (!c->owed) return -1;
  const auto ends = c->bounds.quietSince + std::chrono::milliseconds(WaitMsOf(c));
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(ends - ReadBounds::Clock::now());
  return std::max(0L, static_cast<long>(left.count()));
}

void SetDiagnostic(::LDAP* ld, const std::string& text) {
  ldap_set_option(ld, LDAP_OPT_DIAGNOSTIC_MESSAGE, text.c_str());
}

// Text of a GSSAPI status pair.
std::string GssText(OM_uint32 major, OM_uint32 minor) {
  std::string out;
  for (int pass = 0; pass < 2; ++pass) {
    OM_uint32 code = pass == 0 ? major : minor;
    int type = pass == 0 ? GSS_C_GSS_CODE : GSS_C_MECH_CODE;
    if (code == 0) continue;
    OM_uint32 ctx = 0;
    do {
      OM_uint32 min2 = 0;
      gss_buffer_desc buf = GSS_C_EMPTY_BUFFER;
      if (gss_display_status(&min2, code, type, GSS_C_NO_OID, &ctx, &buf) != GSS_S_COMPLETE) break;
      if (!out.empty()) out += ": ";
      out.append(static_cast<const char*>(buf.value), buf.length);
      gss_release_buffer(&min2, &buf);
    } while (ctx != 0);
  }
  return out;
}

struct InteractContext {
  Conn* conn;
  const std::string* authcid;
  const std::string* password;
  const std::string* realm;
};

// SASL interaction: hands over the in-memory Kerberos credentials (libldap
// accepts them only while the exchange runs) and answers the prompts.
int Interact(::LDAP* ld, unsigned /*flags*/, void* defaults, void* in) {
  auto* ctx = static_cast<InteractContext*>(defaults);
  if (ctx->conn->cred != GSS_C_NO_CREDENTIAL) {
    ldap_set_option(ld, LDAP_OPT_X_SASL_GSS_CREDS, ctx->conn->cred);
  }
  for (auto* p = static_cast<sasl_interact_t*>(in); p != nullptr && p->id != SASL_CB_LIST_END; ++p) {
    const std::string* answer = nullptr;
    switch (p->id) {
      case SASL_CB_AUTHNAME:
        answer = ctx->authcid;
        break;
      case SASL_CB_PASS:
        answer = ctx->password;
        break;
      case SASL_CB_GETREALM:
        answer = ctx->realm;
        break;
      default:  // SASL_CB_USER: no separate authorization identity
        break;
    }
    if (answer != nullptr) {
      p->result = answer->c_str();
      p->len = static_cast<unsigned>(answer->size());
    } else {
      p->result = "";
      p->len = 0;
    }
  }
  return LDAP_SUCCESS;
}

// The SASL mechanisms of the negotiated bind: Kerberos, and NTLM inside
// SPNEGO, as the platform's negotiated bind sends it.
constexpr char kKerberosMech[] = "GSSAPI";
constexpr char kNtlmMech[] = "GSS-SPNEGO";

// The most bind requests one SASL exchange may take: Kerberos takes three,
// NTLM in SPNEGO two or three. A server that asks for more is not finishing it.
constexpr int kMostBindSteps = 8;

// Security strengths: a signed session, and the least a sealed one is asked for.
constexpr int kSignedStrength = 1;
constexpr int kSealedStrength = 56;

// The negotiated bind's exchanges with the server get the whole wait limit from now.
void StartBindClock(Conn* c) { c->bindEnds = ReadBounds::Clock::now() + std::chrono::milliseconds(WaitMsOf(c)); }

// Milliseconds left of the negotiated bind in progress (at least 0).
long BindMsLeft(Conn* c) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(c->bindEnds - ReadBounds::Clock::now());
  return std::max(0L, static_cast<long>(left.count()));
}

// Time the bind spends outside its exchanges with the server: in the
// Kerberos library (reaching a KDC, and the resolver's lookups for one) and
// in name lookups. Those are bounded by their own libraries; the bind's wait
// limit bounds the waits for the server, so its end (and that of the call in
// progress) moves on by as much.
class OffTheBindClock {
 public:
  explicit OffTheBindClock(Conn* c) : c_(c), start_(ReadBounds::Clock::now()) {}
  ~OffTheBindClock() {
    const auto spent = ReadBounds::Clock::now() - start_;
    c_->bindEnds += spent;
    if (c_->bounds.callEnds != ReadBounds::Clock::time_point::max()) c_->bounds.callEnds += spent;
  }
  OffTheBindClock(const OffTheBindClock&) = delete;
  OffTheBindClock& operator=(const OffTheBindClock&) = delete;

 private:
  Conn* c_;
  ReadBounds::Clock::time_point start_;
};

// A bind that failed on our own check: its reason is the connection's
// diagnostic and its bind problem. The code passes through.
int FailBind(Conn* c, int rc, const std::string& why) {
  c->bindProblem = why;
  SetDiagnostic(c->ld, why);
  return rc;
}

// Waits for the answer to the bind request msgid within what is left of the
// bind. LDAP_SUCCESS with *res set, else the code of the failure; a wait
// that ran out after the server had already answered a step says that the
// server did not finish the bind.
int AwaitBindStep(Conn* c, ::LDAP* ld, int msgid, bool answeredBefore, const CallBounds& bounds,
                  LDAPMessage** res) {
  *res = nullptr;
  const long left = BindMsLeft(c);
  struct timeval tv = WaitOf(left);
  const int got = ldap_result(ld, msgid, LDAP_MSG_ALL, &tv, res);
  int rc = LDAP_SUCCESS;
  if (got == 0) {
    rc = LDAP_TIMEOUT;
  } else if (got < 0 || *res == nullptr) {
    GetOption<LDAP_OPT_RESULT_CODE>(ld, &rc);
    rc = bounds.Code(rc != LDAP_SUCCESS ? rc : LDAP_SERVER_DOWN);
  }
  if (rc == LDAP_TIMEOUT && answeredBefore) {
    FailBind(c, rc, "the server did not finish the bind within " + std::to_string(c->waitSeconds) + " seconds");
  }
  return rc;
}

// A server that keeps a bind in progress past the steps any exchange takes.
int NotFinished(Conn* c, int steps) {
  return FailBind(c, LDAP_PROTOCOL_ERROR, "the server did not finish the bind in " + std::to_string(steps) + " steps");
}

// Closes the way out of a connection whose bind failed our check: nothing
// more, not even the unbind, reaches a server that would read it in clear.
void ShutOut(::LDAP* ld) {
  int fd = -1;
  if (GetOption<LDAP_OPT_DESC>(ld, &fd) && fd >= 0) shutdown(fd, SHUT_RDWR);
}

// Notes a SASL bind over TLS that the server refused for want of signing
// or sealing, which a bind over TLS leaves to TLS: such a server takes no
// SASL bind over TLS at all. The code passes through.
int NoteTlsRefusal(Conn* c, int rc) {
  if (c->tls && rc == LDAP_STRONG_AUTH_REQUIRED) c->saslRefusedOverTls = Diagnostic(c);
  return rc;
}

// The SASL bind, step by step within what is left of the negotiated bind
// and within kMostBindSteps requests. On plain LDAP the server's "success"
// is taken only once the exchange is complete on our side and the security
// layer asked for is in force: a server (or anyone in the path) that ends
// the bind early would otherwise get the session in clear.
int SaslBindOn(Conn* c, ::LDAP* ld, const std::string& mech) {
  ldap_set_option(ld, LDAP_OPT_X_SASL_NOCANON, LDAP_OPT_ON);
  // Security layer: over TLS none (the channel is bound instead); otherwise
  // Kerberos signs by default and seals when sealing is asked; NTLM signs
  // and seals, as the platform's does.
  const bool ntlm = mech == kNtlmMech;
  const char* props = c->tls ? "minssf=0,maxssf=0"
                      : c->sasl.seal ? "minssf=56"
                      : ntlm ? "minssf=1"
                      : c->sasl.sign ? "minssf=1,maxssf=1"
                                     : "minssf=0";
  ldap_set_option(ld, LDAP_OPT_X_SASL_SECPROPS, props);
  if (c->tls) {
    int cb = LDAP_OPT_X_SASL_CBINDING_TLS_ENDPOINT;
    ldap_set_option(ld, LDAP_OPT_X_SASL_CBINDING, &cb);
  }
  std::string realm = c->sasl.domain;
  InteractContext ctx{c, &c->authcid, &c->sasl.password, &realm};
  CallBounds bounds(c, BindMsLeft(c));
  // The connection is made first, on the bind's clock: each step after it
  // talks to the server only by sending, and spends the rest of its time in
  // the mechanism's library.
  int fd = -1;
  if (!GetOption<LDAP_OPT_DESC>(ld, &fd) || fd < 0) {
    const int opened = ldap_connect(ld);
    if (opened != LDAP_SUCCESS) return NoteTlsRefusal(c, bounds.Code(opened));
  }
  LDAPMessage* res = nullptr;
  const char* pending = nullptr;  // the mechanism while our side has more to do
  bool serverEnded = false;       // the server's last answer was "success"
  int msgid = 0;
  int rc = LDAP_SUCCESS;
  for (int step = 1;; ++step) {
    // Reads the server's last answer, if any, and sends our next step.
    {
      OffTheBindClock mechanism(c);
      rc = ldap_sasl_interactive_bind(ld, nullptr, mech.c_str(), nullptr, nullptr, LDAP_SASL_QUIET, Interact,
                                      &ctx, res, &pending, &msgid);
    }
    ldap_msgfree(res);
    res = nullptr;
    if (rc != LDAP_SASL_BIND_IN_PROGRESS) break;
    rc = AwaitBindStep(c, ld, msgid, step > 1, bounds, &res);
    if (rc != LDAP_SUCCESS) break;
    int code = LDAP_OTHER;
    ldap_parse_result(ld, res, &code, nullptr, nullptr, nullptr, nullptr, 0);
    serverEnded = code == LDAP_SUCCESS;
    if (code == LDAP_SASL_BIND_IN_PROGRESS && step == kMostBindSteps) {
      ldap_msgfree(res);
      rc = NotFinished(c, step);
      break;
    }
  }
  rc = NoteTlsRefusal(c, bounds.Code(rc));
  // Over TLS the channel protects the session; a bind the server did not
  // end with "success" failed as it says.
  if (c->tls || !serverEnded) return rc;
  const int needed = c->sasl.seal ? kSealedStrength : c->sasl.sign || ntlm ? kSignedStrength : 0;
  const int strength = rc == LDAP_SUCCESS ? SecurityStrength(c) : 0;
  const bool complete = rc == LDAP_SUCCESS && pending == nullptr;
  // Past the checks above the security layer is in force: whatever came with
  // the bind's answer, or after it, and was read before the layer went in came
  // in clear, and would be handed up as if it had come through the layer.
  Sockbuf* sb = nullptr;
  size_t early = 0;
  std::string why;
  if (!complete || strength < needed) {
    why = std::string("the server ended the bind without the ") + (c->sasl.seal ? "sealing" : "signing") +
          " the bind requires" +
          (!complete ? " (before the exchange was complete)"
                     : " (security strength " + std::to_string(strength) + ", " + std::to_string(needed) +
                           " needed)");
  } else if (strength > 0 && GetOption<LDAP_OPT_SOCKBUF>(ld, &sb) && (early = MessageGuardPending(sb)) > 0) {
    why = "the server sent data outside the security layer (" + std::to_string(early) +
          (early == 1 ? " byte" : " bytes") + " in clear after the bind's answer)";
  }
  if (why.empty()) return rc;
  ShutOut(ld);
  return FailBind(c, LDAP_PROTOCOL_ERROR, why);
}

// What the DC says of itself in its RootDSE, readable before any bind: its
// Kerberos realm (from ldapServiceName, "acc.test:dc1$@ACC.TEST") and its
// host name (dnsHostName); "" for what the server names not.
struct DcNames {
  std::string realm;
  std::string host;
};

DcNames ReadDcNames(Conn* c, int* code) {
  char service[] = "ldapServiceName";
  char host[] = "dnsHostName";
  char* attrs[] = {service, host, nullptr};
  LDAPMessage* res = nullptr;
  const long left = BindMsLeft(c);
  struct timeval tv = WaitOf(left);
  DcNames names;
  CallBounds bounds(c, left);
  int rc = NoteStall(c, bounds.Code(ldap_search_ext_s(c->ld, "", LDAP_SCOPE_BASE, "(objectClass=*)",
                                                      attrs, 0, nullptr, nullptr, &tv, 0, &res)));
  if (rc == LDAP_SUCCESS) {
    LDAPMessage* e = ldap_first_entry(c->ld, res);
    auto first = [&](char* attr) {
      std::string v;
      struct berval** vals = e != nullptr ? ldap_get_values_len(c->ld, e, attr) : nullptr;
      if (vals != nullptr && vals[0] != nullptr) v.assign(vals[0]->bv_val, vals[0]->bv_len);
      ldap_value_free_len(vals);
      return v;
    };
    std::string v = first(service);
    size_t at = v.rfind('@');
    if (at != std::string::npos) names.realm = v.substr(at + 1);
    names.host = first(host);
  } else if (rc == LDAP_TIMEOUT) {
    SetDiagnostic(c->ld, "no answer to the RootDSE read before the bind");
  }
  ldap_msgfree(res);
  *code = rc;
  return names;
}

// The host (first) URL of the connection names, and its port (the
// transport's own where it names none); false when it names no host.
bool UrlHost(Conn* c, std::string* host, int* port) {
  LDAPURLDesc* lud = nullptr;
  if (ldap_url_parse(c->uris.c_str(), &lud) != LDAP_URL_SUCCESS || lud == nullptr) return false;
  *host = lud->lud_host != nullptr ? lud->lud_host : "";
  *port = lud->lud_port != 0 ? lud->lud_port : c->tls ? LDAPS_PORT : LDAP_PORT;
  ldap_free_urldesc(lud);
  return !host->empty();
}

// The host the connection was opened with, and its port, when Kerberos may
// bind under another name: plain LDAP to one server. Over TLS the
// connection keeps the name given, which its certificate was checked against.
bool GivenHost(Conn* c, std::string* host, int* port) {
  return !c->tls && c->uris.find(' ') == std::string::npos && UrlHost(c, host, port);
}

bool IsAddress(const std::string& host) {
  unsigned char buf[sizeof(struct in6_addr)];
  return inet_pton(AF_INET, host.c_str(), buf) == 1 || inet_pton(AF_INET6, host.c_str(), buf) == 1;
}

// Whether two DNS names are the same name (case and a final dot aside).
bool SameHostName(std::string a, std::string b) {
  if (!a.empty() && a.back() == '.') a.pop_back();
  if (!b.empty() && b.back() == '.') b.pop_back();
  return strcasecmp(a.c_str(), b.c_str()) == 0;
}

// The address at the other end of the connection; false when none.
bool PeerAddress(Conn* c, sockaddr_storage* peer, socklen_t* len) {
  int fd = -1;
  *len = sizeof *peer;
  return GetOption<LDAP_OPT_DESC>(c->ld, &fd) && fd >= 0 &&
         getpeername(fd, reinterpret_cast<sockaddr*>(peer), len) == 0;
}

// The numeric text of an address ("" when none).
std::string AddressText(const sockaddr* address, socklen_t len) {
  char text[NI_MAXHOST];
  return getnameinfo(address, len, text, sizeof text, nullptr, 0, NI_NUMERICHOST) == 0 ? text : "";
}

// Whether two socket addresses are the same host, ports aside (an IPv4
// address also in its IPv6-mapped form).
bool SameHost(const sockaddr* a, const sockaddr* b) {
  auto v4 = [](const sockaddr* s, in_addr* out) {
    if (s->sa_family == AF_INET) {
      *out = reinterpret_cast<const sockaddr_in*>(s)->sin_addr;
      return true;
    }
    const auto* s6 = reinterpret_cast<const sockaddr_in6*>(s);
    if (s->sa_family != AF_INET6 || !IN6_IS_ADDR_V4MAPPED(&s6->sin6_addr)) return false;
    std::memcpy(out, s6->sin6_addr.s6_addr + 12, sizeof *out);
    return true;
  };
  in_addr x{}, y{};
  const bool a4 = v4(a, &x), b4 = v4(b, &y);
  if (a4 || b4) return a4 && b4 && x.s_addr == y.s_addr;
  return a->sa_family == AF_INET6 && b->sa_family == AF_INET6 &&
         std::memcmp(&reinterpret_cast<const sockaddr_in6*>(a)->sin6_addr,
                     &reinterpret_cast<const sockaddr_in6*>(b)->sin6_addr, sizeof(in6_addr)) == 0;
}

// Whether a host name leads (among the addresses it resolves to) to the
// address the connection talks to, as a domain member's DNS makes a DC's
// own name lead to that DC. A name a server merely claims, before any bind
// and without proof, leads elsewhere or nowhere. The lookup is bounded by
// the resolver's own time-outs, as the reverse lookup is.
bool LeadsTo(const std::string& name, const sockaddr* peer) {
  struct addrinfo hints = {};
  hints.ai_socktype = SOCK_STREAM;
  struct addrinfo* list = nullptr;
  if (name.empty() || getaddrinfo(name.c_str(), nullptr, &hints, &list) != 0) return false;
  bool found = false;
  for (struct addrinfo* a = list; a != nullptr && !found; a = a->ai_next) found = SameHost(a->ai_addr, peer);
  freeaddrinfo(list);
  return found;
}

// The name of the server at the other end of the connection, from the
// reverse lookup of its address; "" when there is none.
std::string PeerName(const sockaddr* peer, socklen_t len) {
  char name[NI_MAXHOST];
  if (getnameinfo(peer, len, name, sizeof name, nullptr, 0, NI_NAMEREQD) != 0) return "";
  return name;
}

// A blocking TCP socket connected to address within ms milliseconds; -1
// when none.
int ConnectAddress(const sockaddr* address, socklen_t length, int ms) {
  const int fd = socket(address->sa_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return -1;
  int error = connect(fd, address, length) == 0 ? 0 : errno;
  if (error == EINPROGRESS) {
    struct pollfd p = {fd, POLLOUT, 0};
    socklen_t len = sizeof error;
    if (poll(&p, 1, ms) != 1 || getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) != 0) {
      error = ETIMEDOUT;
    }
  }
  const int flags = fcntl(fd, F_GETFL);
  if (error != 0 || flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// A handle on socket s, already connected to the server url names, with
// its reads bounded like those of every other connection of c. Null (s
// closed) when the library refuses it.
::LDAP* AdoptSocket(Conn* c, int s, const std::string& url) {
  ::LDAP* ld = nullptr;
  if (ldap_init_fd(s, LDAP_PROTO_TCP, url.c_str(), &ld) != LDAP_SUCCESS || ld == nullptr) {
    close(s);
    return nullptr;
  }
  ApplyHandleOptions(ld);
  ApplyWaitLimit(ld, c->waitSeconds);
  Sockbuf* sb = nullptr;
  if (GetOption<LDAP_OPT_SOCKBUF>(ld, &sb) && sb != nullptr) {
    ber_sockbuf_add_io(sb, &g_readGuardIo, LBER_SBIOD_LEVEL_PROVIDER + 5, &c->bounds);
    PushMessageGuard(sb);
  }
  ldap_set_option(ld, LDAP_OPT_CONNECT_CB, &c->connectCallback);
  return ld;
}

// Kerberos names its service by the server's host name, never by an
// address: a connection made to an address is made anew to the same peer,
// under the DC's own name (which the SASL layer then uses for the service
// ldap/<name>). False when that cannot be done; the connection is then as
// it was.
bool RenameByDcName(Conn* c, const std::string& dcName, int port, const sockaddr_storage& peer,
                    socklen_t len) {
  // Within what is left of the bind it is made for.
  const int s = ConnectAddress(reinterpret_cast<const sockaddr*>(&peer), len,
                               static_cast<int>(std::min(BindMsLeft(c), kNetworkTimeoutSeconds * 1000L)));
  if (s < 0) return false;
  ::LDAP* ld = AdoptSocket(c, s, "ldap://" + dcName + ":" + std::to_string(port));
  if (ld == nullptr) return false;
  // The new handle takes the options of the old one.
  int version = LDAP_VERSION3;
  GetOption<LDAP_OPT_PROTOCOL_VERSION>(c->ld, &version);
  ldap_set_option(ld, LDAP_OPT_PROTOCOL_VERSION, &version);
  int deref = LDAP_DEREF_NEVER;
  GetOption<LDAP_OPT_DEREF>(c->ld, &deref);
  ldap_set_option(ld, LDAP_OPT_DEREF, &deref);
  int hops = 0;
  if (GetOption<LDAP_OPT_REFHOPLIMIT>(c->ld, &hops)) {
    ldap_set_option(ld, LDAP_OPT_REFHOPLIMIT, &hops);
  }
  ldap_unbind_ext(c->ld, nullptr, nullptr);
  c->ld = ld;
  c->readAhead = false;
  return true;
}

// Before a Kerberos bind: Kerberos names the service by the server's own
// host name (ldap/<name>), which a connection may not use: one named by an
// address, or by another name that leads there (the domain's name, which
// resolves to its DCs). Such a connection is made anew to the same peer
// under the server's own name: the one its RootDSE gives, else (for an
// address) its reverse lookup, but only a name that leads back to the
// address the connection talks to. The RootDSE is read before any bind:
// a server that names another host as itself would otherwise be sent that
// host's service ticket, to relay it there. "" when the connection keeps
// its name (Kerberos then asks for the name given and the KDC decides);
// *why says so when the name given was not the server's own.
std::string KerberosHostFor(Conn* c, const DcNames& names, std::string* why) {
  std::string given;
  int port = 0;
  if (!GivenHost(c, &given, &port)) return "";
  const bool address = IsAddress(given);
  if (!address && (names.host.empty() || SameHostName(names.host, given))) return "";
  struct sockaddr_storage peer;
  socklen_t len = 0;
  if (!PeerAddress(c, &peer, &len)) return "";
  const auto* at = reinterpret_cast<const sockaddr*>(&peer);
  std::string name, reverse;
  {
    OffTheBindClock lookups(c);
    if (LeadsTo(names.host, at)) name = names.host;
    if (name.empty() && address) {
      reverse = PeerName(at, len);
      if (LeadsTo(reverse, at)) name = reverse;
    }
  }
  if (name.empty()) {
    const std::string there = AddressText(at, len);
    if (!names.host.empty()) {
      *why = "the server " + given + " calls itself " + names.host + ", a name that does not lead to " + there;
    } else {
      *why = "the server " + given + " names no host in its RootDSE";
    }
    if (address) {
      *why += reverse.empty() ? " and has no reverse lookup"
                              : ", nor does its reverse lookup " + reverse + " lead there";
    }
    return "";
  }
  if (!address && SameHostName(name, given)) return "";
  if (!RenameByDcName(c, name, port, peer, len)) {
    *why = "no second connection to " + given + " could be made under the name " + name;
    return "";
  }
  return name;
}

// Reads the DC's names and renames the connection for Kerberos where it
// needs it; *why as KerberosHostFor. LDAP_SERVER_DOWN or LDAP_TIMEOUT when
// the server could not be read at all, else LDAP_SUCCESS.
int NameForKerberos(Conn* c, DcNames* names, std::string* why) {
  int read = LDAP_SUCCESS;
  *names = ReadDcNames(c, &read);
  if (read == LDAP_SERVER_DOWN || read == LDAP_TIMEOUT) return read;
  KerberosHostFor(c, *names, why);
  return LDAP_SUCCESS;
}

std::string Upper(std::string s) {
  for (char& ch : s) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  return s;
}

// Kerberos principal for the identity, or "" when no realm can be named.
std::string Principal(const NegotiateParams& p, const std::string& dcRealm) {
  size_t at = p.user.find('@');
  if (at != std::string::npos) {
    std::string suffix = p.user.substr(at + 1);
    if (!dcRealm.empty() && strcasecmp(suffix.c_str(), dcRealm.c_str()) == 0) suffix = dcRealm;
    else suffix = Upper(suffix);
    return p.user.substr(0, at) + "@" + suffix;
  }
  if (p.domain.find('.') != std::string::npos) return p.user + "@" + Upper(p.domain);
  if (!dcRealm.empty()) return p.user + "@" + dcRealm;
  return "";
}

enum class KerberosOutcome { kOk, kRefused, kUnavailable };

KerberosOutcome AcquireCredentials(Conn* c, const std::string& principal, std::string* why) {
  OM_uint32 minor = 0;
  gss_buffer_desc nameBuf{principal.size(), const_cast<char*>(principal.data())};
  gss_name_t name = GSS_C_NO_NAME;
  OM_uint32 major = gss_import_name(&minor, &nameBuf, GSS_C_NT_USER_NAME, &name);
  if (GSS_ERROR(major)) {
    *why = GssText(major, minor);
    return KerberosOutcome::kUnavailable;
  }
  gss_buffer_desc pw{c->sasl.password.size(), const_cast<char*>(c->sasl.password.data())};
  gss_OID_desc mech = *gss_mech_krb5;
  gss_OID_set_desc mechs{1, &mech};
  {
    OffTheBindClock kdc(c);
    major = gss_acquire_cred_with_password(&minor, name, &pw, GSS_C_INDEFINITE, &mechs, GSS_C_INITIATE,
                                           &c->cred, nullptr, nullptr);
  }
  OM_uint32 min2 = 0;
  gss_release_name(&min2, &name);
  if (!GSS_ERROR(major)) return KerberosOutcome::kOk;
  *why = GssText(major, minor);
  c->cred = GSS_C_NO_CREDENTIAL;
  switch (static_cast<long>(static_cast<int32_t>(minor))) {
    case KRB5KDC_ERR_PREAUTH_FAILED:
    case KRB5KRB_AP_ERR_BAD_INTEGRITY:
    case KRB5KDC_ERR_C_PRINCIPAL_UNKNOWN:
    case KRB5KDC_ERR_CLIENT_REVOKED:
    case KRB5KDC_ERR_KEY_EXP:
      return KerberosOutcome::kRefused;
    default:
      return KerberosOutcome::kUnavailable;
  }
}

// A result code the server sent. Codes below 0 are the library's own (the
// protocol has none): from the server one is a protocol error, never a
// link that went down.
int ServerCode(int code) { return code < 0 ? LDAP_PROTOCOL_ERROR : code; }

// libldap hands a bind's result code back as it came, so a server that
// answers with -1 looks like the library's own "server down". While the
// connection still stands, that code was the server's: a protocol error.
int BindCode(Conn* c, int rc) {
  if (rc != LDAP_SERVER_DOWN) return rc;
  ber_socket_t fd = -1;
  if (GetOption<LDAP_OPT_DESC>(c->ld, &fd) && fd >= 0) {
    return LDAP_PROTOCOL_ERROR;
  }
  return rc;
}

// Takes cred as the credentials c binds with, releasing those it held when
// they were its own (not borrowed from the connection a referral came from).
void TakeCredentials(Conn* c, gss_cred_id_t cred, bool owns) {
  if (c->cred != GSS_C_NO_CREDENTIAL && c->ownsCred) {
    OM_uint32 minor = 0;
    gss_release_cred(&minor, &c->cred);
  }
  c->cred = cred;
  c->ownsCred = owns;
}

// GSSAPI's names of SPNEGO (1.3.6.1.5.5.2) and NTLMSSP (1.3.6.1.4.1.311.2.2.10).
gss_OID_desc g_spnego = {6, const_cast<char*>("\x2b\x06\x01\x05\x05\x02")};
gss_OID_desc g_ntlmssp = {10, const_cast<char*>("\x2b\x06\x01\x04\x01\x82\x37\x02\x02\x0a")};

// The user as NTLMSSP reads it: DOMAIN\user, user@domain or user alone.
// The name goes through NTLMSSP's own exported form, which no other
// mechanism reads: SPNEGO then gets credentials for NTLMSSP only, never
// asks a KDC for the name again.
bool NtlmName(const NegotiateParams& p, gss_name_t* name, std::string* why) {
  const std::string user = p.domain.empty() ? p.user : p.domain + "\\" + p.user;
  OM_uint32 minor = 0, min2 = 0;
  gss_buffer_desc text{user.size(), const_cast<char*>(user.data())};
  gss_name_t given = GSS_C_NO_NAME, own = GSS_C_NO_NAME;
  gss_buffer_desc exported = GSS_C_EMPTY_BUFFER;
  OM_uint32 major = gss_import_name(&minor, &text, GSS_C_NT_USER_NAME, &given);
  if (!GSS_ERROR(major)) major = gss_canonicalize_name(&minor, given, &g_ntlmssp, &own);
  if (!GSS_ERROR(major)) major = gss_export_name(&minor, own, &exported);
  if (!GSS_ERROR(major)) major = gss_import_name(&minor, &exported, GSS_C_NT_EXPORT_NAME, name);
  if (GSS_ERROR(major)) *why = GssText(major, minor);
  gss_release_buffer(&min2, &exported);
  gss_release_name(&min2, &own);
  gss_release_name(&min2, &given);
  return !GSS_ERROR(major);
}

// NTLM credentials from the password, kept in memory: for SPNEGO, narrowed
// to NTLMSSP, where the session gets SPNEGO's signing and sealing (plain
// LDAP); for NTLMSSP alone over TLS, where servers refuse a second security
// layer and SPNEGO would always ask NTLMSSP to sign.
bool AcquireNtlmCredentials(Conn* c, std::string* why) {
  gss_name_t name = GSS_C_NO_NAME;
  if (!NtlmName(c->sasl, &name, why)) return false;
  OM_uint32 minor = 0, min2 = 0;
  gss_buffer_desc pw{c->sasl.password.size(), const_cast<char*>(c->sasl.password.data())};
  gss_OID_set_desc mechs{1, c->tls ? &g_ntlmssp : &g_spnego};
  gss_cred_id_t cred = GSS_C_NO_CREDENTIAL;
  OM_uint32 major = 0;
  {
    OffTheBindClock mechanism(c);
    major = gss_acquire_cred_with_password(&minor, name, &pw, GSS_C_INDEFINITE, &mechs, GSS_C_INITIATE, &cred,
                                           nullptr, nullptr);
  }
  gss_release_name(&min2, &name);
  gss_OID_set_desc ntlmOnly{1, &g_ntlmssp};
  if (!GSS_ERROR(major) && !c->tls) major = gss_set_neg_mechs(&minor, cred, &ntlmOnly);
  if (GSS_ERROR(major)) {
    *why = GssText(major, minor);
    gss_release_cred(&min2, &cred);
    return false;
  }
  TakeCredentials(c, cred, true);
  return true;
}

// The tls-server-end-point binding of the connection's TLS channel (RFC
// 5929): the server's certificate hashed with the hash of its signature,
// SHA-256 in place of MD5 and SHA-1. "" when there is no certificate.
std::string TlsEndpoint(Conn* c) {
  struct berval cert = {0, nullptr};
  if (!GetOption<LDAP_OPT_X_TLS_PEERCERT>(c->ld, &cert) || cert.bv_val == nullptr) {
    return "";
  }
  gnutls_digest_algorithm_t hash = GNUTLS_DIG_SHA256;
  gnutls_x509_crt_t crt = nullptr;
  gnutls_datum_t der = {reinterpret_cast<unsigned char*>(cert.bv_val), static_cast<unsigned>(cert.bv_len)};
  if (gnutls_x509_crt_init(&crt) == 0) {
    if (gnutls_x509_crt_import(crt, &der, GNUTLS_X509_FMT_DER) == 0) {
      const int sign = gnutls_x509_crt_get_signature_algorithm(crt);
      const auto used = gnutls_sign_get_hash_algorithm(static_cast<gnutls_sign_algorithm_t>(sign));
      if (used != GNUTLS_DIG_UNKNOWN && used != GNUTLS_DIG_MD5 && used != GNUTLS_DIG_SHA1) hash = used;
    }
    gnutls_x509_crt_deinit(crt);
  }
  std::string out = "tls-server-end-point:";
  unsigned char digest[64];
  const size_t n = gnutls_hash_get_len(hash);
  if (n == 0 || n > sizeof digest || gnutls_hash_fast(hash, cert.bv_val, cert.bv_len, digest) != 0) {
    out.clear();
  } else {
    out.append(reinterpret_cast<const char*>(digest), n);
  }
  ber_memfree(cert.bv_val);
  return out;
}

// NTLM over TLS: NTLMSSP's own messages in the GSS-SPNEGO bind, as SPNEGO
// servers take them, with its v2 answer and no signing or sealing, the
// answer bound to the TLS channel (which servers that enforce channel
// binding require). The binding is known once the TLS handshake is through,
// which the first message's exchange makes sure of; the answer, which
// carries it, comes after.
int NtlmOverTls(Conn* c) {
  std::string host;
  int port = 0;
  UrlHost(c, &host, &port);
  const std::string service = "ldap@" + host;
  OM_uint32 minor = 0, min2 = 0;
  gss_buffer_desc serviceText{service.size(), const_cast<char*>(service.data())};
  gss_name_t target = GSS_C_NO_NAME;
  OM_uint32 major = gss_import_name(&minor, &serviceText, GSS_C_NT_HOSTBASED_SERVICE, &target);
  gss_ctx_id_t ctx = GSS_C_NO_CONTEXT;
  struct berval* answer = nullptr;
  std::string endpoint;
  gss_channel_bindings_struct binding{};
  CallBounds bounds(c, BindMsLeft(c));
  int rc = LDAP_LOCAL_ERROR;
  int sent = 0;  // bind requests
  for (int step = 0; !GSS_ERROR(major) && step < 3; ++step) {
    if (step > 0 && endpoint.empty()) {
      endpoint = TlsEndpoint(c);
      binding.application_data = {endpoint.size(), endpoint.data()};
    }
    gss_buffer_desc in = {answer != nullptr ? answer->bv_len : 0, answer != nullptr ? answer->bv_val : nullptr};
    gss_buffer_desc out = GSS_C_EMPTY_BUFFER;
    major = gss_init_sec_context(&minor, c->cred, &ctx, target, &g_ntlmssp, 0, GSS_C_INDEFINITE,
                                 endpoint.empty() ? GSS_C_NO_CHANNEL_BINDINGS : &binding, &in, nullptr,
                                 &out, nullptr, nullptr);
    ber_bvfree(answer);
    answer = nullptr;
    if (GSS_ERROR(major)) break;
    struct berval token = {out.length, static_cast<char*>(out.value)};
    int msgid = 0;
    rc = ldap_sasl_bind(c->ld, "", kNtlmMech, &token, nullptr, nullptr, &msgid);
    gss_release_buffer(&min2, &out);
    if (rc == LDAP_SUCCESS) ++sent;
    LDAPMessage* res = nullptr;
    if (rc == LDAP_SUCCESS) rc = AwaitBindStep(c, c->ld, msgid, step > 0, bounds, &res);
    if (rc == LDAP_SUCCESS) {
      int code = LDAP_SUCCESS;
      rc = ldap_parse_sasl_bind_result(c->ld, res, &answer, 0);
      if (rc == LDAP_SUCCESS) rc = ldap_parse_result(c->ld, res, &code, nullptr, nullptr, nullptr, nullptr, 0);
      if (rc == LDAP_SUCCESS) rc = code;
    }
    ldap_msgfree(res);
    rc = BindCode(c, bounds.Code(rc));
    if (rc != LDAP_SASL_BIND_IN_PROGRESS) break;
    if (major == GSS_S_COMPLETE) break;  // the server asks for more than there is
  }
  if (GSS_ERROR(major)) {
    rc = LDAP_LOCAL_ERROR;
    SetDiagnostic(c->ld, GssText(major, minor));
  } else if (rc == LDAP_SASL_BIND_IN_PROGRESS) {
    rc = NotFinished(c, sent);
  }
  ber_bvfree(answer);
  gss_delete_sec_context(&min2, &ctx, GSS_C_NO_BUFFER);
  gss_release_name(&min2, &target);
  return NoteTlsRefusal(c, rc);
}

std::vector<LDAPControl> NativeControls(const std::vector<Control>* in) {
  std::vector<LDAPControl> out;
  if (in == nullptr) return out;
  out.reserve(in->size());
  for (const Control& c : *in) {
    LDAPControl n{};
    n.ldctl_oid = const_cast<char*>(c.oid.c_str());
    if (c.hasValue) {
      n.ldctl_value.bv_len = c.value.size();
      n.ldctl_value.bv_val = const_cast<char*>(c.value.data());
    }
    n.ldctl_iscritical = c.critical ? 1 : 0;
    out.push_back(n);
  }
  return out;
}

}  // namespace

Conn* Open(const std::string& uris, int* code) {
  // Certificate checking is never weaker than "demand", whatever ldap.conf
  // or LDAPTLS_REQCERT say. It is set on the library's defaults (which hold
  // the CA settings) before the handle is made, so the handle inherits it.
  int reqcert = LDAP_OPT_X_TLS_DEMAND;
  if (GetOption<LDAP_OPT_X_TLS_REQUIRE_CERT>(nullptr, &reqcert) &&
      reqcert != LDAP_OPT_X_TLS_DEMAND && reqcert != LDAP_OPT_X_TLS_HARD) {
    reqcert = LDAP_OPT_X_TLS_DEMAND;
    ldap_set_option(nullptr, LDAP_OPT_X_TLS_REQUIRE_CERT, &reqcert);
    int server = 0;
    ldap_set_option(nullptr, LDAP_OPT_X_TLS_NEWCTX, &server);
  }
  ::LDAP* ld = nullptr;
  int rc = ldap_initialize(&ld, uris.c_str());
  if (rc != LDAP_SUCCESS || ld == nullptr) {
    *code = rc != LDAP_SUCCESS ? rc : LDAP_LOCAL_ERROR;
    return nullptr;
  }
  auto* c = new (std::nothrow) Conn;
  if (c == nullptr) {
    ldap_unbind_ext(ld, nullptr, nullptr);
    *code = LDAP_NO_MEMORY;
    return nullptr;
  }
  c->ld = ld;
  c->uris = uris;
  ApplyHandleOptions(ld);
  c->tls = uris.rfind("ldaps://", 0) == 0;
  if (c->tls) {
    // Every connection of the handle is made over TLS.
    int hard = LDAP_OPT_X_TLS_HARD;
    ldap_set_option(ld, LDAP_OPT_X_TLS, &hard);
  }
  int version = LDAP_VERSION3;
  ldap_set_option(ld, LDAP_OPT_PROTOCOL_VERSION, &version);
  SetWaitLimit(c, g_defaultWaitSeconds);
  c->connectCallback.lc_add = OnConnect;
  c->connectCallback.lc_del = OnDisconnect;
  c->connectCallback.lc_arg = &c->bounds;
  ldap_set_option(ld, LDAP_OPT_CONNECT_CB, &c->connectCallback);
  *code = LDAP_SUCCESS;
  return c;
}

Conn* OpenOnSocket(int fd, const std::string& uri, int* code) {
  Conn* c = Open(uri, code);
  if (c == nullptr) {
    close(fd);
    return nullptr;
  }
  ::LDAP* ld = AdoptSocket(c, fd, uri);
  if (ld == nullptr) {
    Close(c);
    *code = LDAP_LOCAL_ERROR;
    return nullptr;
  }
  int version = LDAP_VERSION3;
  ldap_set_option(ld, LDAP_OPT_PROTOCOL_VERSION, &version);
  ldap_unbind_ext(c->ld, nullptr, nullptr);
  c->ld = ld;
  return c;
}

void SetDefaultWaitLimit(int seconds) {
  g_defaultWaitSeconds = seconds > 0 ? seconds : kDefaultWaitSeconds;
}

void SetWaitLimit(Conn* c, int seconds) {
  c->waitSeconds = seconds > 0 ? seconds : kDefaultWaitSeconds;
  ApplyWaitLimit(c->ld, c->waitSeconds);
}

int WaitLimit(Conn* c) { return c->waitSeconds; }

void Close(Conn* c) {
  if (c == nullptr) return;
  SigpipeGuard guard;
  ldap_msgfree(c->ahead.result);
  if (c->ld != nullptr) ldap_unbind_ext(c->ld, nullptr, nullptr);
  if (c->cred != GSS_C_NO_CREDENTIAL && c->ownsCred) {
    OM_uint32 minor = 0;
    gss_release_cred(&minor, &c->cred);
  }
  // Scrub the kept passwords before the memory goes back.
  std::fill(c->simplePassword.begin(), c->simplePassword.end(), '\0');
  std::fill(c->sasl.password.begin(), c->sasl.password.end(), '\0');
  delete c;
}

int SetVersion(Conn* c, int version) {
  return ldap_set_option(c->ld, LDAP_OPT_PROTOCOL_VERSION, &version) == LDAP_OPT_SUCCESS
             ? LDAP_SUCCESS
             : LDAP_PARAM_ERROR;
}

int GetVersion(Conn* c) {
  int version = LDAP_VERSION3;
  GetOption<LDAP_OPT_PROTOCOL_VERSION>(c->ld, &version);
  return version;
}

int SetReferralHopLimit(Conn* c, int hops) {
  return ldap_set_option(c->ld, LDAP_OPT_REFHOPLIMIT, &hops) == LDAP_OPT_SUCCESS
             ? LDAP_SUCCESS
             : LDAP_PARAM_ERROR;
}

int SetDeref(Conn* c, int deref) {
  return ldap_set_option(c->ld, LDAP_OPT_DEREF, &deref) == LDAP_OPT_SUCCESS ? LDAP_SUCCESS
                                                                             : LDAP_PARAM_ERROR;
}

bool UsesTls(Conn* c) { return c->tls; }

std::string KerberosProblem(Conn* c) { return c->kerberosProblem; }

std::string BoundMechanism(Conn* c) { return c->bind == Conn::Bind::kSasl ? c->mech : ""; }

int SecurityStrength(Conn* c) {
  ber_len_t ssf = 0;
  if (!GetOption<LDAP_OPT_X_SASL_SSF>(c->ld, &ssf)) return 0;
  return static_cast<int>(std::min<ber_len_t>(ssf, 0x7fffffff));
}

std::string BindProblem(Conn* c) { return c != nullptr ? c->bindProblem : ""; }

std::string Diagnostic(Conn* c) {
  char* text = nullptr;
  std::string out;
  if (c != nullptr && GetOption<LDAP_OPT_DIAGNOSTIC_MESSAGE>(c->ld, &text) &&
      text != nullptr) {
    out = text;
  }
  ldap_memfree(text);
  return out;
}

bool NotAnswering(Conn* c) { return c != nullptr && c->stalled; }

uint64_t Silence(Conn* c) { return c != nullptr ? c->bounds.silence : 0; }

int LastCode(Conn* c) {
  int code = LDAP_SUCCESS;
  if (c != nullptr) GetOption<LDAP_OPT_RESULT_CODE>(c->ld, &code);
  return code;
}

int SimpleBind(Conn* c, const char* dn, const char* password) {
  SigpipeGuard guard;
  c->bindStart = std::chrono::steady_clock::now();
  c->bounds.connected = false;
  c->bind = Conn::Bind::kNone;
  c->bindProblem.clear();
  c->simpleAnonymous = dn == nullptr || *dn == '\0';
  c->simpleDn = dn != nullptr ? dn : "";
  c->simplePassword = password != nullptr ? password : "";
  berval cred{c->simplePassword.size(), const_cast<char*>(c->simplePassword.c_str())};
  CallBounds bounds(c, WaitMsOf(c));
  int rc = NoteStall(c, BindCode(c, bounds.Code(ldap_sasl_bind_s(c->ld, c->simpleDn.c_str(), LDAP_SASL_SIMPLE,
                                                                 &cred, nullptr, nullptr, nullptr))));
  if (rc == LDAP_SUCCESS) c->bind = Conn::Bind::kSimple;
  return rc;
}

namespace {

// Whether a Kerberos bind failed for want of Kerberos (no realm, no KDC, no
// service ticket), which NTLM may stand in for.
bool KerberosUnusable(int rc) {
  return rc == LDAP_AUTH_UNKNOWN || rc == LDAP_LOCAL_ERROR || rc == LDAP_AUTH_METHOD_NOT_SUPPORTED;
}

// The NTLM bind with the user and password of c->sasl, after Kerberos gave
// kerberosRc for kerberosWhy; the bind's code (Kerberos's own where NTLM
// fared no better and Kerberos was tried). Credentials c holds already (a
// referral's, borrowed from a connection of the same transport) are used
// as they are.
int NtlmBind(Conn* c, int kerberosRc, const std::string& kerberosWhy, bool haveCredentials = false) {
  c->kerberosProblem = kerberosWhy.empty() ? "Kerberos could not be used" : kerberosWhy;
  c->authcid.clear();
  c->mech = kNtlmMech;
  std::string why;
  int ntlm = LDAP_AUTH_UNKNOWN;
  if (!haveCredentials && !AcquireNtlmCredentials(c, &why)) {
    SetDiagnostic(c->ld, why);
  } else {
    // NTLM's exchange with the server has a wait limit of its own, whatever
    // Kerberos took before it.
    StartBindClock(c);
    ntlm = c->tls ? NtlmOverTls(c) : SaslBindOn(c, c->ld, c->mech);
  }
  // NTLM's own outcome: a success, a refusal, or a server that did not end
  // the bind as it must.
  const bool ntlmSpeaks = ntlm == LDAP_SUCCESS || ntlm == LDAP_INVALID_CREDENTIALS || !c->bindProblem.empty();
  if (!ntlmSpeaks && !kerberosWhy.empty()) {
    // Say why neither way worked.
    SetDiagnostic(c->ld, "Kerberos: " + kerberosWhy + "; NTLM: " + Diagnostic(c));
  }
  return ntlmSpeaks || kerberosRc == LDAP_AUTH_UNKNOWN ? ntlm : kerberosRc;
}

// Forgets the last bind of c before a negotiated one.
void StartNegotiatedBind(Conn* c, const NegotiateParams& p) {
  c->bindStart = std::chrono::steady_clock::now();
  StartBindClock(c);
  c->bounds.connected = false;
  c->bind = Conn::Bind::kNone;
  c->bindProblem.clear();
  c->sasl = p;
  TakeCredentials(c, GSS_C_NO_CREDENTIAL, true);
  c->kerberosProblem.clear();
  c->saslRefusedOverTls.clear();
}

int EndNegotiatedBind(Conn* c, int rc) {
  if (rc == LDAP_SUCCESS) c->bind = Conn::Bind::kSasl;
  return NoteStall(c, rc);
}

// Binds the connection of a referral as `from` ended bound, never with less
// protection: Kerberos with the same credentials (under the server's own
// name, where that name leads back to it) and no fallback, since NTLM would
// hand a server that lacks a Kerberos service an answer computed from the
// password; NTLM only where the bind of `from` itself fell back to it.
int ChaseNegotiated(Conn* c, Conn* from) {
  StartNegotiatedBind(c, from->sasl);
  TakeCredentials(c, from->cred, false);
  int rc = LDAP_AUTH_UNKNOWN;
  if (from->mech == kKerberosMech) {
    DcNames names;
    std::string renameWhy, given;
    int port = 0;
    const int read = GivenHost(c, &given, &port) ? NameForKerberos(c, &names, &renameWhy) : LDAP_SUCCESS;
    if (read != LDAP_SUCCESS) return NoteStall(c, read);
    c->authcid = from->authcid;
    c->mech = from->mech;
    rc = SaslBindOn(c, c->ld, c->mech);
    // A connection that failed on the way (its TLS set-up included) keeps
    // the library's reason, which the TLS check reads.
    if (rc != LDAP_SUCCESS && rc != LDAP_SERVER_DOWN && rc != LDAP_CONNECT_ERROR && rc != LDAP_TIMEOUT &&
        c->bindProblem.empty()) {
      c->kerberosProblem = renameWhy.empty() ? Diagnostic(c) : renameWhy + "; " + Diagnostic(c);
      SetDiagnostic(c->ld, "Kerberos: " + c->kerberosProblem);
    }
  } else if (from->mech == kNtlmMech) {
    // A sealed session is followed by sealed ones only.
    if (!from->tls && SecurityStrength(from) > 1) c->sasl.seal = true;
    rc = NtlmBind(c, LDAP_AUTH_UNKNOWN, "", from->tls == c->tls);
  }
  return EndNegotiatedBind(c, rc);
}

}  // namespace

int NegotiateBind(Conn* c, const NegotiateParams& p) {
  SigpipeGuard guard;
  StartNegotiatedBind(c, p);
  int rc;
  // Kerberos needs the server's name: read it (and the realm) before the bind.
  std::string renameWhy;
  DcNames names;
  std::string given;
  int port = 0;
  if (p.haveIdentity || GivenHost(c, &given, &port)) {
    const int read = NameForKerberos(c, &names, &renameWhy);
    if (read != LDAP_SUCCESS) return read;
  }
  if (!p.haveIdentity) {
    // The caller's own Kerberos tickets (KRB5CCNAME).
    c->authcid.clear();
    c->mech = kKerberosMech;
    rc = SaslBindOn(c, c->ld, c->mech);
    if (rc != LDAP_SUCCESS && rc != LDAP_TIMEOUT && rc != LDAP_SERVER_DOWN && c->saslRefusedOverTls.empty() &&
        c->bindProblem.empty()) {
      c->kerberosProblem = renameWhy.empty() ? Diagnostic(c) : renameWhy;
    }
  } else {
    // Kerberos credentials from the password, kept in memory only.
    std::string why;
    const std::string& realm = names.realm;
    std::string principal = Principal(p, realm);
    if (principal.empty()) why = "no Kerberos realm is known for the user " + p.user;
    KerberosOutcome k = principal.empty() ? KerberosOutcome::kUnavailable
                                          : AcquireCredentials(c, principal, &why);
    if (k == KerberosOutcome::kRefused) {
      SetDiagnostic(c->ld, why);
      return LDAP_INVALID_CREDENTIALS;
    }
    rc = LDAP_AUTH_UNKNOWN;
    if (k == KerberosOutcome::kOk) {
      c->authcid = principal;
      c->mech = kKerberosMech;
      rc = SaslBindOn(c, c->ld, c->mech);
    }
    if (KerberosUnusable(rc)) {
      std::string kerberosWhy = rc == LDAP_AUTH_UNKNOWN ? why : Diagnostic(c);
      if (!renameWhy.empty()) kerberosWhy = renameWhy + "; " + kerberosWhy;
      rc = NtlmBind(c, rc, kerberosWhy);
    }
  }
  return EndNegotiatedBind(c, rc);
}

namespace {

// A TCP connection to host:port within ms milliseconds; -1 when none.
int ConnectWithin(const std::string& host, int port, int ms) {
  struct addrinfo hints = {};
  hints.ai_socktype = SOCK_STREAM;
  struct addrinfo* list = nullptr;
  if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &list) != 0) return -1;
  int fd = -1;
  for (struct addrinfo* a = list; a != nullptr && fd < 0; a = a->ai_next) {
    fd = ConnectAddress(a->ai_addr, a->ai_addrlen, ms);
  }
  freeaddrinfo(list);
  return fd;
}

constexpr char kHandshakeFailed[] = "handshake failed: ";

// Why GnuTLS refuses the server: a handshake of our own with the trust the
// library uses (its CA file or folder, else the system's) and the check of
// the certificate against the host name. "" when both pass or the server
// cannot be reached within ms milliseconds.
std::string TlsRefusal(const std::string& host, int port, int ms) {
  const int fd = ConnectWithin(host, port, ms);
  if (fd < 0) return "";
  gnutls_certificate_credentials_t cred = nullptr;
  gnutls_session_t session = nullptr;
  std::string why;
  if (gnutls_certificate_allocate_credentials(&cred) == 0 &&
      gnutls_init(&session, GNUTLS_CLIENT | GNUTLS_NO_SIGNAL) == 0) {
    char* file = nullptr;
    char* dir = nullptr;
    GetOption<LDAP_OPT_X_TLS_CACERTFILE>(nullptr, &file);
    GetOption<LDAP_OPT_X_TLS_CACERTDIR>(nullptr, &dir);
    if (file != nullptr) gnutls_certificate_set_x509_trust_file(cred, file, GNUTLS_X509_FMT_PEM);
    if (dir != nullptr) gnutls_certificate_set_x509_trust_dir(cred, dir, GNUTLS_X509_FMT_PEM);
    if (file == nullptr && dir == nullptr) gnutls_certificate_set_x509_system_trust(cred);
    ldap_memfree(file);
    ldap_memfree(dir);
    struct in6_addr address;
    const bool byAddress = inet_pton(AF_INET, host.c_str(), &address) == 1 ||
                           inet_pton(AF_INET6, host.c_str(), &address) == 1;
    if (!byAddress) gnutls_server_name_set(session, GNUTLS_NAME_DNS, host.data(), host.size());
    gnutls_set_default_priority(session);
    gnutls_credentials_set(session, GNUTLS_CRD_CERTIFICATE, cred);
    gnutls_transport_set_int(session, fd);
    gnutls_handshake_set_timeout(session, static_cast<unsigned>(ms));
    int rc;
    do {
      rc = gnutls_handshake(session);
    } while (rc < 0 && gnutls_error_is_fatal(rc) == 0);
    unsigned status = 0;
    gnutls_datum_t text = {nullptr, 0};
    if (rc < 0) {
      why = std::string(kHandshakeFailed) + gnutls_strerror(rc);
    } else if (gnutls_certificate_verify_peers3(session, host.c_str(), &status) == 0 && status != 0 &&
               gnutls_certificate_verification_status_print(status, GNUTLS_CRT_X509, &text, 0) == 0) {
      why.assign(reinterpret_cast<const char*>(text.data), text.size);
      gnutls_free(text.data);
    }
  }
  if (session != nullptr) gnutls_deinit(session);
  if (cred != nullptr) gnutls_certificate_free_credentials(cred);
  close(fd);
  return why;
}

}  // namespace

std::string TlsProblem(Conn* c) {
  if (c->tls && !c->saslRefusedOverTls.empty()) {
    return "the server takes no SASL bind over TLS (" + c->saslRefusedOverTls + ")";
  }
  const int code = LastCode(c);
  // A handshake that ran out of time is told by the bind's own timeout.
  if (!c->tls || !c->bounds.connected || c->stalled ||
      (code != LDAP_SERVER_DOWN && code != LDAP_CONNECT_ERROR)) {
    return "";
  }
  // The library keeps the handshake's own reason, in GnuTLS's words. A
  // certificate it refused once the handshake was through leaves none
  // (GnuTLS has no text for that code): a handshake of our own, within what
  // is left of the bind's wait, finds out why.
  constexpr char kNoText[] = "(unknown error code)";
  const std::string reason = Diagnostic(c);
  if (!reason.empty() && reason != kNoText) return kHandshakeFailed + reason;
  constexpr char kRefused[] = "the server's certificate was refused";
  using std::chrono::milliseconds;
  const auto spent = std::chrono::steady_clock::now() - c->bindStart;
  const long left = std::min(c->waitSeconds, kNetworkTimeoutSeconds) * 1000L -
                    static_cast<long>(std::chrono::duration_cast<milliseconds>(spent).count());
  std::string host;
  int port = 0;
  if (left <= 0 || !UrlHost(c, &host, &port)) return reason.empty() ? "" : kRefused;
  SigpipeGuard guard;
  std::string why = TlsRefusal(host, port, static_cast<int>(left));
  // Only a verdict on the certificate speaks for the connection that failed
  // on its certificate: the second handshake may have fared otherwise.
  if (!reason.empty() && (why.empty() || why.rfind(kHandshakeFailed, 0) == 0)) why = kRefused;
  return why;
}

// Puts a read-ahead buffer between the socket and whatever sits above it (TLS,
// a SASL security layer): one read() then takes many messages instead of two
// reads (header, body) per message, and libldap does not poll while buffered
// data waits. Done once the connection exists, before any reply is read.
void EnableReadAhead(Conn* c) {
  if (c->readAhead) return;
  Sockbuf* sb = nullptr;
  if (!GetOption<LDAP_OPT_SOCKBUF>(c->ld, &sb) || sb == nullptr) return;
  ber_socket_t fd = -1;
  if (ber_sockbuf_ctrl(sb, LBER_SB_OPT_GET_FD, &fd) != 1 || fd < 0) return;
  c->readAhead = PushReadAhead(sb);
}

namespace {

// Sends the search; *msgid gets its message id.
int SendRequest(Conn* c, const SearchParams& p, int* msgid) {
  std::vector<LDAPControl> ctrls = NativeControls(p.controls);
  std::vector<LDAPControl*> list;
  for (LDAPControl& ctl : ctrls) list.push_back(&ctl);
  list.push_back(nullptr);
  int timeLimit = p.timeLimit;
  ldap_set_option(c->ld, LDAP_OPT_TIMELIMIT, &timeLimit);
  // The send may open the connection first (its TLS handshake included).
  CallBounds bounds(c, WaitMsOf(c));
  int rc = NoteStall(c, bounds.Code(ldap_search_ext(c->ld, p.base, p.scope, p.filter, p.attrs,
                                                    p.attrsOnly ? 1 : 0, ctrls.empty() ? nullptr : list.data(),
                                                    nullptr, nullptr, p.sizeLimit, msgid)));
  if (rc == LDAP_SUCCESS) {
    NoteRequestOut(c);
    EnableReadAhead(c);
  }
  return rc;
}

// Waits at most waitMs for the whole result of the search msgid (abandoned
// when the wait runs out); returns the search's result code.
int AwaitResult(Conn* c, int msgid, long waitMs, ldapmsg** res) {
  *res = nullptr;
  if (waitMs == kWaitOfConnection) waitMs = WaitMsOf(c);
  // The reads end with the wait, which ldap_result keeps: a search given up
  // in the middle of a message leaves the connection as it is.
  CallBounds bounds(c, waitMs, true);
  using Clock = ReadBounds::Clock;
  const Clock::time_point ends = Clock::now() + std::chrono::milliseconds(std::max(waitMs, 0L));
  LDAPMessage* msg = nullptr;
  int rc = 0;
  // A wait within the connection's limit ends sooner when the server's
  // silence runs out first; a caller that asks for more patience gets it.
  const bool heedSilence = waitMs >= 0 && waitMs <= WaitMsOf(c);
  bool silent = false;  // the server's silence ran out
  for (;;) {
    // Without a limit the wait goes on in steps of an hour.
    constexpr long kStepMs = 3600L * 1000;
    long stepMs = kStepMs;
    if (waitMs >= 0) {
      const long own = std::chrono::duration_cast<std::chrono::milliseconds>(ends - Clock::now()).count();
      const long quiet = heedSilence ? MsUntilSilent(c) : -1;
      stepMs = std::max(0L, quiet >= 0 ? std::min(own, quiet) : own);
    }
    struct timeval tv = WaitOf(stepMs);
    rc = ldap_result(c->ld, msgid, LDAP_MSG_ALL, &tv, &msg);
    if (rc != 0) break;
    ldap_msgfree(msg);
    msg = nullptr;
    if (waitMs < 0) continue;
    if (Clock::now() >= ends) break;
    // Else bytes came meanwhile: the silence started again.
    if (heedSilence && MsUntilSilent(c) == 0) {
      silent = true;
      break;
    }
  }
  if (rc == 0) {
    ldap_msgfree(msg);
    ldap_abandon_ext(c->ld, msgid, nullptr, nullptr);
    NoteGivenUp(c);
    SetDiagnostic(c->ld, "");
    if (silent || (heedSilence && MsUntilSilent(c) == 0)) c->stalled = true;
    return NoteStall(c, LDAP_TIMEOUT, waitMs);
  }
  if (rc < 0) {
    NoteGivenUp(c);
    ldap_msgfree(msg);
    int code = LastCode(c);
    // A message of the search that cannot be read leaves the library holding
    // on to its request, and once the connection is lost, ldap_unbind_ext
    // aborts the process over it: abandoning the search lets go of it.
    if (code == LDAP_DECODING_ERROR) ldap_abandon_ext(c->ld, msgid, nullptr, nullptr);
    return NoteStall(c, bounds.Code(code != LDAP_SUCCESS ? code : LDAP_SERVER_DOWN), waitMs);
  }
  *res = msg;
  NoteAnswered(c);
  int code = LDAP_SUCCESS;
  rc = ldap_parse_result(c->ld, msg, &code, nullptr, nullptr, nullptr, nullptr, 0);
  return rc != LDAP_SUCCESS ? rc : ServerCode(code);
}

// Reads the answer of the search sent ahead in and holds it, before another
// request reads from the connection. On a connection that is not answering
// it fails at once.
void HoldSentSearch(Conn* c) {
  if (c->ahead.msgid == 0 || c->ahead.held) return;
  c->ahead.code = c->stalled ? LDAP_TIMEOUT
                             : AwaitResult(c, c->ahead.msgid, c->ahead.waitMs, &c->ahead.result);
  c->ahead.held = true;
}

// A request on a connection that is not answering fails at once, as the
// request that found it out did.
int Unanswered(Conn* c) {
  SetDiagnostic(c->ld, "");
  return LDAP_TIMEOUT;
}

}  // namespace

int Search(Conn* c, const SearchParams& p, long waitMs, ldapmsg** res) {
  SigpipeGuard guard;
  *res = nullptr;
  HoldSentSearch(c);
  if (c->stalled) return Unanswered(c);
  int msgid = 0;
  int rc = SendRequest(c, p, &msgid);
  if (rc != LDAP_SUCCESS) return rc;
  return AwaitResult(c, msgid, waitMs, res);
}

void SendSearch(Conn* c, const SearchParams& p, long waitMs) {
  SigpipeGuard guard;
  AbandonSentSearch(c);
  c->ahead.waitMs = waitMs;
  int msgid = 0;
  const int rc = c->stalled ? LDAP_TIMEOUT : SendRequest(c, p, &msgid);
  if (rc == LDAP_SUCCESS) {
    c->ahead.msgid = msgid;
  } else {
    // The collect gives the failure, as Search would have.
    c->ahead.msgid = -1;
    c->ahead.held = true;
    c->ahead.code = rc;
  }
}

int CollectSearch(Conn* c, long waitMs, ldapmsg** res) {
  SigpipeGuard guard;
  *res = nullptr;
  if (c->ahead.msgid == 0) return LDAP_PARAM_ERROR;
  int rc = 0;
  if (c->ahead.held) {
    *res = c->ahead.result;
    rc = c->ahead.code;
    // The connection's diagnostic becomes this answer's again.
    int code = 0;
    if (*res != nullptr) ldap_parse_result(c->ld, *res, &code, nullptr, nullptr, nullptr, nullptr, 0);
    if (rc == LDAP_TIMEOUT) SetDiagnostic(c->ld, "");
  } else if (c->stalled) {
    ldap_abandon_ext(c->ld, c->ahead.msgid, nullptr, nullptr);
    NoteGivenUp(c);
    rc = Unanswered(c);
  } else {
    rc = AwaitResult(c, c->ahead.msgid, waitMs, res);
  }
  c->ahead = Conn::Ahead();
  return rc;
}

void AbandonSentSearch(Conn* c) {
  if (c->ahead.msgid > 0 && !c->ahead.held) {
    SigpipeGuard guard;
    ldap_abandon_ext(c->ld, c->ahead.msgid, nullptr, nullptr);
    NoteGivenUp(c);
  }
  ldap_msgfree(c->ahead.result);
  c->ahead = Conn::Ahead();
}

void SearchAndForget(Conn* c, const SearchParams& p) {
  ldapmsg* res = nullptr;
  // Its wait is short of the limit: running out of it says nothing of the server.
  const bool stalled = c->stalled;
  Search(c, p, std::min(5000L, WaitMsOf(c)), &res);
  c->stalled = stalled;
  ldap_msgfree(res);
}

int ParseResult(Conn* c, ldapmsg* res, ParsedResult* out) {
  *out = ParsedResult();
  int code = LDAP_SUCCESS;
  char* matched = nullptr;
  char* error = nullptr;
  char** refs = nullptr;
  LDAPControl** ctrls = nullptr;
  int rc = ldap_parse_result(c->ld, res, &code, &matched, &error, &refs, &ctrls, 0);
  if (rc == LDAP_SUCCESS) {
    out->code = ServerCode(code);
    if (matched != nullptr && *matched != '\0') {
      out->haveMatched = true;
      out->matched = matched;
    }
    if (error != nullptr && *error != '\0') {
      out->haveError = true;
      out->error = error;
    }
    for (size_t i = 0; refs != nullptr && refs[i] != nullptr; ++i) out->referrals.push_back(refs[i]);
    for (size_t i = 0; ctrls != nullptr && ctrls[i] != nullptr; ++i) {
      Control ctl;
      ctl.oid = ctrls[i]->ldctl_oid != nullptr ? ctrls[i]->ldctl_oid : "";
      ctl.hasValue = ctrls[i]->ldctl_value.bv_val != nullptr;
      if (ctl.hasValue) ctl.value.assign(ctrls[i]->ldctl_value.bv_val, ctrls[i]->ldctl_value.bv_len);
      ctl.critical = ctrls[i]->ldctl_iscritical != 0;
      out->controls.push_back(std::move(ctl));
    }
  }
  ldap_memfree(matched);
  ldap_memfree(error);
  ldap_memvfree(reinterpret_cast<void**>(refs));
  ldap_controls_free(ctrls);
  return rc;
}

std::vector<std::vector<std::string>> References(Conn* c, ldapmsg* res) {
  std::vector<std::vector<std::string>> out;
  for (LDAPMessage* m = ldap_first_reference(c->ld, res); m != nullptr;
       m = ldap_next_reference(c->ld, m)) {
    char** urls = nullptr;
    if (ldap_parse_reference(c->ld, m, &urls, nullptr, 0) != LDAP_SUCCESS) continue;
    std::vector<std::string> list;
    for (size_t i = 0; urls != nullptr && urls[i] != nullptr; ++i) list.emplace_back(urls[i]);
    ldap_memvfree(reinterpret_cast<void**>(urls));
    if (!list.empty()) out.push_back(std::move(list));
  }
  return out;
}

namespace {

// Whether an LDAP URL writes a scope part ("scheme://host/dn?attrs?scope...").
// libldap's parser gives base scope for a URL without one, as AD writes its
// references; such a URL leaves the scope to the search.
bool UrlNamesScope(const std::string& url) {
  const size_t host = url.find("://");
  const size_t path = url.find('/', host == std::string::npos ? 0 : host + 3);
  if (host == std::string::npos || path == std::string::npos) return false;
  const size_t attrs = url.find('?', path);
  const size_t scope = attrs == std::string::npos ? attrs : url.find('?', attrs + 1);
  return scope != std::string::npos && scope + 1 < url.size() && url[scope + 1] != '?';
}

}  // namespace

bool ReadReferral(Conn* from, const std::string& url, FollowTarget* t) {
  LDAPURLDesc* lud = nullptr;
  if (ldap_url_parse(url.c_str(), &lud) != LDAP_URL_SUCCESS || lud == nullptr) return false;
  std::string uris;
  if (lud->lud_host != nullptr && *lud->lud_host != '\0') {
    std::string host = lud->lud_host;
    if (host.find(':') != std::string::npos) host = "[" + host + "]";
    std::string scheme = lud->lud_scheme != nullptr ? lud->lud_scheme : "ldap";
    int port = lud->lud_port != 0 ? lud->lud_port : (scheme == "ldaps" ? 636 : 389);
    if (from->tls && scheme != "ldaps") {
      // Credentials never travel with less protection than the first
      // connection had: after TLS a referral is followed to the same host
      // over LDAPS only (the LDAPS twin of a standard port, else that port).
      scheme = "ldaps";
      port = port == 389 ? 636 : port == 3268 ? 3269 : port;
    }
    uris = scheme + "://" + host + ":" + std::to_string(port);
  } else {
    uris = from->uris;  // the same server
  }
  *t = FollowTarget();
  t->server = uris;
  if (lud->lud_dn != nullptr && *lud->lud_dn != '\0') {
    t->haveBase = true;
    t->base = lud->lud_dn;
  }
  t->scope = UrlNamesScope(url) ? lud->lud_scope : -1;
  if (lud->lud_filter != nullptr && *lud->lud_filter != '\0') {
    t->haveFilter = true;
    t->filter = lud->lud_filter;
  }
  ldap_free_urldesc(lud);
  return true;
}

Conn* Follow(Conn* from, const FollowTarget& t, int waitSeconds, int* code, std::string* why) {
  if (why != nullptr) why->clear();
  Conn* c = Open(t.server, code);
  if (c == nullptr) return nullptr;
  SetVersion(c, GetVersion(from));
  SetWaitLimit(c, waitSeconds);
  int rc = LDAP_SUCCESS;
  // Bound as the connection the referral came from.
  switch (from->bind) {
    case Conn::Bind::kSimple:
      rc = SimpleBind(c, from->simpleAnonymous ? nullptr : from->simpleDn.c_str(),
                      from->simplePassword.c_str());
      break;
    case Conn::Bind::kSasl: {
      SigpipeGuard guard;
      rc = ChaseNegotiated(c, from);
      break;
    }
    default:
      break;
  }
  if (rc != LDAP_SUCCESS) {
    if (why != nullptr) {
      // A TLS connection that could not be set up says why as the first
      // connection does; so does a server that did not end the bind as it
      // must; a bind the server refused, with its diagnostic.
      const std::string tls = TlsProblem(c);
      const bool lost = rc == LDAP_SERVER_DOWN || rc == LDAP_CONNECT_ERROR || rc == LDAP_TIMEOUT;
      *why = !tls.empty()              ? "TLS: " + tls
             : !c->bindProblem.empty() ? c->bindProblem
             : lost                    ? ""
                                       : Diagnostic(c);
    }
    Close(c);
    *code = rc;
    return nullptr;
  }
  *code = LDAP_SUCCESS;
  return c;
}

std::string PageFingerprint(Conn* c, ldapmsg* res) {
  std::string out = std::to_string(CountEntries(c, res));
  LDAPMessage* first = res != nullptr ? ldap_first_entry(c->ld, res) : nullptr;
  LDAPMessage* last = first;
  for (LDAPMessage* e = first; e != nullptr; e = ldap_next_entry(c->ld, e)) last = e;
  for (LDAPMessage* e : {first, last}) {
    char* dn = e != nullptr ? ldap_get_dn(c->ld, e) : nullptr;
    out.push_back('\0');
    if (dn != nullptr) out += dn;
    ldap_memfree(dn);
  }
  return out;
}

int CountEntries(Conn* c, ldapmsg* res) {
  int n = ldap_count_entries(c->ld, res);
  return n < 0 ? 0 : n;
}

ldapmsg* FirstEntry(Conn* c, ldapmsg* res) { return ldap_first_entry(c->ld, res); }
ldapmsg* NextEntry(Conn* c, ldapmsg* entry) { return ldap_next_entry(c->ld, entry); }
bool ReadEntry(Conn* c, ldapmsg* entry, detail::EntryIndex* index) {
  index->Reset();
  BerElement* ber = nullptr;
  struct berval dn = {0, nullptr};
  // The walk state is a copy of the message's own reader: the bytes stay the
  // message's, and each attribute is taken whole, in place.
  if (ldap_get_dn_ber(c->ld, entry, &ber, &dn) != LDAP_SUCCESS || ber == nullptr) {
    if (ber != nullptr) ber_free(ber, 0);
    return false;
  }
  index->SetDn(std::string_view(dn.bv_val != nullptr ? dn.bv_val : "", dn.bv_val != nullptr ? dn.bv_len : 0));
  // Attributes are SEQUENCEs; the entry's controls ([0]) or the end of the
  // message close the list. Anything else, or an attribute that cannot be
  // read, is a fault in the entry's encoding.
  struct berval attr = {0, nullptr};
  for (;;) {
    ber_len_t left = 0;
    ber_get_option(ber, LBER_OPT_REMAINING_BYTES, &left);
    const ber_tag_t tag = ber_skip_element(ber, &attr);
    if (tag == LBER_SEQUENCE) {
      if (index->Add(std::string_view(attr.bv_val, attr.bv_len))) continue;
      index->MarkMalformed();
    } else if (tag == LBER_DEFAULT ? left != 0 : tag != (LBER_CLASS_CONTEXT | LBER_CONSTRUCTED)) {
      index->MarkMalformed();
    }
    break;
  }
  ber_free(ber, 0);
  index->Seal();
  return true;
}

void MsgFree(ldapmsg* res) { ldap_msgfree(res); }

unsigned long ToWindowsCode(int code) {
  if (code >= 0) return static_cast<unsigned long>(code);
  // libldap's client codes -1 .. -17 are the Windows codes 0x51 .. 0x61.
  if (code >= LDAP_REFERRAL_LIMIT_EXCEEDED) return 0x50ul + static_cast<unsigned long>(-code);
  if (code == LDAP_X_CONNECTING) return 0x5bul;  // connect error
  return 0x52ul;                                  // local error
}

bool ConfiguredServers(std::vector<UrlServer>* servers) {
  servers->clear();
  // The first use reads the configuration: ldap.conf, ldaprc, the files that
  // LDAPCONF and LDAPRC name, then LDAPURI and the other LDAP* variables.
  char* uris = nullptr;
  if (!GetOption<LDAP_OPT_URI>(nullptr, &uris) || uris == nullptr) return false;
  const std::string text = uris;
  ldap_memfree(uris);
  // libldap's built-in default is the host list "localhost", which it turns
  // into a URL with the base scope: "ldap://localhost:389/??base". A URI from
  // the configuration goes through the URL parser, which names no scope where
  // none was written, so it never reads like that. (A configured HOST
  // localhost, the old form of the setting, does: it is taken as unset.)
  if (text == "ldap://localhost:389/??base") return false;
  // libldap writes the list with blanks between its URLs.
  for (size_t i = 0; i < text.size();) {
    size_t end = text.find(' ', i);
    if (end == std::string::npos) end = text.size();
    LDAPURLDesc* lud = nullptr;
    if (ldap_url_parse(text.substr(i, end - i).c_str(), &lud) == LDAP_URL_SUCCESS && lud != nullptr) {
      servers->push_back({lud->lud_scheme != nullptr ? lud->lud_scheme : "",
                          lud->lud_host != nullptr ? lud->lud_host : "", lud->lud_port});
      ldap_free_urldesc(lud);
    }
    i = end + 1;
  }
  return true;
}

}  // namespace plat::nat
