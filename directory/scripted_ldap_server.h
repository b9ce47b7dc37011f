// For tests: a one-connection LDAP server on loopback that answers the n-th
// search request with the n-th scripted reply, so that answers a real
// directory will not give on demand (a failing second page, a size limit on
// a later page, a RootDSE of any content) can be played to the code.
#pragma once

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "platform/ldap_ber.h"
#include "platform/ldap_client.h"

inline constexpr char kScriptedPagedOid[] = "1.2.840.113556.1.4.319";

using ScriptedAttributes = std::vector<std::pair<std::string, std::vector<std::string>>>;

// A search result entry of the message id.
inline std::string EntryMessage(int64_t id, const std::string& dn, const ScriptedAttributes& attributes) {
  plat::detail::BerWriter w;
  w.Begin(0x30);
  w.Integer(id);
  w.Begin(0x64);
  w.OctetString(dn);
  w.Begin(0x30);
  for (const auto& [name, values] : attributes) {
    w.Begin(0x30);
    w.OctetString(name);
    w.Begin(0x31);
    for (const std::string& v : values) w.OctetString(v);
    w.End();
    w.End();
  }
  w.End();
  w.End();
  w.End();
  return w.Take();
}

// The search's closing message; with a paged-results control carrying
// cookie unless pagedControl is false.
inline std::string DoneMessage(int64_t id, int code, const std::string& cookie, bool pagedControl = true,
                               const std::string& errorText = "") {
  plat::detail::BerWriter w;
  w.Begin(0x30);
  w.Integer(id);
  w.Begin(0x65);
  w.Integer(code, 0x0a);
  w.OctetString("");
  w.OctetString(errorText);
  w.End();
  if (pagedControl) {
    plat::detail::BerWriter value;
    value.Begin(0x30);
    value.Integer(0);
    value.OctetString(cookie);
    value.End();
    w.Begin(0xa0);
    w.Begin(0x30);
    w.OctetString(kScriptedPagedOid);
    w.OctetString(value.Take());
    w.End();
    w.End();
  }
  w.End();
  return w.Take();
}

// A search result entry whose attribute list claims more bytes than it
// holds; the lengths around it are right, so only a reader that checks the
// inner length notices.
inline std::string LyingEntryMessage(int64_t id, const std::string& dn) {
  plat::detail::BerWriter attribute;
  attribute.Begin(0x30);
  attribute.OctetString("cn");
  attribute.Begin(0x31);
  attribute.OctetString("x");
  attribute.End();
  attribute.End();
  const std::string bytes = attribute.Take();
  plat::detail::BerWriter w;
  w.Begin(0x30);
  w.Integer(id);
  w.Begin(0x64);
  w.OctetString(dn);
  w.Raw(std::string("\x30") + static_cast<char>(bytes.size() + 16) + bytes);
  w.End();
  w.End();
  return w.Take();
}

// A search result entry that ends after its DN: no attribute list at all.
inline std::string EntryWithoutAttributesMessage(int64_t id, const std::string& dn) {
  plat::detail::BerWriter w;
  w.Begin(0x30);
  w.Integer(id);
  w.Begin(0x64);
  w.OctetString(dn);
  w.End();
  w.End();
  return w.Take();
}

// A continuation reference (SearchResultReference) with its URLs.
inline std::string ReferenceMessage(int64_t id, const std::vector<std::string>& urls) {
  plat::detail::BerWriter w;
  w.Begin(0x30);
  w.Integer(id);
  w.Begin(0x73);
  for (const std::string& url : urls) w.OctetString(url);
  w.End();
  w.End();
  return w.Take();
}

// The unsolicited notice that the server is closing the connection
// (message id 0, the notice-of-disconnection name).
inline std::string NoticeOfDisconnectionMessage(int code, const std::string& text) {
  plat::detail::BerWriter w;
  w.Begin(0x30);
  w.Integer(0);
  w.Begin(0x78);
  w.Integer(code, 0x0a);
  w.OctetString("");
  w.OctetString(text);
  w.OctetString("1.3.6.1.4.1.1466.20036", 0x8a);
  w.End();
  w.End();
  return w.Take();
}

// The search's closing message with the referral result (10) naming urls.
inline std::string ReferralDoneMessage(int64_t id, const std::vector<std::string>& urls) {
  plat::detail::BerWriter w;
  w.Begin(0x30);
  w.Integer(id);
  w.Begin(0x65);
  w.Integer(10, 0x0a);
  w.OctetString("");
  w.OctetString("");
  w.Begin(0xa3);
  for (const std::string& url : urls) w.OctetString(url);
  w.End();
  w.End();
  w.End();
  return w.Take();
}

