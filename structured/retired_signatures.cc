#include "structured/retired_signatures.h"

#include <cstdio>

#include "common/dstime.h"
#include "common/process_state.h"
#include "structured/cached_membership.h"
#include "structured/sid_guid_text.h"
#include "values/record_reader.h"

namespace {

constexpr size_t kRecordSize = 32;

bool DecodeSignatures(unsigned length, const unsigned char* blob, size_t firstRecord,
                      const char* word, std::vector<std::string>* lines) {
  if (blob == nullptr || length == 0) {
    lines->push_back(kNullBlobWarning);
    return false;
  }
  RecordReader r(blob, length);
  const uint32_t version = r.U32(0);
  if (r.ok() && version != 1) {
    lines->push_back(kNotVersion1Warning);
    return false;
  }
  const uint32_t count = r.U32(8);
  if (!r.ok()) {
    lines->push_back(kShortBlobWarning);
    return false;
  }
  if (g_Debug) std::printf("DEBUG: Signature count: %u\n", count);
  for (uint32_t i = 0; i < count; ++i) {
    const size_t at = firstRecord + kRecordSize * static_cast<size_t>(i);
    if (!r.Has(at, kRecordSize)) {
      lines->push_back(kShortBlobWarning);
      return false;
    }
    // Seconds since 1601 in 100-ns units; unsigned arithmetic cannot overflow.
    const uint64_t seconds = r.U64(at + 16);
    const auto time = static_cast<int64_t>(seconds * 10000000ULL);
    const int64_t usn = r.I64(at + 24);
    std::string timeText;
    if (g_DecodeTimes || g_TimesSortable) {
      DSTIME t(static_cast<DWORD>(static_cast<uint64_t>(time)),
               static_cast<DWORD>(static_cast<uint64_t>(time) >> 32), g_Utc);
      timeText = g_TimesSortable ? t.isoDateTimeZoned : t.dateTimeZoned;
    } else {
      timeText = std::to_string(time);
    }
    std::string line = word;
    line.append(GuidToText(r.Guid(at)));
    line.append(" RETIRE_USN=").append(std::to_string(usn));
    line.append(" RETIRE_TIME=").append(timeText);
    lines->push_back(std::move(line));
  }
  return true;
}

}  // namespace

bool DecodeRetiredDsaSignatures(unsigned length, const unsigned char* blob,
                                std::vector<std::string>* lines) {
  return DecodeSignatures(length, blob, 16, "DSA_SIG=", lines);
}

bool DecodeRetiredNcSignatures(unsigned length, const unsigned char* blob,
                               std::vector<std::string>* lines) {
  return DecodeSignatures(length, blob, 32, "NC_GUID=", lines);
}
