#include "platform/ldap_read_ahead.h"

#include <errno.h>
#include <sys/socket.h>
#include <time.h>

#include <cstdlib>
#include <cstring>
#include <new>

namespace plat::nat {
namespace {

constexpr size_t kBufferSize = 256 * 1024;
// A fill smaller than this while the server is still sending is topped up
// once after a short pause: the server keeps writing meanwhile, so one wake-up
// takes many entries instead of the one or two that arrived first.
constexpr size_t kBatch = 32 * 1024;
constexpr long kPauseNs = 250 * 1000;

struct ReadAhead {
  ber_socket_t fd = -1;
  char* buf = nullptr;
  size_t begin = 0;
  size_t end = 0;
};

int Setup(Sockbuf_IO_Desc* sbiod, void* /*arg*/) {
  auto* ra = new (std::nothrow) ReadAhead;
  if (ra == nullptr) return -1;
  ra->buf = new (std::nothrow) char[kBufferSize];
  if (ra->buf == nullptr) {
    delete ra;
    return -1;
  }
  ber_sockbuf_ctrl(sbiod->sbiod_sb, LBER_SB_OPT_GET_FD, &ra->fd);
  sbiod->sbiod_pvt = ra;
  return 0;
}

int Remove(Sockbuf_IO_Desc* sbiod) {
  auto* ra = static_cast<ReadAhead*>(sbiod->sbiod_pvt);
  if (ra != nullptr) {
    delete[] ra->buf;
    delete ra;
  }
  sbiod->sbiod_pvt = nullptr;
  return 0;
}

int Ctrl(Sockbuf_IO_Desc* sbiod, int opt, void* arg) {
  auto* ra = static_cast<ReadAhead*>(sbiod->sbiod_pvt);
  if (opt == LBER_SB_OPT_DATA_READY && ra != nullptr && ra->begin != ra->end) return 1;
  return LBER_SBIOD_CTRL_NEXT(sbiod, opt, arg);
}

// Reads what the socket holds without waiting; -1 with errno set when nothing.
ber_slen_t Take(ReadAhead* ra, char* to, size_t room) {
  for (;;) {
    ssize_t n = recv(ra->fd, to, room, MSG_DONTWAIT);
    if (n >= 0 || errno != EINTR) return n;
  }
}

ber_slen_t Read(Sockbuf_IO_Desc* sbiod, void* out, ber_len_t len) {
  auto* ra = static_cast<ReadAhead*>(sbiod->sbiod_pvt);
  if (ra->begin == ra->end) {
    ra->begin = ra->end = 0;
    ber_slen_t n = Take(ra, ra->buf, kBufferSize);
    // Nothing there yet (the caller waits for data and comes back; a read
    // here would wait without a limit), the end of the stream, or an error:
    // passed on as they are.
    if (n <= 0) return n;
    size_t got = static_cast<size_t>(n);
    if (got < kBatch) {
      timespec pause{0, kPauseNs};
      nanosleep(&pause, nullptr);
      ber_slen_t more = Take(ra, ra->buf + got, kBufferSize - got);
      if (more > 0) got += static_cast<size_t>(more);
    }
    ra->end = got;
  }
  size_t n = ra->end - ra->begin;
  if (n > len) n = len;
  std::memcpy(out, ra->buf + ra->begin, n);
  ra->begin += n;
  return static_cast<ber_slen_t>(n);
}

ber_slen_t Write(Sockbuf_IO_Desc* sbiod, void* buf, ber_len_t len) {
  return LBER_SBIOD_WRITE_NEXT(sbiod, buf, len);
}

int Close(Sockbuf_IO_Desc* /*sbiod*/) { return 0; }

Sockbuf_IO g_readAheadIo = {Setup, Remove, Ctrl, Read, Write, Close};

}  // namespace

bool PushReadAhead(Sockbuf* sb) {
  if (sb == nullptr) return false;
  return ber_sockbuf_add_io(sb, &g_readAheadIo, LBER_SBIOD_LEVEL_PROVIDER, nullptr) == 0;
}

}  // namespace plat::nat