// A listening socket on a free loopback port (for the scripted test servers),
// of 127.0.0.1 or another loopback address; -1, with a test failure, when
// there is none.
inline int ListenOnLoopback(int* port, uint32_t address = INADDR_LOOPBACK) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(address);
  socklen_t len = sizeof addr;
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      listen(fd, 1) != 0 || getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    ADD_FAILURE() << "no loopback socket";
    if (fd >= 0) close(fd);
    return -1;
  }
  *port = ntohs(addr.sin_port);
  return fd;
}

// Waits at most five seconds for fd to be readable, less when stop is set, so
// a test never hangs.
inline bool ReadableWithin5s(int fd, const std::atomic<bool>& stop) {
  for (int i = 0; i < 50 && !stop; ++i) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 100) > 0) return true;
  }
  return false;
}

class ScriptedLdapServer {
 public:
  using Reply = std::function<std::string(int64_t messageId)>;

  // What one search request asked for.
  struct Search {
    std::string base;
    int64_t scope = -1;
    bool attrsOnly = false;
    std::vector<std::string> attrs;
    int64_t pageSize = -1;  // -1: no paged-results control
    std::string cookie;
    int64_t sizeLimit = -1;
    std::vector<std::string> controls;  // the OIDs of the request's controls
    int64_t messageId = 0;
  };

