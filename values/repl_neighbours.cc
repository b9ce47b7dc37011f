#include "values/repl_neighbours.h"

#include "structured/value_text_helpers.h"
#include "values/meta_lines.h"
#include "values/record_reader.h"
#include "values/repl_failures.h"

namespace {

constexpr size_t kNeighbourRecordSize = 128;

struct FlagName {
  unsigned bit;
  const char* name;
};

constexpr FlagName kReplicaFlags[] = {
    {0x10, "WRITEABLE"},         {0x20, "ON_START"},
    {0x40, "SCHEDULED"},         {0x80, "ASYNCH"},
    {0x200, "TWO_WAY"},          {0x10000, "FULL_SYNCH_IN_PROGRESS"},
    {0x20000, "FULL_SYNCH_NEXT_PACKET"}, {0x200000, "NEVER_SYNCED"},
    {0x10000000, "COMPRESS"},    {0x20000000, "NO_CHG_NOTIFY"},
};

}  // namespace

std::string ReplicaFlagsText(uint32_t flags) {
  std::vector<std::string> names;
  unsigned rest = flags;
  for (const FlagName& f : kReplicaFlags) AppendFlagName(&names, &rest, f.bit, f.name);
  if (rest != 0) AppendFlagName(&names, &rest, rest, "UNKNOWN");
  return JoinStrings(names.data(), names.data() + names.size(), ",");
}

void AppendReplNeighbours(const std::string& attrName, std::string_view label,
                          const std::vector<std::string_view>& values, std::string* out) {
  MetaLineList lines(attrName);
  for (std::string_view value : values) {
    RecordReader r(value);
    if (!r.Has(0, kNeighbourRecordSize)) {
      lines.AddUndecodable(value);
      continue;
    }
    const std::string nc = r.TextAtOffsetField(0, "DeletedNC");
    const std::string dsa = ShortenDsaName(r.TextAtOffsetField(4, "DeletedDSA"));
    const std::string address = r.TextAtOffsetField(8, "-");
    const uint32_t flags = r.U32(16);
    DWORD successLow = 0, successHigh = 0, attemptLow = 0, attemptHigh = 0;
    r.FileTime(104, &successLow, &successHigh);
    r.FileTime(112, &attemptLow, &attemptHigh);
    const int32_t lastResult = r.I32(120);
    const int32_t consecFails = r.I32(124);
    if (!r.ok()) {
      lines.AddUndecodable(value);
      continue;
    }
    const std::string lastAttempt = MetaTimeText(attemptLow, attemptHigh);
    const std::string lastSuccess = MetaTimeText(successLow, successHigh);
    const std::string error = ReplErrorText(lastResult);

    const std::string* key = &dsa;
    if (MetaSortKeyIs("date")) key = &lastSuccess;
    else if (MetaSortKeyIs("nc")) key = &nc;
    else if (MetaSortKeyIs("err")) key = &error;

    std::string text = "ConsecFails: ";
    AppendPadded(&text, std::to_string(consecFails), 6, true);
    text.append(" LastResult: ");
    AppendPadded(&text, std::to_string(lastResult), 6, true);
    text.append(" LastAttempt: ");
    AppendPadded(&text, lastAttempt, 24, true);
    text.append("  LastSuccess: ");
    AppendPadded(&text, lastSuccess, 24, true);
    text.append(" DSA: ").append(dsa);
    text.append(" NC: ").append(nc);
    text.append(" Flags: ").append(std::to_string(static_cast<int32_t>(flags)));
    text.append(" [").append(ReplicaFlagsText(flags)).append("]");
    text.append(" Address: ").append(address);
    text.append(" LastError: \"").append(error).append("\"");
    lines.Add(*key, text);
  }
  lines.Print(label, out);
}
