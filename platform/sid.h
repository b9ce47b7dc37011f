// Security identifiers: the binary form and the "S-1-..." text form.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/win_types.h"

namespace plat {

using PSID = void*;

inline constexpr BYTE SID_REVISION = 1;
inline constexpr BYTE SID_MAX_SUB_AUTHORITIES = 15;
// Largest SID in bytes: header (8) plus 15 sub-authorities.
inline constexpr DWORD SECURITY_MAX_SID_SIZE = 68;

// True when the header is sound (revision 1, at most 15 sub-authorities).
// The caller guarantees that the whole SID is readable.
BOOL IsValidSid(const void* sid);
// The same, but never reads past length bytes, and the SID must fit in them.
BOOL IsValidSid(const void* sid, size_t length);
// 8 + 4 * sub-authority count; 0 for an invalid SID.
DWORD GetLengthSid(const void* sid);

// "S-1-<authority>-<sub>-..."; an authority of 2^32 or more is written as
// "0x" and twelve upper-case hex digits. Fails (ERROR_INVALID_SID) on a
// malformed SID.
BOOL ConvertSidToStringSidA(const void* sid, std::string* text);
BOOL ConvertSidToStringSidA(const void* sid, size_t length, std::string* text);

// Parses "S-1-..." text or an SDDL two-letter alias ("BA", "SY", "WD", ...)
// into the binary form. Fails with ERROR_INVALID_SID on malformed text, or
// on a domain-relative alias while no domain SID has been set.
BOOL ConvertStringSidToSidA(const char* text, std::vector<BYTE>* sid);

// The SDDL two-letter alias of a binary SID of length bytes (S-1-5-18 ->
// "SY"), for the aliases that name the same SID on every machine; nullptr for
// any other SID, domain-relative ones included.
const char* MachineIndependentSddlAlias(const void* sid, size_t length);

// The domain SID that domain-relative aliases ("DA", "DU", ...) are built
// on; "" forgets it. Returns false when the text is not a domain SID.
bool SetSddlDomainSid(const std::string& domainSidText);

}  // namespace plat
