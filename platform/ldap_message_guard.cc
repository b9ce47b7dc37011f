#include "platform/ldap_message_guard.h"

#include <errno.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <string>

#include "platform/ldap_ber.h"

namespace plat::nat {
namespace {

constexpr unsigned char kSequence = 0x30;
constexpr unsigned char kInteger = 0x02;
constexpr unsigned char kEnumerated = 0x0a;
constexpr unsigned char kOctetString = 0x04;
constexpr unsigned char kExtendedResponse = 0x78;
constexpr unsigned char kReferral = 0xa3;
constexpr unsigned char kResponseName = 0x8a;
constexpr unsigned char kResponseValue = 0x8b;
constexpr unsigned char kControls = 0xa0;
// The layer's own controls: the bytes its buffer takes, and the bytes it
// read and has not handed up (each a size_t).
constexpr int kOptHeldBytes = 0x7a11;
constexpr int kOptPendingBytes = 0x7a12;
// An extended response larger than this is no answer this client could
// have caused: it is refused rather than held.
constexpr size_t kMostHeld = 64 * 1024;

enum class Header { kRead, kShort, kBad };

// Reads a tag and a definite length (at most 4 length bytes, as LDAP
// messages take) at *at.
Header ReadHeader(std::string_view text, size_t* at, unsigned char* tag, size_t* length) {
  if (*at + 2 > text.size()) return Header::kShort;
  *tag = static_cast<unsigned char>(text[*at]);
  const unsigned char first = static_cast<unsigned char>(text[*at + 1]);
  if (first < 0x80) {
    *length = first;
    *at += 2;
    return Header::kRead;
  }
  const size_t bytes = first & 0x7f;
  if (bytes == 0 || bytes > 4) return Header::kBad;
  if (*at + 2 + bytes > text.size()) return Header::kShort;
  *length = 0;
  for (size_t i = 0; i < bytes; ++i) *length = *length << 8 | static_cast<unsigned char>(text[*at + 2 + i]);
  *at += 2 + bytes;
  return Header::kRead;
}

// Whether the whole extended response msg has the form the protocol gives
// it, with a response name, when there is one, that is not empty.
bool SoundExtendedResponse(std::string_view msg) {
  using detail::BerReader;
  std::string_view v;
  const auto next = [&v](BerReader& r, uint32_t want) {
    uint32_t tag = 0;
    return r.Element(&tag, &v) && tag == want;
  };
  const auto optional = [&](BerReader& r, uint32_t want) { return r.PeekTag() == want && next(r, want); };
  BerReader in(msg.data(), msg.size()), message(nullptr, 0), op(nullptr, 0);
  uint32_t tag = 0;
  if (!in.Sequence(&message) || !in.AtEnd() || !next(message, kInteger) || !message.Element(&tag, &op) ||
      tag != kExtendedResponse || !next(op, kEnumerated) || !next(op, kOctetString) || !next(op, kOctetString)) {
    return false;
  }
  optional(op, kReferral);
  if (optional(op, kResponseName) && v.empty()) return false;
  optional(op, kResponseValue);
  optional(message, kControls);
  return op.AtEnd() && message.AtEnd();
}

struct Guard {
  std::string held;     // read from below and not handed up yet, from `handed` on
  size_t handed = 0;    // of held, handed up (dropped before the next read from below)
  size_t readyEnd = 0;  // of held, judged and free to hand up
  size_t passLeft = 0;  // of the message being handed up, bytes still below
  bool broken = false;  // a message was refused
  // The layer below when bytes were last read from it.
  Sockbuf_IO_Desc* below = nullptr;

