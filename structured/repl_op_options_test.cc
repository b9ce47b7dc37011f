#include "structured/repl_op_options.h"

#include <gtest/gtest.h>

namespace {

TEST(DecodeReplOpOptions, TypeNamesAndOptionNamesInTheTypesOrder) {
  struct Case {
    int type;
    unsigned options;
    const char* name;
    const char* text;
  } cases[] = {
      {0, 0, "SYNC", ""},
      {0, 0x3, "SYNC", "ASYNC,WRITEABLE"},
      {0, 0x4004, "SYNC", "SCHEDULED,COMPRESS"},
      {0, 0xFFFFFFFF, "SYNC",
       "ASYNC,WRITEABLE,SCHEDULED,INTMSG,ALL,FULL,URGENT,NODISCARD,FORCE,ADD_CN_REF,NEVER_COMPLETED,"
       "TWOWAY,NEVERNOTIFY,REPSYNC_DSASTART,COMPRESS,ABANDON,INITIAL,PAS,REQUEUE,REQUESTED,"
       "ASYNC_REPLICA,CRITICAL_ONLY,FULLSYNC_INPROGRESS,PREEMPTED"},
      {1, 0x21, "ADD_PARTNER", "ASYNCH,ADD_ASYNCH_REPLICA"},
      {1, 0x3FF, "ADD_PARTNER",
       "ASYNCH,ADD_ASYNCH_REPLICA,DISABLE_NOTIFICATION,DISABLE_PERIODIC,INITIAL,INTMSG,NEVER_NOTIFY,"
       "PERIODIC,COMPRESS,WRITEABLE"},
      {1, 0x400, "ADD_PARTNER", ""},
      {2, 0x7F, "DEL_PARTNER", "ASYNCH,IGNORE_ERRORS,INTMSG,LOCAL,REMOVE_NC,REF_OK,WRITEABLE"},
      {3, 0xFF, "MOD_PARTNER", "ASYNCH,WRITEABLE"},
      {4, 0xF, "UPD_REFS", "ADDREF,ASYNCH,DELREF,WRITEABLE"},
      {5, 0xF, "Unknown", ""},
      {-1, 0x1, "Unknown", ""},
  };
  for (const Case& c : cases) {
    CWString name("stale"), text("stale");
    DecodeReplOpOptions(c.type, c.options, &name, &text);
    EXPECT_EQ(name.GetNarrow(), c.name) << c.type << " " << c.options;
    EXPECT_EQ(text.GetNarrow(), c.text) << c.type << " " << c.options;
  }
}

}  // namespace
