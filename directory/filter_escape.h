// Byte-valued directory data as escaped assertion values for LDAP filters:
// every byte written as a backslash and two hex digits.
#pragma once

#include <string>

#include "platform/win_types.h"

// The 16 bytes of the GUID in stored order (48 characters).
std::string GuidToFilterValue(const GUID* guid);
// The bytes of a binary SID, as many as its header says.
std::string SidToFilterValue(const void* sid);
// length bytes from bytes; a length of 0 (or less) gives "".
std::string BinaryToFilterValue(const BYTE* bytes, int length);
