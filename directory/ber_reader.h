// A small forward-only reader for the BER items of the search-statistics
// control value, and a hex dump of raw bytes for debugging.
#pragma once

#include <cstddef>
#include <string>

#include "platform/win_types.h"

// Read position in a byte buffer. Every read advances pos past what it
// consumed and never past end; a read that would have run past end leaves
// pos at end and sets truncated.
struct BerCursor {
  BerCursor(const BYTE* begin, size_t length) : start(begin), pos(begin), end(begin + length) {}

  size_t Remaining() const { return static_cast<size_t>(end - pos); }
  size_t Offset() const { return static_cast<size_t>(pos - start); }

  const BYTE* start;
  const BYTE* pos;
  const BYTE* end;
  bool truncated = false;
};

// The byte at the position, not advanced; 0 (and truncated set) at the end.
BYTE BerPeekTag(BerCursor& cursor);

// Big-endian unsigned number of n bytes (1 to 4); any other n gives 0. The
// position moves n bytes either way (to the end at most).
DWORD BerReadUInt(BerCursor& cursor, int n);

// A length field: a byte below 0x80 is the length itself; otherwise its low
// four bits give the number of length bytes that follow. Adds the bytes of
// the length field to consumed.
DWORD BerReadLength(BerCursor& cursor, int& consumed);

// BerReadLength with the consumed count thrown away.
DWORD BerSkipLength(BerCursor& cursor);

// An INTEGER (0x02) or ENUMERATED (0x0A) of up to four bytes, unsigned.
// Any other tag gives 0 and consumes nothing. Adds the whole element.
DWORD BerReadInteger(BerCursor& cursor, int& consumed);

// An OCTET STRING (0x04) as text, cut at its first zero byte. Any other tag
// gives "" and consumes nothing. Adds the whole element.
std::string BerReadOctetString(BerCursor& cursor, int& consumed);

// Prints the bytes in lines of 16 ("%04X " offset, "%x%x " per byte), then
// a "DECODE:" text of the printable bytes, on standard output.
void HexDump(const BYTE* bytes, size_t count);
