// Fuzz target: the layer that holds extended responses whole, alone on a
// scripted stack. The input is a list of steps, each a control byte c and
// what it names: c & 3 == 0, a piece of the stream, its (c >> 2) + 1 bytes
// following; 1, "no data yet" as TLS says it; 2, as the socket says it; 3,
// a read size of (c >> 2) + 1 for the reads from the top (cycled; 64:
// 16384). After the last step comes the end. Whatever the pieces, what
// goes up must be what the stream alone gives: the stream itself up to the
// first message the layer refuses, the same bytes and the same refusal as
// when the stream comes in one piece, and no more held than one message's
// start and one read.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/ldap_message_guard.h"
#include "platform/scripted_sockbuf.h"

namespace {

size_t Held(Sockbuf* sb) { return plat::nat::MessageGuardHeld(sb); }

void Check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "message guard: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ScriptedSockbuf pieces;
  ScriptedSockbuf whole;
  plat::nat::PushMessageGuard(pieces.sb());
  plat::nat::PushMessageGuard(whole.sb());
  pieces.Tap();
  whole.Tap();
  std::string stream;
  std::vector<size_t> sizes;
  for (size_t at = 0; at < size;) {
    const uint8_t c = data[at++];
    const size_t n = (c >> 2) + 1;
    switch (c & 3) {
      case 0: {
        const std::string piece(reinterpret_cast<const char*>(data) + at, std::min(n, size - at));
        at += piece.size();
        stream += piece;
        pieces.Bytes(piece);
        break;
      }
      case 1:
      case 2:
        pieces.NothingYet((c & 3) == 1 ? ScriptedSockbuf::Wait::kTls : ScriptedSockbuf::Wait::kSocket);
        break;
      default:
        sizes.push_back(n == 64 ? 16384 : n);
    }
  }
  if (sizes.empty()) sizes.push_back(16384);
  whole.Bytes(stream);
  const ScriptedSockbuf::Outcome a = pieces.ReadAll(sizes, Held);
  const ScriptedSockbuf::Outcome b = whole.ReadAll(sizes, Held);
  Check(!a.stuck && !b.stuck, "\"no data yet\" after the end");
  Check(a.bytes == b.bytes && a.failed == b.failed, "the pieces changed what went up");
  Check(stream.compare(0, a.bytes.size(), a.bytes) == 0, "bytes that are not the stream's went up");
  Check(a.failed || a.bytes == stream, "bytes were lost without a refusal");
  constexpr size_t kMost = 2 * (64 * 1024 + 16 * 1024 + 16);
  Check(a.mostHeld <= kMost && b.mostHeld <= kMost, "more held than one message's start and one read");
  return 0;
}
