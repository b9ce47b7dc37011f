#include "directory/ber_reader.h"

#include <algorithm>
#include <cstdio>

#include "common/process_state.h"

namespace {

// Moves the position n bytes on, or to the end when fewer remain.
// Returns false when the move was cut short.
bool Advance(BerCursor& cursor, size_t n) {
  if (n > cursor.Remaining()) {
    cursor.pos = cursor.end;
    cursor.truncated = true;
    return false;
  }
  cursor.pos += n;
  return true;
}

}  // namespace

BYTE BerPeekTag(BerCursor& cursor) {
  if (cursor.pos >= cursor.end) {
    cursor.truncated = true;
    return 0;
  }
  return *cursor.pos;
}

DWORD BerReadUInt(BerCursor& cursor, int n) {
  if (n <= 0) return 0;
  const BYTE* p = cursor.pos;
  if (!Advance(cursor, static_cast<size_t>(n))) return 0;
  if (n > 4) return 0;
  DWORD value = 0;
  for (int i = 0; i < n; ++i) value = (value << 8) | p[i];
  return value;
}

DWORD BerReadLength(BerCursor& cursor, int& consumed) {
  if (cursor.pos >= cursor.end) {
    cursor.truncated = true;
    return 0;
  }
  BYTE first = *cursor.pos++;
  if (first < 0x80) {
    consumed += 1;
    return first;
  }
  int count = first & 0x0F;
  DWORD length = BerReadUInt(cursor, count);
  consumed += 1 + count;
  return length;
}

DWORD BerSkipLength(BerCursor& cursor) {
  int ignored = 0;
  return BerReadLength(cursor, ignored);
}

DWORD BerReadInteger(BerCursor& cursor, int& consumed) {
  if (g_Debug) {
    // The element as its short-form length byte describes it, inside the buffer.
    size_t shown = std::min<size_t>(cursor.Remaining(), 2);
    if (cursor.Remaining() >= 2) shown += std::min<size_t>(cursor.Remaining() - 2, cursor.pos[1]);
    printf("DEBUG: *****GETTING INT:\n");
    HexDump(cursor.pos, shown);
  }
  if (cursor.pos >= cursor.end) {
    cursor.truncated = true;
    return 0;
  }
  BYTE tag = *cursor.pos;
  if (tag != 0x02 && tag != 0x0A) return 0;
  ++cursor.pos;
  if (cursor.pos >= cursor.end) {
    cursor.truncated = true;
    return 0;
  }
  BYTE length = *cursor.pos++;
  DWORD value = BerReadUInt(cursor, length);
  consumed += 2 + length;
  if (g_Debug) printf("DEBUG: *****INT VAL=%u\n", value);
  return value;
}

std::string BerReadOctetString(BerCursor& cursor, int& consumed) {
  if (g_Debug) {
    printf("DEBUG: *****GETTING STR:\n");
    HexDump(cursor.pos, std::min<size_t>(cursor.Remaining(), 16));
  }
  if (cursor.pos >= cursor.end) {
    cursor.truncated = true;
    return std::string();
  }
  if (*cursor.pos != 0x04) return std::string();
  ++cursor.pos;
  int lengthBytes = 0;
  DWORD length = BerReadLength(cursor, lengthBytes);
  const BYTE* value = cursor.pos;
  size_t taken = std::min<size_t>(length, cursor.Remaining());
  Advance(cursor, length);
  consumed += 1 + lengthBytes + static_cast<int>(taken);
  const BYTE* zero = std::find(value, value + taken, BYTE{0});
  std::string text(reinterpret_cast<const char*>(value), static_cast<size_t>(zero - value));
  if (g_Debug) printf("DEBUG: *****STR VAL=%s\n", text.c_str());
  return text;
}

void HexDump(const BYTE* bytes, size_t count) {
  if (count == 0 || bytes == nullptr) return;
  std::string decoded = "DECODE:\n";
  for (size_t line = 0; line < count; line += 16) {
    printf("%04X ", static_cast<unsigned>(line));
    size_t stop = std::min(count, line + 16);
    for (size_t i = line; i < stop; ++i) {
      BYTE b = bytes[i];
      printf("%x%x ", b >> 4, b & 0x0F);
      if (b > 0x20) {
        decoded += static_cast<char>(b);
      } else if (b == 0) {
        decoded += "\\0";
      } else {
        decoded += '_';
      }
    }
    printf("\n");
    decoded += '\n';
  }
  printf("%s\n", decoded.c_str());
}
