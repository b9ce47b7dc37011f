#include "structured/repl_op_options.h"

#include <string>

namespace {

struct OptionName {
  unsigned bit;
  const char16_t* name;
};

struct OpType {
  const char* name;
  const OptionName* options;
  size_t count;
};

// Within a type, the order of the rows is the order of the names shown.
constexpr OptionName kSyncOptions[] = {
    {0x1, u"ASYNC"},           {0x2, u"WRITEABLE"},        {0x4, u"SCHEDULED"},
    {0x8, u"INTMSG"},          {0x10, u"ALL"},             {0x20, u"FULL"},
    {0x40, u"URGENT"},         {0x80, u"NODISCARD"},       {0x100, u"FORCE"},
    {0x200, u"ADD_CN_REF"},    {0x400, u"NEVER_COMPLETED"}, {0x800, u"TWOWAY"},
    {0x1000, u"NEVERNOTIFY"},  {0x2000, u"REPSYNC_DSASTART"}, {0x4000, u"COMPRESS"},
    {0x8000, u"ABANDON"},      {0x10000, u"INITIAL"},      {0x20000, u"PAS"},
    {0x40000, u"REQUEUE"},     {0x80000, u"REQUESTED"},    {0x100000, u"ASYNC_REPLICA"},
    {0x200000, u"CRITICAL_ONLY"}, {0x400000, u"FULLSYNC_INPROGRESS"}, {0x800000, u"PREEMPTED"},
};
constexpr OptionName kAddOptions[] = {
    {0x1, u"ASYNCH"},     {0x20, u"ADD_ASYNCH_REPLICA"}, {0x40, u"DISABLE_NOTIFICATION"},
    {0x80, u"DISABLE_PERIODIC"}, {0x4, u"INITIAL"}, {0x10, u"INTMSG"},
    {0x200, u"NEVER_NOTIFY"}, {0x8, u"PERIODIC"},     {0x100, u"COMPRESS"},
    {0x2, u"WRITEABLE"},
};
constexpr OptionName kDelOptions[] = {
    {0x1, u"ASYNCH"}, {0x8, u"IGNORE_ERRORS"}, {0x4, u"INTMSG"}, {0x10, u"LOCAL"},
    {0x20, u"REMOVE_NC"}, {0x40, u"REF_OK"}, {0x2, u"WRITEABLE"},
};
constexpr OptionName kModOptions[] = {{0x1, u"ASYNCH"}, {0x2, u"WRITEABLE"}};
constexpr OptionName kUpdRefsOptions[] = {
    {0x4, u"ADDREF"}, {0x1, u"ASYNCH"}, {0x8, u"DELREF"}, {0x2, u"WRITEABLE"}};

template <size_t N>
constexpr OpType Type(const char* name, const OptionName (&options)[N]) {
  return {name, options, N};
}

constexpr OpType kTypes[] = {
    Type("SYNC", kSyncOptions),        Type("ADD_PARTNER", kAddOptions),
    Type("DEL_PARTNER", kDelOptions),  Type("MOD_PARTNER", kModOptions),
    Type("UPD_REFS", kUpdRefsOptions),
};

}  // namespace

void DecodeReplOpOptions(int opType, unsigned options, CWString* typeName,
                         CWString* optionsText) {
  *typeName = CWString("Unknown");
  *optionsText = CWString();
  const auto index = static_cast<unsigned>(opType);
  if (index >= sizeof kTypes / sizeof kTypes[0]) return;
  const OpType& type = kTypes[index];
  *typeName = CWString(type.name);
  std::u16string names;
  for (size_t i = 0; i < type.count; ++i) {
    if ((options & type.options[i].bit) == 0) continue;
    if (!names.empty()) names.push_back(u',');
    names.append(type.options[i].name);
  }
  *optionsText = CWString(std::move(names));
}
