// GUID and SID values as text, with optional SID-to-name resolution that is
// remembered for the whole run in g_SidNameCache.
#pragma once

#include <cstddef>
#include <string>

// The braced upper-case text of 16 GUID bytes, or with -guidbinout their 32
// lower-case hex digits in storage order; "" when the text cannot be made.
// Reads exactly 16 bytes.
std::string GuidToText(const void* guid);
// The same for a value of length bytes as the server sent it. A value that is
// not 16 bytes long is no GUID: it is shown as the hex digits of its bytes.
std::string GuidToText(const void* value, size_t length);

// The "S-1-..." text of a binary SID, passed through ResolveSidName; with
// -sidbinout the lower-case hex digits of its bytes, unresolved. The caller
// guarantees the whole SID is readable; "" when its header is not a SID's.
std::string SidToText(const void* sid);
// The same for a value of length bytes as the server sent it; never reads past
// them. A value that is not a sound SID is shown as the hex digits of its bytes.
std::string SidToText(const void* value, size_t length);

// The account name ("DOMAIN\name"), directory DN or logon-session label of a
// SID text when SID resolution is on; sidText unchanged otherwise or when no
// name is found. sid is the same SID in binary form, or null (it is then made
// from the text). Each answer found is cached for the run; failures are not.
std::string ResolveSidName(std::string sidText, const void* sid);
