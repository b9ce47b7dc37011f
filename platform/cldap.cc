#include "platform/cldap.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <string>

#include "platform/ldap_ber.h"
#include "platform/ldap_client.h"
#include "platform/ldap_filter.h"

namespace plat::detail {

namespace {

constexpr uint32_t kSearchRequest = 0x63;  // [APPLICATION 3]
constexpr uint32_t kSearchEntry = 0x64;    // [APPLICATION 4]
constexpr uint32_t kSearchDone = 0x65;     // [APPLICATION 5]
constexpr uint32_t kSearchReference = 0x73;  // [APPLICATION 19]

bool DecodeEntry(BerReader op, CldapEntry* entry) {
  std::string_view dn;
  BerReader attrs(nullptr, 0);
  if (!op.OctetString(&dn) || !op.Sequence(&attrs)) return false;
  entry->dn.assign(dn);
  while (!attrs.AtEnd()) {
    BerReader pair(nullptr, 0);
    BerReader vals(nullptr, 0);
    std::string_view type;
    if (!attrs.Sequence(&pair) || !pair.OctetString(&type) || !pair.Sequence(&vals, 0x31)) {
      return false;
    }
    CldapAttribute a;
    a.name.assign(type);
    while (!vals.AtEnd()) {
      std::string_view v;
      if (!vals.OctetString(&v)) return false;
      a.values.emplace_back(v);
    }
    entry->attributes.push_back(std::move(a));
  }
  return true;
}

bool DecodeDone(BerReader op, CldapReply* reply) {
  int64_t code = 0;
  std::string_view matched;
  std::string_view error;
  if (!op.Integer(&code, 0x0a) || !op.OctetString(&matched) || !op.OctetString(&error)) {
    return false;
  }
  if (code < 0 || code > 0xffff) return false;
  reply->code = static_cast<int>(code);
  reply->matched.assign(matched);
  reply->error.assign(error);
  BerReader refs(nullptr, 0);
  if (op.Sequence(&refs, 0xa3)) {
    while (!refs.AtEnd()) {
      std::string_view url;
      if (!refs.OctetString(&url)) return false;
      reply->referrals.emplace_back(url);
    }
  }
  reply->done = true;
  return true;
}

}  // namespace

bool EncodeCldapSearch(const CldapSearch& s, std::string* datagram) {
  std::string filter;
  if (!EncodeFilter(s.filter, &filter)) return false;
  BerWriter w;
  w.Begin(0x30);
  w.Integer(s.messageId);
  w.Begin(kSearchRequest);
  w.OctetString(s.base);
  w.Integer(s.scope, 0x0a);
  w.Integer(0, 0x0a);  // never dereference aliases
  w.Integer(s.sizeLimit);
  w.Integer(s.timeLimit);
  w.Boolean(s.attrsOnly);
  w.Raw(filter);
  w.Begin(0x30);
  for (const std::string& a : s.attrs) w.OctetString(a);
  w.End();
  w.End();
  w.End();
  *datagram = w.Take();
  return true;
}

CldapDecode DecodeCldapDatagram(const void* data, size_t len, int messageId, CldapReply* reply) {
  BerReader in(data, len);
  CldapReply added;
  bool foreign = false;
  if (in.AtEnd()) return CldapDecode::kMalformed;
  while (!in.AtEnd()) {
    BerReader msg(nullptr, 0);
    int64_t id = 0;
    if (!in.Sequence(&msg) || !msg.Integer(&id)) return CldapDecode::kMalformed;
    uint32_t tag = 0;
    BerReader op(nullptr, 0);
    if (!msg.Element(&tag, &op)) return CldapDecode::kMalformed;
    if (id != messageId) {
      foreign = true;
      continue;
    }
    if (tag == kSearchEntry) {
      CldapEntry e;
      if (!DecodeEntry(op, &e)) return CldapDecode::kMalformed;
      added.entries.push_back(std::move(e));
    } else if (tag == kSearchDone) {
      if (!DecodeDone(op, &added)) return CldapDecode::kMalformed;
    } else if (tag != kSearchReference) {
      return CldapDecode::kMalformed;
    }
  }
  if (foreign && added.entries.empty() && !added.done) return CldapDecode::kForeign;
  for (CldapEntry& e : added.entries) reply->entries.push_back(std::move(e));
  if (added.done) {
    reply->done = true;
    reply->code = added.code;
    reply->matched = std::move(added.matched);
    reply->error = std::move(added.error);
    reply->referrals = std::move(added.referrals);
  }
  return CldapDecode::kOk;
}

unsigned long CldapExchange(int socket, const CldapSearch& search, long waitMs, CldapReply* reply) {
  std::string datagram;
  if (!EncodeCldapSearch(search, &datagram)) return LDAP_FILTER_ERROR;
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(waitMs);
  // Three tries spread over the wait limit: a lost datagram is sent again.
  constexpr int kTries = 3;
  const long slice = waitMs / kTries > 0 ? waitMs / kTries : 1;
  std::string buf(65536, '\0');
  bool malformed = false;
  for (int attempt = 0; attempt < kTries; ++attempt) {
    *reply = CldapReply();
    if (send(socket, datagram.data(), datagram.size(), 0) < 0) {
      return LDAP_SERVER_DOWN;
    }
    auto sliceEnd = attempt == kTries - 1 ? deadline
                                          : std::min(deadline, Clock::now() + std::chrono::milliseconds(slice));
    while (!reply->done) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(sliceEnd - Clock::now()).count();
      if (left <= 0) break;
      pollfd p{socket, POLLIN, 0};
      int n = poll(&p, 1, static_cast<int>(left));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      ssize_t got = recv(socket, buf.data(), buf.size(), 0);
      if (got < 0) {
        if (errno == EINTR || errno == EAGAIN) continue;
        return LDAP_SERVER_DOWN;  // ICMP port unreachable and the like
      }
      CldapDecode d = DecodeCldapDatagram(buf.data(), static_cast<size_t>(got), search.messageId, reply);
      if (d == CldapDecode::kMalformed) malformed = true;
    }
    if (reply->done) return 0;
    if (Clock::now() >= deadline) break;
  }
  return malformed ? LDAP_DECODING_ERROR : LDAP_TIMEOUT;
}

int CldapConnect(const char* host, unsigned long port, unsigned long* error) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* list = nullptr;
  std::string service = std::to_string(port);
  int rc = getaddrinfo(host != nullptr && *host != '\0' ? host : "localhost", service.c_str(), &hints,
                       &list);
  if (rc != 0 || list == nullptr) {
    *error = LDAP_CONNECT_ERROR;  // the name does not resolve
    return -1;
  }
  int fd = -1;
  for (addrinfo* a = list; a != nullptr; a = a->ai_next) {
    fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
    if (fd < 0) continue;
    if (connect(fd, a->ai_addr, a->ai_addrlen) == 0) break;
    close(fd);
    fd = -1;
  }
  freeaddrinfo(list);
  if (fd < 0) *error = LDAP_SERVER_DOWN;
  return fd;
}

}  // namespace plat::detail
