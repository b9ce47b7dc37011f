// Test support: self-relative security descriptors built byte by byte, so
// that tests can make sound and malformed values alike.
#pragma once

#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

#include "platform/sid.h"
#include "platform/win_types.h"

namespace sdtest {

using Bytes = std::vector<BYTE>;

inline void PutLe16(Bytes* b, size_t at, unsigned v) {
  (*b)[at] = static_cast<BYTE>(v);
  (*b)[at + 1] = static_cast<BYTE>(v >> 8);
}
inline void PutLe32(Bytes* b, size_t at, DWORD v) {
  for (int i = 0; i < 4; ++i) (*b)[at + i] = static_cast<BYTE>(v >> (8 * i));
}

// A SID from "S-1-..." text or a machine-independent alias.
inline Bytes SidBytes(const char* text) {
  Bytes sid;
  plat::ConvertStringSidToSidA(text, &sid);
  return sid;
}

// The 16 storage bytes of a GUID written in dashed text.
inline Bytes GuidBytes(const char* text) {
  unsigned d1, d2, d3, b[8];
  std::sscanf(text, "%8x-%4x-%4x-%2x%2x-%2x%2x%2x%2x%2x%2x", &d1, &d2, &d3, &b[0], &b[1], &b[2],
              &b[3], &b[4], &b[5], &b[6], &b[7]);
  Bytes g(16);
  PutLe32(&g, 0, d1);
  PutLe16(&g, 4, d2);
  PutLe16(&g, 6, d3);
  for (int i = 0; i < 8; ++i) g[8 + i] = static_cast<BYTE>(b[i]);
  return g;
}

// An ACE of the plain layout: header, mask, SID.
inline Bytes Ace(BYTE type, BYTE flags, DWORD mask, const Bytes& sid) {
  Bytes ace(8);
  ace[0] = type;
  ace[1] = flags;
  PutLe32(&ace, 4, mask);
  ace.insert(ace.end(), sid.begin(), sid.end());
  PutLe16(&ace, 2, static_cast<unsigned>(ace.size()));
  return ace;
}

// An object ACE; a null GUID text leaves that GUID out.
inline Bytes ObjectAce(BYTE type, BYTE flags, DWORD mask, const char* objectType,
                       const char* inheritedType, const Bytes& sid) {
  Bytes ace(12);
  ace[0] = type;
  ace[1] = flags;
  PutLe32(&ace, 4, mask);
  DWORD objectFlags = 0;
  if (objectType != nullptr) {
    objectFlags |= 1;
    Bytes g = GuidBytes(objectType);
    ace.insert(ace.end(), g.begin(), g.end());
  }
  if (inheritedType != nullptr) {
    objectFlags |= 2;
    Bytes g = GuidBytes(inheritedType);
    ace.insert(ace.end(), g.begin(), g.end());
  }
  PutLe32(&ace, 8, objectFlags);
  ace.insert(ace.end(), sid.begin(), sid.end());
  PutLe16(&ace, 2, static_cast<unsigned>(ace.size()));
  return ace;
}

// An ACL (revision 4) holding the ACEs in order.
inline Bytes Acl(std::initializer_list<Bytes> aces) {
  Bytes acl(8);
  acl[0] = 4;
  for (const Bytes& ace : aces) acl.insert(acl.end(), ace.begin(), ace.end());
  PutLe16(&acl, 2, static_cast<unsigned>(acl.size()));
  PutLe16(&acl, 4, static_cast<unsigned>(aces.size()));
  return acl;
}

// Header, owner, group, DACL, SACL, in that order; an empty part is left out
// (offset 0). A non-empty ACL sets its present bit.
inline Bytes Descriptor(const Bytes& owner, const Bytes& group, const Bytes& dacl,
                        const Bytes& sacl, WORD control = 0) {
  Bytes sd(20);
  sd[0] = 1;
  control |= 0x8000;
  if (!dacl.empty()) control |= 0x0004;
  if (!sacl.empty()) control |= 0x0010;
  PutLe16(&sd, 2, control);
  auto put = [&sd](const Bytes& part, size_t offsetField) {
    if (part.empty()) return;
    PutLe32(&sd, offsetField, static_cast<DWORD>(sd.size()));
    sd.insert(sd.end(), part.begin(), part.end());
  };
  put(owner, 4);
  put(group, 8);
  put(dacl, 16);
  put(sacl, 12);
  return sd;
}

// A descriptor whose DACL is present but null.
inline Bytes NullDacl() {
  Bytes sd = Descriptor({}, {}, {}, {});
  PutLe16(&sd, 2, 0x8004);
  return sd;
}

}  // namespace sdtest
