// msDS-Cached-Membership: the group SIDs cached for a user, one line per SID.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Appends one line per SID to *lines: "(G)", "(GsH)", "(U)" or "(UsH)" (global,
// global SID history, universal, universal SID history) followed by the SID
// text. Only version 1 is decoded; otherwise, and for an empty value, one
// "WARN: " line. A blob whose counts promise more than it holds gives the
// lines read so far and a warning. True when the whole blob was decoded.
bool DecodeCachedMembership(unsigned length, const unsigned char* blob,
                            std::vector<std::string>* lines);

// What the decoder reads of a blob: the four counts (when they could be
// read), the SIDs in the order its lines name them, each with its group
// (0 to 3: G, GsH, U, UsH), and the warning that ends the lines (null when
// the whole blob was read).
struct CachedMembership {
  struct Sid {
    int group;
    const unsigned char* bytes;
    size_t length;
  };
  bool haveCounts = false;
  uint32_t counts[4] = {0, 0, 0, 0};
  std::vector<Sid> sids;
  const char* warning = nullptr;
};
CachedMembership ReadCachedMembership(unsigned length, const unsigned char* blob);

// Warning lines of the blob decoders.
inline constexpr char kNullBlobWarning[] = "WARN: Null Blob.";
inline constexpr char kNotVersion1Warning[] = "WARN: Not Version 1 Blob, can't decode.";
inline constexpr char kShortBlobWarning[] = "WARN: Blob ends before its contents, can't decode the rest.";
