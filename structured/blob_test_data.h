// For tests: binary SIDs and blob headers of the membership and signature blobs.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

#include "values/test_record_builder.h"

// A binary SID of authority 5 (NT) with the given sub-authorities.
inline std::string NtSid(std::initializer_list<uint32_t> subAuthorities) {
  TestRecord r(8);
  r.U8(0, 1).U8(1, static_cast<uint8_t>(subAuthorities.size())).U8(7, 5);
  size_t at = 8;
  for (uint32_t s : subAuthorities) {
    r.U32(at, s);
    at += 4;
  }
  return r.str();
}

// A cached-membership blob: version, the four counts, then the SIDs.
inline std::string MembershipBlob(uint32_t version, uint32_t g, uint32_t gsh, uint32_t u,
                                  uint32_t ush, const std::string& sids) {
  return TestRecord(20).U32(0, version).U32(4, g).U32(8, gsh).U32(12, u).U32(16, ush).Append(sids).str();
}

// A signature record: GUID bytes 1..16 plus seed, time in seconds, USN.
inline std::string SignatureRecord(uint8_t seed, int64_t seconds, int64_t usn) {
  std::string guid;
  for (int i = 1; i <= 16; ++i) guid.push_back(static_cast<char>(i + seed));
  return TestRecord(32).Bytes(0, guid).U64(16, static_cast<uint64_t>(seconds)).U64(24, static_cast<uint64_t>(usn)).str();
}

// A signature blob of either kind: headerSize 16 (DSA) or 32 (NC).
inline std::string SignatureBlob(uint32_t version, uint32_t count, size_t headerSize,
                                 const std::string& records) {
  return TestRecord(headerSize).U32(0, version).U32(8, count).Append(records).str();
}
