// For tests and fuzzing of layers on a connection's read stack: a Sockbuf
// whose lowest layer plays what the layers below would answer, step by step
// (bytes, as a TLS record or a socket read brings them; "no data yet" in
// TLS's form, 0 with EWOULDBLOCK, or the socket's, -1 with EAGAIN; once the
// steps run out, the end), and a tap on top that reads what the layers in
// between hand up.
#pragma once

#include <errno.h>
#include <lber.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

class ScriptedSockbuf {
 public:
  enum class Wait { kTls, kSocket };

  ScriptedSockbuf() : sb_(ber_sockbuf_alloc()) {
    ber_sockbuf_add_io(sb_, &kBelow, LBER_SBIOD_LEVEL_PROVIDER, this);
  }
  ~ScriptedSockbuf() { ber_sockbuf_free(sb_); }
  ScriptedSockbuf(const ScriptedSockbuf&) = delete;
  ScriptedSockbuf& operator=(const ScriptedSockbuf&) = delete;

  // Push the layers under test on sb(), then call Tap().
  Sockbuf* sb() { return sb_; }
  void Tap() { ber_sockbuf_add_io(sb_, &kTap, LBER_SBIOD_LEVEL_APPLICATION + 100, this); }

  void Bytes(std::string piece) {
    if (!piece.empty()) steps_.push_back({true, Wait::kTls, std::move(piece)});
  }
  void NothingYet(Wait form) { steps_.push_back({false, form, ""}); }

  // One read of what the layers hand up; and a layer that passes everything
  // pushed at level, as a security layer goes in under those above it.
  ber_slen_t Read(void* buf, ber_len_t len) { return LBER_SBIOD_READ_NEXT(top_, buf, len); }
  bool PushPassing(int level) { return ber_sockbuf_add_io(sb_, &kPass, level, nullptr) == 0; }

  // What the layers handed up, read sizes[i % n] bytes at a time as long as
  // they give bytes or "no data yet" (either form, as libldap takes both).
  struct Outcome {
    std::string bytes;
    bool failed = false;  // the read ended with an error, not with the end
    bool stuck = false;   // "no data yet" went on after the script ran out
    size_t mostHeld = 0;  // the most that held(sb) said while reading
  };
  Outcome ReadAll(const std::vector<size_t>& sizes, size_t (*held)(Sockbuf*)) {
    Outcome o;
    std::vector<char> buf(*std::max_element(sizes.begin(), sizes.end()));
    for (size_t i = 0, idleAfterEnd = 0;; ++i) {
      errno = 0;
      const ber_slen_t n = LBER_SBIOD_READ_NEXT(top_, buf.data(), sizes[i % sizes.size()]);
      o.mostHeld = std::max(o.mostHeld, held(sb_));
      if (n > 0) {
        o.bytes.append(buf.data(), static_cast<size_t>(n));
      } else if (errno != EAGAIN && errno != EWOULDBLOCK) {
        o.failed = n < 0;
        return o;
      } else if (steps_.empty() && ++idleAfterEnd > 2) {
        o.stuck = true;
        return o;
      }
    }
  }

 private:
  struct Step {
    bool bytes;
    Wait form;
    std::string data;
  };

  static ber_slen_t BelowRead(Sockbuf_IO_Desc* d, void* buf, ber_len_t len) {
    auto* self = static_cast<ScriptedSockbuf*>(d->sbiod_pvt);
    if (self->steps_.empty()) return 0;
    Step& s = self->steps_.front();
    if (!s.bytes) {
      const ber_slen_t n = s.form == Wait::kTls ? 0 : -1;
      errno = s.form == Wait::kTls ? EWOULDBLOCK : EAGAIN;
      self->steps_.pop_front();
      return n;
    }
    const size_t n = std::min<size_t>(len, s.data.size());
    std::memcpy(buf, s.data.data(), n);
    s.data.erase(0, n);
    if (s.data.empty()) self->steps_.pop_front();
    return static_cast<ber_slen_t>(n);
  }
  static int Setup(Sockbuf_IO_Desc* d, void* arg) {
    d->sbiod_pvt = arg;
    return 0;
  }
  static int TapSetup(Sockbuf_IO_Desc* d, void* arg) {
    static_cast<ScriptedSockbuf*>(arg)->top_ = d;
    return 0;
  }
  static int Remove(Sockbuf_IO_Desc*) { return 0; }
  static int BelowCtrl(Sockbuf_IO_Desc*, int, void*) { return 0; }
  static int TapCtrl(Sockbuf_IO_Desc* d, int opt, void* arg) { return LBER_SBIOD_CTRL_NEXT(d, opt, arg); }
  static ber_slen_t TapRead(Sockbuf_IO_Desc* d, void* buf, ber_len_t len) { return LBER_SBIOD_READ_NEXT(d, buf, len); }
  static ber_slen_t Write(Sockbuf_IO_Desc*, void*, ber_len_t len) { return static_cast<ber_slen_t>(len); }
  static int Close(Sockbuf_IO_Desc*) { return 0; }
  static inline Sockbuf_IO kBelow = {Setup, Remove, BelowCtrl, BelowRead, Write, Close};
  static inline Sockbuf_IO kTap = {TapSetup, Remove, TapCtrl, TapRead, Write, Close};
  static inline Sockbuf_IO kPass = {Setup, Remove, TapCtrl, TapRead, Write, Close};

  Sockbuf* sb_;
  Sockbuf_IO_Desc* top_ = nullptr;
  std::deque<Step> steps_;
};
