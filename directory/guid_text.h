// The braced upper-case text of a GUID, used as the key of the GUID maps and
// in the output.
#pragma once

#include <string>

#include "platform/win_types.h"

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}": the first three fields as
// numbers, the last eight bytes in stored order; "" when the conversion
// fails. guid may point at 16 bytes of any alignment (such as a value
// straight from the server); the caller guarantees the 16 bytes are there.
std::string GuidToString(const GUID* guid);