  explicit ScriptedLdapServer(std::vector<Reply> replies) : replies_(std::move(replies)) {
    listen_ = ListenOnLoopback(&port_);
    if (listen_ < 0) return;
    thread_ = std::thread([this] { Serve(); });
  }
  ~ScriptedLdapServer() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (listen_ >= 0) close(listen_);
  }
  ScriptedLdapServer(const ScriptedLdapServer&) = delete;
  ScriptedLdapServer& operator=(const ScriptedLdapServer&) = delete;

  // The answer to bind requests (success unless set before the client connects).
  void SetBindResult(int code, const std::string& errorText) {
    std::lock_guard<std::mutex> lock(mutex_);
    bindCode_ = code;
    bindText_ = errorText;
  }

  // Bind requests go unanswered until ReleaseBinds (set before the client
  // binds), so a test can look at the client while it waits for the bind.
  void StallBinds() { SetGate(&stallBinds_, &bindGate_, true); }
  void ReleaseBinds() { SetGate(&stallBinds_, &bindGate_, false); }
  // Waits up to ms for a bind request; gives the name and simple password
  // of the latest one.
  bool WaitForBind(int ms, std::string* name, std::string* password) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!bindGate_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return bindSeen_; })) return false;
    *name = bindName_;
    *password = bindPassword_;
    return true;
  }

  int port() const { return port_; }
  std::vector<Search> searches() {
    std::lock_guard<std::mutex> lock(mutex_);
    return seen_;
  }

  // What one bind request carried.
  struct Bind {
    std::string dn;
    bool simple = false;
    std::string password;   // simple binds
    std::string mechanism;  // SASL binds
  };
  std::vector<Bind> binds() {
    std::lock_guard<std::mutex> lock(mutex_);
    return binds_;
  }
  // The message ids that abandon requests named.
  std::vector<int64_t> abandoned() {
    std::lock_guard<std::mutex> lock(mutex_);
    return abandoned_;
  }
  // Whether a client connected at all.
  bool accepted() const { return accepted_; }

  // Hostile modes; set them before the client connects. The server then
  // holds the connection open without a word until it is destroyed: after
  // accepting (a TLS handshake or a first request waits), at the bind, or
  // at the search request of that index (0: the first).
  void StallAfterAccept() { stall_ = Stall::kAccept; }
  // With headerFirst the answer's tag and length go out before the stall.
  void StallAtBind(bool headerFirst = false) {
    stall_ = Stall::kBind;
    headerFirst_ = headerFirst;
  }
  void StallAtSearch(size_t index, bool headerFirst = false) {
    stall_ = Stall::kSearch;
    stallSearch_ = index;
    headerFirst_ = headerFirst;
  }
  // Every search request after the scripted replies is answered by
  // reply(id, request) (a cookie that never ends, a range that creeps...).
  using RequestReply = std::function<std::string(int64_t messageId, const Search& request)>;
  static constexpr size_t kMostLaterAnswers = 2000;
  void AnswerEveryLaterRequest(RequestReply reply) { later_ = std::move(reply); }
  // Search answers go out a byte at a time, the n-th n pauses after the
  // answer began (a late wake-up does not put off the bytes after it): a
  // server that is slow but never silent for long.
  void DribbleReplies(std::chrono::milliseconds pause) { dribble_ = pause; }
  // Search answers wait until ReleaseReplies (set before the client
  // searches), so a test can have a wait of the client end in silence.
  void HoldReplies() { SetGate(&holdReplies_, &replyGate_, true); }
  void ReleaseReplies() { SetGate(&holdReplies_, &replyGate_, false); }

 private:
  // Closes a gate that requests wait at (on), or opens it.
  void SetGate(bool* closed, std::condition_variable* gate, bool on) {
    std::lock_guard<std::mutex> lock(mutex_);
    *closed = on;
    if (!on) gate->notify_all();
  }
  // Waits at most five seconds for data, so a test never hangs.
  bool WaitReadable(int fd) { return ReadableWithin5s(fd, stop_); }
  bool ReadExactly(int fd, size_t n, std::string* out) {
    out->clear();
    while (out->size() < n) {
      if (!WaitReadable(fd)) return false;
      char buf[4096];
      ssize_t got = recv(fd, buf, std::min(sizeof buf, n - out->size()), 0);
      if (got <= 0) return false;
      out->append(buf, static_cast<size_t>(got));
    }
    return true;
  }
  bool ReadMessage(int fd, std::string* message) {
    std::string head;
    if (!ReadExactly(fd, 2, &head)) return false;
    size_t length = static_cast<unsigned char>(head[1]);
    if (length & 0x80) {
      std::string more;
      if (!ReadExactly(fd, length & 0x7f, &more)) return false;
      head += more;
      length = 0;
      for (unsigned char c : more) length = (length << 8) | c;
    }
    std::string body;
    if (!ReadExactly(fd, length, &body)) return false;
    *message = head + body;
    return true;
  }
  static void Record(plat::detail::BerReader op, plat::detail::BerReader rest, Search* seen) {
    using plat::detail::BerReader;
    std::string_view base;
    if (op.OctetString(&base)) seen->base.assign(base);
    int64_t ignored = 0;
    op.Integer(&seen->scope, 0x0a);
    op.Integer(&ignored, 0x0a);  // alias dereferencing
    op.Integer(&seen->sizeLimit);
    op.Integer(&ignored);        // time limit
    op.Boolean(&seen->attrsOnly);
    op.Skip();  // the filter
    BerReader attrs(nullptr, 0);
    if (op.Sequence(&attrs)) {
      std::string_view a;
      while (attrs.OctetString(&a)) seen->attrs.emplace_back(a);
    }
    BerReader controls(nullptr, 0);
    if (!rest.Sequence(&controls, 0xa0)) return;
    while (!controls.AtEnd()) {
      BerReader control(nullptr, 0);
      std::string_view oid;
      if (!controls.Sequence(&control) || !control.OctetString(&oid)) return;
      bool critical = false;
      if (control.PeekTag() == 0x01) control.Boolean(&critical);
      seen->controls.emplace_back(oid);
      std::string_view value;
      if (oid != kScriptedPagedOid || !control.OctetString(&value)) continue;
      BerReader v(value.data(), value.size());
      BerReader seq(nullptr, 0);
      std::string_view cookie;
      if (v.Sequence(&seq) && seq.Integer(&seen->pageSize) && seq.OctetString(&cookie)) {
        seen->cookie.assign(cookie);
      }
    }
  }
  // Records a bind request; false when the server stops while the bind is held.
  bool NoteBindAndWait(plat::detail::BerReader op) {
    int64_t version = 0;
    std::string_view name, password;
    op.Integer(&version);
    op.OctetString(&name);
    op.OctetString(&password, 0x80);
    std::unique_lock<std::mutex> lock(mutex_);
    bindName_.assign(name);
    bindPassword_.assign(password);
    bindSeen_ = true;
    bindGate_.notify_all();
    while (stallBinds_ && !stop_) bindGate_.wait_for(lock, std::chrono::milliseconds(100));
    return !stop_;
  }
  std::string BindResponse(int64_t id) {
    std::lock_guard<std::mutex> lock(mutex_);
    plat::detail::BerWriter w;
    w.Begin(0x30);
    w.Integer(id);
    w.Begin(0x61);
    w.Integer(bindCode_, 0x0a);
    w.OctetString("");
    w.OctetString(bindText_);
    w.End();
    w.End();
    return w.Take();
  }
  bool SendReply(int fd, const std::string& reply) {
    {
      std::unique_lock<std::mutex> lock(mutex_);
      while (holdReplies_ && !stop_) replyGate_.wait_for(lock, std::chrono::milliseconds(100));
    }
    if (stop_) return false;
    if (dribble_.count() == 0) return send(fd, reply.data(), reply.size(), MSG_NOSIGNAL) >= 0;
    const auto start = std::chrono::steady_clock::now();
    for (size_t i = 0; i < reply.size() && !stop_; ++i) {
      std::this_thread::sleep_until(start + dribble_ * static_cast<int64_t>(i + 1));
      if (send(fd, &reply[i], 1, MSG_NOSIGNAL) < 0) return false;
    }
    return !stop_;
  }
  void HoldUntilStopped(int fd) {
    if (headerFirst_) send(fd, "\x30\x84\x00\x00\x01\x00", 6, MSG_NOSIGNAL);
    while (!stop_) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    close(fd);
  }
  void RecordBind(plat::detail::BerReader op) {
    using plat::detail::BerReader;
    Bind b;
    int64_t version = 0;
    std::string_view dn;
    if (!op.Integer(&version) || !op.OctetString(&dn)) return;
    b.dn.assign(dn);
    uint32_t tag = 0;
    BerReader auth(nullptr, 0);
    std::string_view password;
    if (op.PeekTag() == 0x80 && op.OctetString(&password, 0x80)) {
      b.simple = true;
      b.password.assign(password);
    } else if (op.Element(&tag, &auth) && tag == 0xa3) {
      std::string_view mechanism;
      if (auth.OctetString(&mechanism)) b.mechanism.assign(mechanism);
    }
    std::lock_guard<std::mutex> lock(mutex_);
    binds_.push_back(b);
  }
  void Serve() {
    using plat::detail::BerReader;
    if (!WaitReadable(listen_)) return;
    int fd = accept(listen_, nullptr, nullptr);
    if (fd < 0) return;
    accepted_ = true;
    if (stall_ == Stall::kAccept) return HoldUntilStopped(fd);
    size_t next = 0;
    std::string message;
    while (ReadMessage(fd, &message)) {
      BerReader in(message.data(), message.size());
      BerReader msg(nullptr, 0);
      int64_t id = 0;
      uint32_t tag = 0;
      BerReader op(nullptr, 0);
      if (!in.Sequence(&msg) || !msg.Integer(&id)) break;
      std::string_view abandon;
      int64_t abandonedId = 0;
      if (msg.PeekTag() == 0x50 && msg.Element(&tag, &abandon) &&
          plat::detail::BerIntegerValue(abandon, &abandonedId)) {
        std::lock_guard<std::mutex> lock(mutex_);
        abandoned_.push_back(abandonedId);
        continue;
      }
      if (!msg.Element(&tag, &op)) break;
      if (tag == 0x42) break;  // unbind
      if (tag == 0x60) {       // bind
        RecordBind(op);
        if (stall_ == Stall::kBind) return HoldUntilStopped(fd);
        if (!NoteBindAndWait(op)) break;
        std::string reply = BindResponse(id);
        if (send(fd, reply.data(), reply.size(), MSG_NOSIGNAL) < 0) break;
        continue;
      }
      if (tag != 0x63) continue;  // abandon and the like: no answer
      Search seen;
      seen.messageId = id;
      Record(op, msg, &seen);
      {
        std::lock_guard<std::mutex> lock(mutex_);
        seen_.push_back(seen);
      }
      if (stall_ == Stall::kSearch && next == stallSearch_) return HoldUntilStopped(fd);
      // A client that never stops gets the connection closed after a while,
      // so that a test fails instead of running on.
      if (next >= replies_.size() + kMostLaterAnswers) break;
      std::string reply = next < replies_.size() ? replies_[next](id)
                          : later_           ? later_(id, seen)
                                             : DoneMessage(id, 0, "", false);
      ++next;
      if (!SendReply(fd, reply)) break;
    }
    close(fd);
  }

  std::vector<Reply> replies_;
  int listen_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
  std::mutex mutex_;
  std::vector<Search> seen_;
  int bindCode_ = 0;
  std::string bindText_;
  std::condition_variable bindGate_;
  bool stallBinds_ = false;
  bool bindSeen_ = false;
  std::string bindName_;
  std::string bindPassword_;
  std::vector<Bind> binds_;
  std::vector<int64_t> abandoned_;
  std::atomic<bool> accepted_{false};
  enum class Stall { kNone, kAccept, kBind, kSearch } stall_ = Stall::kNone;
  size_t stallSearch_ = 0;
  bool headerFirst_ = false;
  RequestReply later_;
  std::chrono::milliseconds dribble_{0};
  bool holdReplies_ = false;
  std::condition_variable replyGate_;
};

// Fixture: a connection (not bound) to a scripted server, released after
// the test.
class ScriptedServerTest : public testing::Test {
 protected:
  plat::LDAP* Connect(ScriptedLdapServer& server) {
    ld_ = plat::ldap_sslinit("127.0.0.1", static_cast<ULONG>(server.port()), 0);
    EXPECT_NE(ld_, nullptr);
    return ld_;
  }
  void TearDown() override {
    if (ld_ != nullptr) plat::ldap_unbind(ld_);
  }
  plat::LDAP* ld_ = nullptr;
};
