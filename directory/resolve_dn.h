// The server's own DN for an object named by a special DN form such as
// "<SID=S-1-5-...>" or "<GUID=...>".
#pragma once

#include <string>

#include "platform/win_types.h"

namespace plat {
struct LDAP;
}

// A base search of dn asking for no attributes; the first entry's DN, or dn
// unchanged when the search fails or finds nothing. Prints nothing. *code
// (when given) gets the search's result code.
std::string ResolveDN(plat::LDAP* connection, std::string dn, ULONG* code = nullptr);
