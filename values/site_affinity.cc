#include "values/site_affinity.h"

#include "common/dstime.h"
#include "common/process_state.h"
#include "common/string_util.h"
#include "directory/guid_text.h"
#include "values/hex_dump.h"

namespace {

constexpr size_t kSiteAffinitySize = 24;

DWORD ReadLe32(const unsigned char* p) {
  return static_cast<DWORD>(p[0]) | (static_cast<DWORD>(p[1]) << 8) |
         (static_cast<DWORD>(p[2]) << 16) | (static_cast<DWORD>(p[3]) << 24);
}

}  // namespace

void AppendSiteAffinity(std::string_view label, const unsigned char* data, size_t len,
                        bool asDate, bool utc, bool timesSortable, std::string* out) {
  out->append(label);
  if (len < kSiteAffinitySize) {
    AppendHexDump(data, len, out);
    out->push_back('\n');
    return;
  }
  std::string site = StrToUpper(GuidToString(reinterpret_cast<const GUID*>(data)));
  auto named = g_SiteGuidMap.find(site);
  out->append(named != g_SiteGuidMap.end() ? named->second : site);
  out->append(" - ");
  const DWORD low = ReadLe32(data + 16);
  const DWORD high = ReadLe32(data + 20);
  if (asDate) {
    DSTIME t(low, high, utc);
    out->append(timesSortable ? t.isoDateTimeZoned : t.dateTimeZoned);
  } else {
    out->append(Int64ToString(low, high, 10));
  }
  out->push_back('\n');
}
