#include "structured/cached_membership.h"

#include <cstdio>

#include "common/process_state.h"
#include "structured/sid_guid_text.h"
#include "values/record_reader.h"

bool DecodeCachedMembership(unsigned length, const unsigned char* blob,
                            std::vector<std::string>* lines) {
  if (blob == nullptr || length == 0) {
    lines->push_back(kNullBlobWarning);
    return false;
  }
  RecordReader r(blob, length);
  const uint32_t version = r.U32(0);
  if (!r.ok()) {
    lines->push_back(kShortBlobWarning);
    return false;
  }
  if (version != 1) {
    lines->push_back(kNotVersion1Warning);
    return false;
  }
  const uint32_t counts[4] = {r.U32(4), r.U32(8), r.U32(12), r.U32(16)};
  if (!r.ok()) {
    lines->push_back(kShortBlobWarning);
    return false;
  }
  if (g_Debug) {
    std::printf("DEBUG: MSDS-Cached-Membership Decode\n");
    std::printf("DEBUG: Global SID Count           = %u\n", counts[0]);
    std::printf("DEBUG: Global SIDHistory Count    = %u\n", counts[1]);
    std::printf("DEBUG: Universal SID Count        = %u\n", counts[2]);
    std::printf("DEBUG: Universal SIDHistory Count = %u\n", counts[3]);
  }
  static const char* const kTags[4] = {"(G)", "(GsH)", "(U)", "(UsH)"};
  size_t pos = 20;
  for (int group = 0; group < 4; ++group) {
    for (uint32_t i = 0; i < counts[group]; ++i) {
      // A SID: revision, sub-authority count n, 6-byte authority, n * 4 bytes.
      const uint8_t subAuthorities = r.U8(pos + 1);
      const size_t sidLength = 8 + 4 * static_cast<size_t>(subAuthorities);
      if (!r.ok() || !r.Has(pos, sidLength)) {
        lines->push_back(kShortBlobWarning);
        return false;
      }
      lines->push_back(kTags[group] + SidToText(blob + pos, sidLength));
      pos += sidLength;
    }
  }
  return true;
}
