#include "directory/guid_maps.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/zqtimer.h"
#include "platform/ldap_ber.h"
#include "platform/ldap_client.h"

namespace {

plat::berval Value(std::vector<char>& bytes) {
  return plat::berval{static_cast<ULONG>(bytes.size()), bytes.empty() ? nullptr : bytes.data()};
}

TEST(GuidValueKey, SixteenBytesOrMoreGiveTheGuidText) {
  std::vector<char> bytes;
  for (int i = 0; i < 16; ++i) bytes.push_back(static_cast<char>(0xA0 + i));
  plat::berval v = Value(bytes);
  EXPECT_EQ(GuidValueKey(&v), "{A3A2A1A0-A5A4-A7A6-A8A9-AAABACADAEAF}");
  bytes.push_back(0x01);  // extra bytes are not part of the key
  v = Value(bytes);
  EXPECT_EQ(GuidValueKey(&v), "{A3A2A1A0-A5A4-A7A6-A8A9-AAABACADAEAF}");
}

TEST(GuidValueKey, ShortOrMissingValuesGiveNoKey) {
  // Exactly-sized buffers: the sanitizer build catches any read past them.
  for (size_t n : {0u, 1u, 15u}) {
    std::vector<char> bytes(n, 'x');
    plat::berval v = Value(bytes);
    EXPECT_EQ(GuidValueKey(&v), "") << n;
  }
  EXPECT_EQ(GuidValueKey(nullptr), "");
}

// --- Loaders against a scripted server ----------------------------------------
//
// A one-connection LDAP server on loopback that answers the n-th search
// request with the n-th scripted reply, so that page sequences a real
// directory will not produce on demand (a failing second page, a size limit
// on a later page) can be played to the loaders.

using plat::detail::BerReader;
using plat::detail::BerWriter;

constexpr char kPagedOid[] = "1.2.840.113556.1.4.319";
constexpr char kNc[] = "CN=Configuration,DC=x";

using Attributes = std::vector<std::pair<std::string, std::vector<std::string>>>;

std::string EntryMessage(int64_t id, const std::string& dn, const Attributes& attributes) {
  BerWriter w;
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
std::string DoneMessage(int64_t id, int code, const std::string& cookie, bool pagedControl = true,
                        const std::string& errorText = "") {
  BerWriter w;
  w.Begin(0x30);
  w.Integer(id);
  w.Begin(0x65);
  w.Integer(code, 0x0a);
  w.OctetString("");
  w.OctetString(errorText);
  w.End();
  if (pagedControl) {
    BerWriter value;
    value.Begin(0x30);
    value.Integer(0);
    value.OctetString(cookie);
    value.End();
    w.Begin(0xa0);
    w.Begin(0x30);
    w.OctetString(kPagedOid);
    w.OctetString(value.Take());
    w.End();
    w.End();
  }
  w.End();
  return w.Take();
}

// What one search request asked for.
struct SeenSearch {
  std::string base;
  int64_t scope = -1;
  int64_t pageSize = -1;
  std::string cookie;
};

class ScriptedServer {
 public:
  using Reply = std::function<std::string(int64_t messageId)>;

  explicit ScriptedServer(std::vector<Reply> replies) : replies_(std::move(replies)) {
    listen_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (listen_ < 0 || bind(listen_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        listen(listen_, 1) != 0 || getsockname(listen_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
      ADD_FAILURE() << "no loopback socket";
      return;
    }
    port_ = ntohs(addr.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  ~ScriptedServer() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (listen_ >= 0) close(listen_);
  }
  int port() const { return port_; }
  std::vector<SeenSearch> searches() {
    std::lock_guard<std::mutex> lock(mutex_);
    return seen_;
  }

 private:
  // Waits at most a few seconds for data, so a test never hangs.
  bool WaitReadable(int fd) {
    for (int i = 0; i < 50 && !stop_; ++i) {
      pollfd p{fd, POLLIN, 0};
      if (poll(&p, 1, 100) > 0) return true;
    }
    return false;
  }
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
  static void Record(BerReader op, BerReader rest, SeenSearch* seen) {
    std::string_view base;
    if (op.OctetString(&base)) seen->base.assign(base);
    op.Integer(&seen->scope, 0x0a);
    BerReader controls(nullptr, 0);
    if (!rest.Sequence(&controls, 0xa0)) return;
    while (!controls.AtEnd()) {
      BerReader control(nullptr, 0);
      std::string_view oid;
      if (!controls.Sequence(&control) || !control.OctetString(&oid)) return;
      bool critical = false;
      if (control.PeekTag() == 0x01) control.Boolean(&critical);
      std::string_view value;
      if (oid != kPagedOid || !control.OctetString(&value)) continue;
      BerReader v(value.data(), value.size());
      BerReader seq(nullptr, 0);
      std::string_view cookie;
      if (v.Sequence(&seq) && seq.Integer(&seen->pageSize) && seq.OctetString(&cookie)) {
        seen->cookie.assign(cookie);
      }
    }
  }
  void Serve() {
    if (!WaitReadable(listen_)) return;
    int fd = accept(listen_, nullptr, nullptr);
    if (fd < 0) return;
    size_t next = 0;
    std::string message;
    while (ReadMessage(fd, &message)) {
      BerReader in(message.data(), message.size());
      BerReader msg(nullptr, 0);
      int64_t id = 0;
      uint32_t tag = 0;
      BerReader op(nullptr, 0);
      if (!in.Sequence(&msg) || !msg.Integer(&id) || !msg.Element(&tag, &op)) break;
      if (tag == 0x42) break;    // unbind
      if (tag != 0x63) continue;  // abandon and the like: no answer
      SeenSearch seen;
      Record(op, msg, &seen);
      {
        std::lock_guard<std::mutex> lock(mutex_);
        seen_.push_back(seen);
      }
      std::string reply = next < replies_.size() ? replies_[next](id) : DoneMessage(id, 0, "", false);
      ++next;
      if (send(fd, reply.data(), reply.size(), MSG_NOSIGNAL) < 0) break;
    }
    close(fd);
  }

  std::vector<Reply> replies_;
  int listen_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
  std::mutex mutex_;
  std::vector<SeenSearch> seen_;
};

std::string GuidBytes(unsigned char first) {
  std::string b;
  for (int i = 0; i < 16; ++i) b.push_back(static_cast<char>(first + i));
  return b;
}

// The braced text of GuidBytes(first).
std::string GuidKey(unsigned char first) {
  std::string bytes = GuidBytes(first);
  plat::berval v{16, bytes.data()};
  return GuidValueKey(&v);
}

class LoaderTest : public testing::Test {
 protected:
  plat::LDAP* Connect(ScriptedServer& server) {
    ld_ = plat::ldap_sslinit("127.0.0.1", static_cast<ULONG>(server.port()), 0);
    EXPECT_NE(ld_, nullptr);
    return ld_;
  }
  void TearDown() override {
    if (ld_ != nullptr) plat::ldap_unbind(ld_);
  }
  plat::LDAP* ld_ = nullptr;
  CZQTimer timer_{"OVERALL"};
};

TEST_F(LoaderTest, PagesAreFollowedByTheirCookieAndEveryEntryIsKept) {
  ScriptedServer server({
      [](int64_t id) {
        return EntryMessage(id, "CN=A,CN=Sites,DC=x", {{"name", {"Site-A"}}, {"objectGUID", {GuidBytes(0x10)}}}) +
               DoneMessage(id, 0, "page-2");
      },
      [](int64_t id) {
        return EntryMessage(id, "CN=B,CN=Sites,DC=x", {{"name", {"Site-B"}}, {"objectGUID", {GuidBytes(0x20)}}}) +
               DoneMessage(id, 0, "");
      },
  });
  std::map<std::string, std::string> map;
  ASSERT_TRUE(LoadGuidMap("SITE_GUIDS", Connect(server), kNc, &timer_, &map));
  EXPECT_EQ(map.size(), 2u);
  EXPECT_EQ(map[GuidKey(0x10)], "Site-A");
  EXPECT_EQ(map[GuidKey(0x20)], "Site-B");
  std::vector<SeenSearch> seen = server.searches();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].base, std::string("CN=Sites,") + kNc);
  EXPECT_EQ(seen[0].scope, 1);  // one level
  EXPECT_EQ(seen[0].pageSize, 1000);
  EXPECT_EQ(seen[0].cookie, "");
  EXPECT_EQ(seen[1].cookie, "page-2");
  EXPECT_NE(timer_.timers["SITE_GUIDS"].second, 0u);  // stopped
}

TEST_F(LoaderTest, FailureOnTheSecondPageKeepsTheFirstPagesEntries) {
  ScriptedServer server({
      [](int64_t id) {
        return EntryMessage(id, "CN=A,CN=Sites,DC=x", {{"name", {"Site-A"}}, {"objectGUID", {GuidBytes(0x10)}}}) +
               // A GUID value shorter than 16 bytes gives no key.
               EntryMessage(id, "CN=S,CN=Sites,DC=x", {{"name", {"Short"}}, {"objectGUID", {"12345678"}}}) +
               DoneMessage(id, 0, "page-2");
      },
      [](int64_t id) { return DoneMessage(id, 0x33, "", false, "server busy"); },
  });
  std::map<std::string, std::string> map = {{"{KEEP}", "kept"}};
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  bool ok = LoadGuidMap("SITE_GUIDS", Connect(server), kNc, &timer_, &map);
  std::string out = testing::internal::GetCapturedStdout();
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_FALSE(ok);
  EXPECT_EQ(map.size(), 3u);
  EXPECT_EQ(map["{KEEP}"], "kept");
  EXPECT_EQ(map[GuidKey(0x10)], "Site-A");
  EXPECT_EQ(map[""], "Short");
  // The error line without the server's text (no connection handle given),
  // then a line end on standard output.
  EXPECT_EQ(err, std::string("ldap_get_next_page_s: [] Error 0x33 (51) - ") + plat::ldap_err2string(0x33) + "\n");
  EXPECT_EQ(out, "\n");
  EXPECT_NE(timer_.timers["SITE_GUIDS"].second, 0u);
  EXPECT_EQ(server.searches().size(), 2u);
}

TEST_F(LoaderTest, SizeLimitOnALaterPageEndsTheLoadWithItsEntries) {
  ScriptedServer server({
      [](int64_t id) {
        return EntryMessage(id, "CN=a,CN=Schema", {{"lDAPDisplayName", {"a"}}, {"schemaIDGUID", {GuidBytes(1)}}}) +
               DoneMessage(id, 0, "next");
      },
      [](int64_t id) {
        return EntryMessage(id, "CN=b,CN=Schema", {{"lDAPDisplayName", {"b"}}, {"schemaIDGUID", {GuidBytes(2)}}}) +
               DoneMessage(id, 4, "", false);
      },
  });
  std::map<std::string, std::string> map;
  ASSERT_TRUE(LoadGuidMap("SCHEMAID_GUIDS", Connect(server), kNc, &timer_, &map));
  EXPECT_EQ(map.size(), 2u);
  EXPECT_EQ(map[GuidKey(1)], "a");
  EXPECT_EQ(map[GuidKey(2)], "b");
  std::vector<SeenSearch> seen = server.searches();
  ASSERT_EQ(seen.size(), 2u);  // nothing asked after the size limit
  EXPECT_EQ(seen[0].base, std::string("CN=Schema,") + kNc);
}

TEST_F(LoaderTest, RightsKeysAreUpperCasedAndOverwriteSchemaKeys) {
  std::string shared = GuidKey(0xA0);  // "{A3A2A1A0-...}"
  std::string lower = shared.substr(1, 36);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  ScriptedServer server({
      [](int64_t id) {
        return EntryMessage(id, "CN=x,CN=Schema", {{"lDAPDisplayName", {"x"}}, {"schemaIDGUID", {GuidBytes(0xA0)}}}) +
               EntryMessage(id, "CN=y,CN=Schema", {{"lDAPDisplayName", {"y"}}, {"schemaIDGUID", {GuidBytes(0x01)}}}) +
               DoneMessage(id, 0, "");
      },
      [lower](int64_t id) {
        return EntryMessage(id, "CN=R,CN=Extended-Rights", {{"displayName", {"Right R"}}, {"rightsGuid", {lower}}}) +
               DoneMessage(id, 0, "");
      },
  });
  std::map<std::string, std::string> map;
  plat::LDAP* ld = Connect(server);
  ASSERT_TRUE(LoadGuidMap("SCHEMAID_GUIDS", ld, kNc, &timer_, &map));
  ASSERT_TRUE(LoadGuidMap("RIGHTS_GUIDS", ld, kNc, &timer_, &map));
  EXPECT_EQ(map.size(), 2u);
  EXPECT_EQ(map[shared], "Right R");
  EXPECT_EQ(map[GuidKey(0x01)], "y");
  std::vector<SeenSearch> seen = server.searches();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[1].base, std::string("CN=Extended-Rights,") + kNc);
}

TEST_F(LoaderTest, AnEmptyAnswerLeavesTheTableAsItWas) {
  ScriptedServer server({[](int64_t id) { return DoneMessage(id, 0, ""); }});
  std::map<std::string, int> set = {{"kept", 1}};
  ASSERT_TRUE(LoadGenTimeAttribs(Connect(server), "CN=Schema,CN=Configuration,DC=x", &timer_, &set));
  EXPECT_EQ(set.size(), 1u);
  EXPECT_NE(timer_.timers["LOAD_GEN_TIME_ATTRIBS"].second, 0u);
  std::vector<SeenSearch> seen = server.searches();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].base, "CN=Schema,CN=Configuration,DC=x");
  EXPECT_EQ(seen[0].scope, 1);
}

}  // namespace
