// Self-relative security descriptors: validation against the value's length,
// the descriptor's own length, its owner, and conversion to SDDL text in the
// platform's format. Every read stays within the length given; a descriptor
// that does not fit its value is invalid, and nothing of it is converted.
#pragma once

#include <cstddef>
#include <string>

#include "platform/win_types.h"

namespace plat {

inline constexpr DWORD ERROR_INVALID_ACL = 1336;
inline constexpr DWORD ERROR_INVALID_SECURITY_DESCR = 1338;

inline constexpr DWORD SDDL_REVISION_1 = 1;

// Information mask of the SDDL converter.
inline constexpr DWORD OWNER_SECURITY_INFORMATION = 0x1;
inline constexpr DWORD GROUP_SECURITY_INFORMATION = 0x2;
inline constexpr DWORD DACL_SECURITY_INFORMATION = 0x4;
inline constexpr DWORD SACL_SECURITY_INFORMATION = 0x8;

// Control bits of the descriptor header.
inline constexpr WORD SE_OWNER_DEFAULTED = 0x0001;
inline constexpr WORD SE_GROUP_DEFAULTED = 0x0002;
inline constexpr WORD SE_DACL_PRESENT = 0x0004;
inline constexpr WORD SE_SACL_PRESENT = 0x0010;
inline constexpr WORD SE_DACL_AUTO_INHERIT_REQ = 0x0100;
inline constexpr WORD SE_SACL_AUTO_INHERIT_REQ = 0x0200;
inline constexpr WORD SE_DACL_AUTO_INHERITED = 0x0400;
inline constexpr WORD SE_SACL_AUTO_INHERITED = 0x0800;
inline constexpr WORD SE_DACL_PROTECTED = 0x1000;
inline constexpr WORD SE_SACL_PROTECTED = 0x2000;
inline constexpr WORD SE_SELF_RELATIVE = 0x8000;

// True when the bytes hold a sound self-relative descriptor that fits in
// length bytes: revision 1, the self-relative bit, owner and group SIDs, and
// each present ACL with its revision, size, ACE count, every ACE's size and
// the SID of every ACE whose layout is known. An ACE of unknown type is
// checked for its size only, as the platform does.
BOOL IsValidSecurityDescriptor(const void* sd, size_t length);

// The length the descriptor's parts take: the header plus the owner, group,
// DACL and SACL, each rounded up to 4 bytes. 0 for an invalid descriptor.
DWORD GetSecurityDescriptorLength(const void* sd, size_t length);

// The owner SID: *owner points into the descriptor (null when it names no
// owner), *ownerLength is the SID's length, *defaulted the owner-defaulted
// bit. Fails (ERROR_INVALID_SECURITY_DESCR) when the header or the owner SID
// does not fit in length bytes or is malformed; the rest is not examined.
BOOL GetSecurityDescriptorOwner(const void* sd, size_t length, const void** owner,
                                DWORD* ownerLength, BOOL* defaulted);

// The two-letter codes of an access mask's coded bits, in the order the
// descriptor text writes them; *rest (may be null) gets the bits without a code.
std::string AccessMaskCodes(DWORD mask, DWORD* rest);

// The descriptor as SDDL text: "O:" owner, "G:" group, "D:" DACL flags and
// ACEs, "S:" SACL flags and ACEs, in that order, each part only when the
// information mask asks for it and the descriptor holds it. ACL flags P, AR,
// AI; ACE types A, D, AU, AL, OA, OD, OU, OL; ACE flags OI, CI, NP, IO, ID,
// SA, FA; rights as two-letter codes, or the whole mask as 0x... hex when a
// bit has no code; object GUIDs in lower-case dashed form; SIDs as their
// machine-independent aliases, else as S-1-... text. A present null DACL
// (or SACL) is written "NO_ACCESS_CONTROL". Fails on an invalid descriptor
// (ERROR_INVALID_SECURITY_DESCR), on an ACE of a type, flag or object flag it
// has no code for (ERROR_INVALID_ACL), or on another revision.
BOOL ConvertSecurityDescriptorToStringSecurityDescriptorA(const void* sd, size_t length,
                                                          DWORD revision, DWORD information,
                                                          std::string* text);

}  // namespace plat