  size_t Pending() const { return held.size() - handed + (passLeft > 0 ? 1 : 0); }
};

int Setup(Sockbuf_IO_Desc* sbiod, void* /*arg*/) {
  sbiod->sbiod_pvt = new (std::nothrow) Guard;
  return sbiod->sbiod_pvt != nullptr ? 0 : -1;
}

int Remove(Sockbuf_IO_Desc* sbiod) {
  delete static_cast<Guard*>(sbiod->sbiod_pvt);
  sbiod->sbiod_pvt = nullptr;
  return 0;
}

// Judges what is held past what may be handed up, as far as it can be told
// without reading more. What was read from a layer that is no longer the
// one below (a security layer went in under this one since) goes up as
// nothing: it came past that layer.
void Settle(Sockbuf_IO_Desc* sbiod, Guard* g) {
  if (!g->broken && g->Pending() > 0 && sbiod->sbiod_next != g->below) g->broken = true;
  if (g->broken || g->passLeft > 0 || g->readyEnd > g->handed) return;
  const std::string_view rest = std::string_view(g->held).substr(g->handed);
  if (rest.empty()) return;
  const MessageVerdict v = JudgeMessage(rest);
  if (v.refuse) {
    g->broken = true;
  } else if (v.whole != 0 && (!v.holdWhole || rest.size() >= v.whole)) {
    const size_t take = std::min(v.whole, rest.size());
    g->readyEnd = g->handed + take;
    g->passLeft = v.whole - take;
  }
}

int Ctrl(Sockbuf_IO_Desc* sbiod, int opt, void* arg) {
  auto* g = static_cast<Guard*>(sbiod->sbiod_pvt);
  if (opt == kOptHeldBytes && g != nullptr) {
    *static_cast<size_t*>(arg) = g->held.capacity();
    return 1;
  }
  if (opt == kOptPendingBytes && g != nullptr) {
    *static_cast<size_t*>(arg) = g->Pending();
    return 1;
  }
  if (opt == LBER_SB_OPT_DATA_READY && g != nullptr) {
    Settle(sbiod, g);
    if (g->readyEnd > g->handed || g->broken) return 1;
  }
  return LBER_SBIOD_CTRL_NEXT(sbiod, opt, arg);
}

// Whether a read below that moved nothing said "no data yet": TLS says it
// with 0, the socket (and a SASL layer over it) with -1, both with EAGAIN.
bool NothingYet() { return errno == EAGAIN || errno == EWOULDBLOCK; }

ber_slen_t Read(Sockbuf_IO_Desc* sbiod, void* out, ber_len_t len) {
  auto* g = static_cast<Guard*>(sbiod->sbiod_pvt);
  for (;;) {
    Settle(sbiod, g);
    if (g->broken) {
      errno = ECONNRESET;
      return -1;
    }
    if (g->readyEnd > g->handed) {
      const size_t n = std::min<size_t>(len, g->readyEnd - g->handed);
      std::memcpy(out, g->held.data() + g->handed, n);
      g->handed += n;
      return static_cast<ber_slen_t>(n);
    }
    errno = 0;
    g->below = sbiod->sbiod_next;
    if (g->passLeft > 0) {
      // The rest of a message that passes goes straight up, and so do "no
      // data yet" and the end, as the layer below gave them.
      const ber_slen_t n = LBER_SBIOD_READ_NEXT(sbiod, out, std::min<ber_len_t>(len, g->passLeft));
      if (n > 0) g->passLeft -= static_cast<size_t>(n);
      return n;
    }
    // The next message needs more bytes to be judged: what was handed up is
    // dropped first, so the layer holds one message's start and one read.
    g->held.erase(0, g->handed);
    g->handed = g->readyEnd = 0;
    char chunk[16384];
    const ber_slen_t n = LBER_SBIOD_READ_NEXT(sbiod, chunk, sizeof chunk);
    if (n > 0) {
      g->held.append(chunk, static_cast<size_t>(n));
      continue;
    }
    // "No data yet" goes up as it came, with what is held kept; so does an
    // error. At the end, a message cut short is handed up as it came
    // (libldap finds it cut short), unless it is one that is held.
    if (n < 0 || NothingYet() || g->held.empty()) return n;
    if (JudgeMessage(g->held).holdWhole) {
      g->broken = true;
    } else {
      g->readyEnd = g->held.size();
    }
  }
}

ber_slen_t Write(Sockbuf_IO_Desc* sbiod, void* buf, ber_len_t len) {
  return LBER_SBIOD_WRITE_NEXT(sbiod, buf, len);
}

int Close(Sockbuf_IO_Desc* /*sbiod*/) { return 0; }

Sockbuf_IO g_messageGuardIo = {Setup, Remove, Ctrl, Read, Write, Close};

}  // namespace

MessageVerdict JudgeMessage(std::string_view text) {
  MessageVerdict v;
  size_t at = 0, length = 0, idLength = 0;
  unsigned char tag = 0, idTag = 0;
  Header h = ReadHeader(text, &at, &tag, &length);
  if (h == Header::kRead && tag != kSequence) h = Header::kBad;
  const size_t whole = at + length;
  if (h == Header::kRead) h = ReadHeader(text, &at, &idTag, &idLength);
  if (h != Header::kRead) {
    v.refuse = h == Header::kBad;  // no framing libldap should be left to guess at
    return v;
  }
  const size_t opAt = at + idLength;
  if (opAt < whole && opAt >= text.size()) return v;  // the operation's tag is still to come
  v.whole = whole;
  if (opAt >= whole || static_cast<unsigned char>(text[opAt]) != kExtendedResponse) return v;
  v.holdWhole = true;
  if (whole > kMostHeld) {
    v.refuse = true;
  } else if (text.size() >= whole) {
    v.refuse = !SoundExtendedResponse(text.substr(0, whole));
  }
  return v;
}

bool PushMessageGuard(Sockbuf* sb) {
  if (sb == nullptr) return false;
  return ber_sockbuf_add_io(sb, &g_messageGuardIo, LBER_SBIOD_LEVEL_APPLICATION + 10, nullptr) == 0;
}

size_t MessageGuardHeld(Sockbuf* sb) {
  size_t held = 0;
  return sb != nullptr && ber_sockbuf_ctrl(sb, kOptHeldBytes, &held) == 1 ? held : 0;
}

size_t MessageGuardPending(Sockbuf* sb) {
  size_t pending = 0;
  return sb != nullptr && ber_sockbuf_ctrl(sb, kOptPendingBytes, &pending) == 1 ? pending : 0;
}

}  // namespace plat::nat
