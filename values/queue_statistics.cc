#include "values/queue_statistics.h"

#include "values/hex_dump.h"
#include "values/meta_lines.h"
#include "values/record_reader.h"

namespace {

constexpr size_t kQueueRecordSize = 52;

struct TimeField {
  const char* label;
  size_t offset;
};

constexpr TimeField kTimes[] = {
    {" OpStarted:", 0},  {" OldestSync:", 12}, {" OldestAdd:", 20},
    {" OldestMod:", 28}, {" OldestDel:", 36},  {" OldestUpdRefs:", 44},
};

}  // namespace

void AppendQueueStatistics(std::string_view label, const std::vector<std::string_view>& values,
                           std::string* out) {
  for (std::string_view value : values) {
    out->append(label);
    RecordReader r(value);
    if (!r.Has(0, kQueueRecordSize)) {
      AppendHexDump(r.data(), r.size(), out);
      out->push_back('\n');
      continue;
    }
    out->append("Ops:").append(std::to_string(r.I32(8)));
    for (const TimeField& t : kTimes) {
      DWORD low = 0, high = 0;
      r.FileTime(t.offset, &low, &high);
      out->append(t.label).append(MetaTimeText(low, high));
    }
    out->push_back('\n');
  }
}
