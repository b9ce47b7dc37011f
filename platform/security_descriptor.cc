#include "platform/security_descriptor.h"

#include <cstring>
#include <functional>
#include <string_view>
#include <unordered_map>

#include "platform/bytes_hash.h"
#include "platform/last_error.h"
#include "platform/sid.h"

namespace plat {
namespace {

// Self-relative header: revision, padding, control word, then the offsets of
// owner, group, SACL and DACL (32-bit little-endian each).
constexpr size_t kHeaderSize = 20;
// ACL header: revision, padding, size, ACE count, padding.
constexpr size_t kAclHeaderSize = 8;
// ACE header: type, flags, size.
constexpr size_t kAceHeaderSize = 4;
constexpr size_t kSidHeaderSize = 8;

constexpr BYTE kAclRevisionMin = 2;  // ACL_REVISION
constexpr BYTE kAclRevisionMax = 4;  // ACL_REVISION_DS

constexpr DWORD kObjectTypePresent = 0x1;
constexpr DWORD kInheritedObjectTypePresent = 0x2;

WORD Le16(const BYTE* p) { return static_cast<WORD>(p[0] | p[1] << 8); }
DWORD Le32(const BYTE* p) {
  return static_cast<DWORD>(p[0]) | static_cast<DWORD>(p[1]) << 8 |
         static_cast<DWORD>(p[2]) << 16 | static_cast<DWORD>(p[3]) << 24;
}

// Length of the SID at offset within [0, end), or 0 when it is malformed or
// does not fit.
size_t SidLengthWithin(const BYTE* b, size_t offset, size_t end) {
  if (offset > end || end - offset < kSidHeaderSize) return 0;
  const BYTE* sid = b + offset;
  if (sid[0] != SID_REVISION || sid[1] > SID_MAX_SUB_AUTHORITIES) return 0;
  const size_t sidLength = kSidHeaderSize + 4u * sid[1];
  return end - offset < sidLength ? 0 : sidLength;
}

enum AceLayout { kPlainAce, kObjectAce, kUnknownAce };

AceLayout LayoutOf(BYTE type) {
  switch (type) {
    case 0x00:  // ACCESS_ALLOWED
    case 0x01:  // ACCESS_DENIED
    case 0x02:  // SYSTEM_AUDIT
    case 0x03:  // SYSTEM_ALARM
      return kPlainAce;
    case 0x05:  // ACCESS_ALLOWED_OBJECT
    case 0x06:  // ACCESS_DENIED_OBJECT
    case 0x07:  // SYSTEM_AUDIT_OBJECT
    case 0x08:  // SYSTEM_ALARM_OBJECT
      return kObjectAce;
    default:
      return kUnknownAce;
  }
}

// One ACE, located within its ACL.
struct AceView {
  BYTE type = 0;
  BYTE flags = 0;
  DWORD mask = 0;
  AceLayout layout = kUnknownAce;
  const BYTE* objectType = nullptr;           // 16 bytes, or null
  const BYTE* inheritedObjectType = nullptr;  // 16 bytes, or null
  DWORD objectFlags = 0;
  const BYTE* sid = nullptr;
  size_t sidLength = 0;
};

// Reads the ACE at offset, which must end at or before aclEnd. Unknown types
// are read for their header only. Sets *next past the ACE.
bool ReadAce(const BYTE* b, size_t offset, size_t aclEnd, AceView* ace, size_t* next) {
  if (aclEnd - offset < kAceHeaderSize) return false;
  const BYTE* p = b + offset;
  const size_t aceSize = Le16(p + 2);
  if (aceSize < kAceHeaderSize || aceSize > aclEnd - offset) return false;
  const size_t aceEnd = offset + aceSize;
  ace->type = p[0];
  ace->flags = p[1];
  ace->layout = LayoutOf(p[0]);
  ace->objectType = ace->inheritedObjectType = nullptr;
  ace->objectFlags = 0;
  ace->sid = nullptr;
  ace->sidLength = 0;
  *next = aceEnd;
  if (ace->layout == kUnknownAce) return true;

  size_t pos = offset + kAceHeaderSize;
  if (aceEnd - pos < 4) return false;
  ace->mask = Le32(b + pos);
  pos += 4;
  if (ace->layout == kObjectAce) {
    if (aceEnd - pos < 4) return false;
    ace->objectFlags = Le32(b + pos);
    pos += 4;
    if (ace->objectFlags & kObjectTypePresent) {
      if (aceEnd - pos < 16) return false;
      ace->objectType = b + pos;
      pos += 16;
    }
    if (ace->objectFlags & kInheritedObjectTypePresent) {
      if (aceEnd - pos < 16) return false;
      ace->inheritedObjectType = b + pos;
      pos += 16;
    }
  }
  ace->sidLength = SidLengthWithin(b, pos, aceEnd);
  if (ace->sidLength == 0) return false;
  ace->sid = b + pos;
  return true;
}

struct AclView {
  bool present = false;  // the control word says so
  bool isNull = false;   // present with offset 0
  size_t offset = 0;
  size_t size = 0;
  WORD count = 0;
};

struct DescriptorView {
  WORD control = 0;
  size_t ownerOffset = 0, ownerLength = 0;
  size_t groupOffset = 0, groupLength = 0;
  AclView dacl, sacl;
};

bool ReadAcl(const BYTE* b, size_t length, bool present, DWORD offset, AclView* acl) {
  acl->present = present;
  if (!present) return true;
  if (offset == 0) {
    acl->isNull = true;
    return true;
  }
  if (offset < kHeaderSize || offset > length || length - offset < kAclHeaderSize) return false;
  const BYTE* p = b + offset;
  if (p[0] < kAclRevisionMin || p[0] > kAclRevisionMax) return false;
  const size_t size = Le16(p + 2);
  if (size < kAclHeaderSize || size > length - offset) return false;
  acl->offset = offset;
  acl->size = size;
  acl->count = Le16(p + 4);
  // Every ACE must lie within the ACL's size.
  const size_t aclEnd = offset + size;
  size_t pos = offset + kAclHeaderSize;
  AceView ace;
  for (WORD i = 0; i < acl->count; ++i) {
    size_t next = 0;
    if (!ReadAce(b, pos, aclEnd, &ace, &next)) return false;
    pos = next;
  }
  return true;
}

bool ReadDescriptor(const void* sd, size_t length, DescriptorView* view) {
  if (sd == nullptr || length < kHeaderSize) return false;
  const BYTE* b = static_cast<const BYTE*>(sd);
  if (b[0] != 1) return false;
  view->control = Le16(b + 2);
  if ((view->control & SE_SELF_RELATIVE) == 0) return false;
  const DWORD owner = Le32(b + 4), group = Le32(b + 8), sacl = Le32(b + 12), dacl = Le32(b + 16);
  if (owner != 0) {
    if (owner < kHeaderSize) return false;
    view->ownerLength = SidLengthWithin(b, owner, length);
    if (view->ownerLength == 0) return false;
    view->ownerOffset = owner;
  }
  if (group != 0) {
    if (group < kHeaderSize) return false;
    view->groupLength = SidLengthWithin(b, group, length);
    if (view->groupLength == 0) return false;
    view->groupOffset = group;
  }
  return ReadAcl(b, length, (view->control & SE_DACL_PRESENT) != 0, dacl, &view->dacl) &&
         ReadAcl(b, length, (view->control & SE_SACL_PRESENT) != 0, sacl, &view->sacl);
}

// ------------------------------------------------------------ SDDL writing

constexpr char kHex[] = "0123456789abcdef";

// Writes value in decimal ending just before *end; returns the first digit.
char* Decimal(uint64_t value, char* end) {
  do {
    *--end = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  return end;
}

// "S-1-..." text of a SID already checked to fit; the same text as
// ConvertSidToStringSidA, made in one buffer.
void AppendSidText(const BYTE* sid, std::string* out) {
  char buf[4 + 2 + 12 + 15 * 11];
  char* p = buf;
  std::memcpy(p, "S-1-", 4);
  p += 4;
  uint64_t authority = 0;
  for (int i = 2; i < 8; ++i) authority = (authority << 8) | sid[i];
  if (authority >= 0x100000000ull) {
    static constexpr char kUpperHex[] = "0123456789ABCDEF";
    *p++ = '0';
    *p++ = 'x';
    for (int i = 2; i < 8; ++i) {
      *p++ = kUpperHex[sid[i] >> 4];
      *p++ = kUpperHex[sid[i] & 0xF];
    }
  } else {
    char digits[24];
    char* first = Decimal(authority, digits + sizeof digits);
    const size_t n = static_cast<size_t>(digits + sizeof digits - first);
    std::memcpy(p, first, n);
    p += n;
  }
  for (int i = 0; i < sid[1]; ++i) {
    *p++ = '-';
    char digits[12];
    char* first = Decimal(Le32(sid + kSidHeaderSize + 4 * i), digits + sizeof digits);
    const size_t n = static_cast<size_t>(digits + sizeof digits - first);
    std::memcpy(p, first, n);
    p += n;
  }
  out->append(buf, static_cast<size_t>(p - buf));
}

void AppendSid(const BYTE* sid, std::string* out) {
  if (const char* alias = MachineIndependentSddlAlias(sid, kSidHeaderSize + 4u * sid[1])) {
    out->append(alias);
  } else {
    AppendSidText(sid, out);
  }
}

// Lower-case dashed GUID text of 16 bytes in storage order (the first three
// groups little-endian).
void AppendGuid(const BYTE* g, std::string* out) {
  static constexpr int kOrder[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
  char buf[36];
  char* p = buf;
  for (int i = 0; i < 16; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) *p++ = '-';
    *p++ = kHex[g[kOrder[i]] >> 4];
    *p++ = kHex[g[kOrder[i]] & 0xF];
  }
  out->append(buf, sizeof buf);
}

struct Code {
  const char* text;
  DWORD bits;
};

// Generic rights first, then the directory and standard rights in bit order.
constexpr Code kRights[] = {
    {"GA", 0x10000000}, {"GR", 0x80000000}, {"GW", 0x40000000}, {"GX", 0x20000000},
    {"CC", 0x00000001}, {"DC", 0x00000002}, {"LC", 0x00000004}, {"SW", 0x00000008},
    {"RP", 0x00000010}, {"WP", 0x00000020}, {"DT", 0x00000040}, {"LO", 0x00000080},
    {"CR", 0x00000100}, {"SD", 0x00010000}, {"RC", 0x00020000}, {"WD", 0x00040000},
    {"WO", 0x00080000},
};
constexpr DWORD kCodedRights = 0xF00F01FF;

constexpr Code kAceFlags[] = {
    {"OI", 0x01}, {"CI", 0x02}, {"NP", 0x04}, {"IO", 0x08},
    {"ID", 0x10}, {"SA", 0x40}, {"FA", 0x80},
};
constexpr DWORD kCodedAceFlags = 0xDF;

const char* TypeCode(BYTE type) {
  switch (type) {
    case 0x00: return "A";
    case 0x01: return "D";
    case 0x02: return "AU";
    case 0x03: return "AL";
    case 0x05: return "OA";
    case 0x06: return "OD";
    case 0x07: return "OU";
    case 0x08: return "OL";
    default: return nullptr;
  }
}

void AppendRights(DWORD mask, std::string* out) {
  if ((mask & ~kCodedRights) != 0) {
    out->append("0x");
    bool started = false;
    for (int shift = 28; shift >= 0; shift -= 4) {
      const DWORD nibble = (mask >> shift) & 0xF;
      if (nibble != 0 || started || shift == 0) {
        out->push_back(kHex[nibble]);
        started = true;
      }
    }
    return;
  }
  out->append(AccessMaskCodes(mask, nullptr));
}

bool AppendAce(const AceView& ace, std::string* out) {
  const char* type = TypeCode(ace.type);
  if (type == nullptr || (ace.flags & ~kCodedAceFlags) != 0 ||
      (ace.objectFlags & ~(kObjectTypePresent | kInheritedObjectTypePresent)) != 0) {
    return false;
  }
  out->push_back('(');
  out->append(type);
  out->push_back(';');
  for (const Code& code : kAceFlags) {
    if (ace.flags & code.bits) out->append(code.text);
  }
  out->push_back(';');
  AppendRights(ace.mask, out);
  out->push_back(';');
  if (ace.objectType != nullptr) AppendGuid(ace.objectType, out);
  out->push_back(';');
  if (ace.inheritedObjectType != nullptr) AppendGuid(ace.inheritedObjectType, out);
  out->push_back(';');
  AppendSid(ace.sid, out);
  out->push_back(')');
  return true;
}

// The same ACEs recur in descriptor after descriptor: their text is made
// once, keyed on the ACE's bytes. The memo stops growing at its limit.
using AceMemo = std::unordered_map<std::string, std::string, BytesHash, std::equal_to<>>;
constexpr size_t kAceMemoLimit = 20000;

AceMemo& Memo() {
  static AceMemo memo;
  return memo;
}

bool AppendAcl(const BYTE* b, const AclView& acl, WORD control, bool isDacl, std::string* out) {
  out->append(isDacl ? "D:" : "S:");
  if (control & (isDacl ? SE_DACL_PROTECTED : SE_SACL_PROTECTED)) out->push_back('P');
  if (control & (isDacl ? SE_DACL_AUTO_INHERIT_REQ : SE_SACL_AUTO_INHERIT_REQ)) out->append("AR");
  if (control & (isDacl ? SE_DACL_AUTO_INHERITED : SE_SACL_AUTO_INHERITED)) out->append("AI");
  if (acl.isNull) {
    out->append("NO_ACCESS_CONTROL");
    return true;
  }
  const size_t aclEnd = acl.offset + acl.size;
  size_t pos = acl.offset + kAclHeaderSize;
  AceView ace;
  AceMemo& memo = Memo();
  for (WORD i = 0; i < acl.count; ++i) {
    size_t next = 0;
    if (!ReadAce(b, pos, aclEnd, &ace, &next)) return false;
    const std::string_view bytes(reinterpret_cast<const char*>(b + pos), next - pos);
    if (auto found = memo.find(bytes); found != memo.end()) {
      out->append(found->second);
    } else {
      const size_t start = out->size();
      if (!AppendAce(ace, out)) return false;
      if (memo.size() < kAceMemoLimit) memo.emplace(bytes, out->substr(start));
    }
    pos = next;
  }
  return true;
}

size_t RoundUp4(size_t n) { return (n + 3) & ~static_cast<size_t>(3); }

}  // namespace

std::string AccessMaskCodes(DWORD mask, DWORD* rest) {
  std::string codes;
  for (const Code& code : kRights) {
    if ((mask & code.bits) == 0) continue;
    codes.append(code.text);
    mask &= ~code.bits;
  }
  if (rest != nullptr) *rest = mask;
  return codes;
}

BOOL IsValidSecurityDescriptor(const void* sd, size_t length) {
  DescriptorView view;
  return ReadDescriptor(sd, length, &view);
}

DWORD GetSecurityDescriptorLength(const void* sd, size_t length) {
  DescriptorView view;
  if (!ReadDescriptor(sd, length, &view)) {
    SetLastError(ERROR_INVALID_SECURITY_DESCR);
    return 0;
  }
  size_t total = kHeaderSize + RoundUp4(view.ownerLength) + RoundUp4(view.groupLength);
  if (!view.dacl.isNull) total += RoundUp4(view.dacl.size);
  if (!view.sacl.isNull) total += RoundUp4(view.sacl.size);
  return static_cast<DWORD>(total);
}

BOOL GetSecurityDescriptorOwner(const void* sd, size_t length, const void** owner,
                                DWORD* ownerLength, BOOL* defaulted) {
  if (sd == nullptr || owner == nullptr || length < kHeaderSize) {
    SetLastError(ERROR_INVALID_SECURITY_DESCR);
    return false;
  }
  const BYTE* b = static_cast<const BYTE*>(sd);
  const WORD control = Le16(b + 2);
  if (b[0] != 1 || (control & SE_SELF_RELATIVE) == 0) {
    SetLastError(ERROR_INVALID_SECURITY_DESCR);
    return false;
  }
  const DWORD offset = Le32(b + 4);
  size_t sidLength = 0;
  if (offset != 0) {
    sidLength = offset < kHeaderSize ? 0 : SidLengthWithin(b, offset, length);
    if (sidLength == 0) {
      SetLastError(ERROR_INVALID_SECURITY_DESCR);
      return false;
    }
  }
  *owner = offset == 0 ? nullptr : b + offset;
  if (ownerLength != nullptr) *ownerLength = static_cast<DWORD>(sidLength);
  if (defaulted != nullptr) *defaulted = (control & SE_OWNER_DEFAULTED) != 0;
  return true;
}

BOOL ConvertSecurityDescriptorToStringSecurityDescriptorA(const void* sd, size_t length,
                                                          DWORD revision, DWORD information,
                                                          std::string* text) {
  if (text == nullptr || revision != SDDL_REVISION_1) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  DescriptorView view;
  if (!ReadDescriptor(sd, length, &view)) {
    SetLastError(ERROR_INVALID_SECURITY_DESCR);
    return false;
  }
  const BYTE* b = static_cast<const BYTE*>(sd);
  std::string out;
  out.reserve(length * 2);
  if ((information & OWNER_SECURITY_INFORMATION) && view.ownerLength != 0) {
    out.append("O:");
    AppendSid(b + view.ownerOffset, &out);
  }
  if ((information & GROUP_SECURITY_INFORMATION) && view.groupLength != 0) {
    out.append("G:");
    AppendSid(b + view.groupOffset, &out);
  }
  if ((information & DACL_SECURITY_INFORMATION) && view.dacl.present &&
      !AppendAcl(b, view.dacl, view.control, true, &out)) {
    SetLastError(ERROR_INVALID_ACL);
    return false;
  }
  if ((information & SACL_SECURITY_INFORMATION) && view.sacl.present &&
      !AppendAcl(b, view.sacl, view.control, false, &out)) {
    SetLastError(ERROR_INVALID_ACL);
    return false;
  }
  *text = std::move(out);
  return true;
}

}  // namespace plat
