// Names of queued replication operations and of their option bits.
#pragma once

#include "common/cwstring.h"

// typeName: "SYNC", "ADD_PARTNER", "DEL_PARTNER", "MOD_PARTNER", "UPD_REFS",
// or "Unknown" for any other type (negative ones too). optionsText: the names
// of the type's option bits that are set, in the type's own order, joined by
// commas; bits the type does not name are left out. Both are overwritten.
void DecodeReplOpOptions(int opType, unsigned options, CWString* typeName,
                         CWString* optionsText);
