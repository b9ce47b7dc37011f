#include "structured/cached_membership.h"

#include <cstdio>

#include "common/process_state.h"
#include "structured/sid_guid_text.h"
#include "values/record_reader.h"

CachedMembership ReadCachedMembership(unsigned length, const unsigned char* blob) {
  CachedMembership m;
  if (blob == nullptr || length == 0) {
    m.warning = kNullBlobWarning;
    return m;
  }
  RecordReader r(blob, length);
  const uint32_t version = r.U32(0);
  if (!r.ok()) {
    m.warning = kShortBlobWarning;
    return m;
  }
  if (version != 1) {
    m.warning = kNotVersion1Warning;
    return m;
  }
  for (int group = 0; group < 4; ++group) m.counts[group] = r.U32(4 + 4 * static_cast<size_t>(group));
  if (!r.ok()) {
    m.warning = kShortBlobWarning;
    return m;
  }
  m.haveCounts = true;
  size_t pos = 20;
  for (int group = 0; group < 4; ++group) {
    for (uint32_t i = 0; i < m.counts[group]; ++i) {
      // A SID: revision, sub-authority count n, 6-byte authority, n * 4 bytes.
      const uint8_t subAuthorities = r.U8(pos + 1);
      const size_t sidLength = 8 + 4 * static_cast<size_t>(subAuthorities);
      if (!r.ok() || !r.Has(pos, sidLength)) {
        m.warning = kShortBlobWarning;
        return m;
      }
      m.sids.push_back({group, blob + pos, sidLength});
      pos += sidLength;
    }
  }
  return m;
}

bool DecodeCachedMembership(unsigned length, const unsigned char* blob,
                            std::vector<std::string>* lines) {
  const CachedMembership m = ReadCachedMembership(length, blob);
  if (m.haveCounts && g_Debug) {
    std::printf("DEBUG: MSDS-Cached-Membership Decode\n");
    std::printf("DEBUG: Global SID Count           = %u\n", m.counts[0]);
    std::printf("DEBUG: Global SIDHistory Count    = %u\n", m.counts[1]);
    std::printf("DEBUG: Universal SID Count        = %u\n", m.counts[2]);
    std::printf("DEBUG: Universal SIDHistory Count = %u\n", m.counts[3]);
  }
  static const char* const kTags[4] = {"(G)", "(GsH)", "(U)", "(UsH)"};
  for (const CachedMembership::Sid& sid : m.sids) lines->push_back(kTags[sid.group] + SidToText(sid.bytes, sid.length));
  if (m.warning == nullptr) return true;
  lines->push_back(m.warning);
  return false;
}
