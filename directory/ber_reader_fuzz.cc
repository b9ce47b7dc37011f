// Fuzz target: the BER reader's primitives walked over arbitrary bytes, the
// way the statistics decoder walks a control value.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "directory/ber_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  BerCursor cursor(data, size);
  while (cursor.Remaining() > 0 && !cursor.truncated) {
    const BYTE* before = cursor.pos;
    int consumed = 0;
    BYTE tag = BerPeekTag(cursor);
    switch (tag) {
      case 0x02:
      case 0x0A:
        BerReadInteger(cursor, consumed);
        break;
      case 0x04:
        BerReadOctetString(cursor, consumed);
        break;
      case 0x30:
        cursor.pos++;
        BerReadLength(cursor, consumed);
        break;
      default:
        cursor.pos++;
        BerReadUInt(cursor, tag & 7);
        break;
    }
    if (cursor.pos > cursor.end || cursor.pos < before) abort();
    if (cursor.pos == before) cursor.pos++;  // an element the reader refused
  }
  HexDump(data, size < 64 ? size : 64);
  return 0;
}
