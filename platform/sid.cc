#include "platform/sid.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string_view>
#include <unordered_map>

#include "platform/last_error.h"

namespace plat {
namespace {

constexpr size_t kHeaderSize = 8;

const BYTE* Bytes(const void* sid) { return static_cast<const BYTE*>(sid); }

uint64_t Authority(const BYTE* b) {
  uint64_t value = 0;
  for (int i = 2; i < 8; ++i) value = (value << 8) | b[i];
  return value;
}

DWORD SubAuthority(const BYTE* b, int index) {
  const BYTE* p = b + kHeaderSize + 4 * index;
  return static_cast<DWORD>(p[0]) | static_cast<DWORD>(p[1]) << 8 |
         static_cast<DWORD>(p[2]) << 16 | static_cast<DWORD>(p[3]) << 24;
}

std::vector<BYTE> BuildSid(uint64_t authority, const std::vector<DWORD>& subs) {
  std::vector<BYTE> sid(kHeaderSize + 4 * subs.size());
  sid[0] = SID_REVISION;
  sid[1] = static_cast<BYTE>(subs.size());
  for (int i = 7; i >= 2; --i) {
    sid[i] = static_cast<BYTE>(authority & 0xFF);
    authority >>= 8;
  }
  for (size_t i = 0; i < subs.size(); ++i) {
    for (int k = 0; k < 4; ++k) {
      sid[kHeaderSize + 4 * i + k] = static_cast<BYTE>(subs[i] >> (8 * k));
    }
  }
  return sid;
}

// Reads an unsigned decimal number of at most maxValue from text at pos.
// Needs at least one digit; stops at the first non-digit.
bool ReadDecimal(const char* text, size_t* pos, uint64_t maxValue, uint64_t* out) {
  size_t p = *pos;
  uint64_t value = 0;
  if (!std::isdigit(static_cast<unsigned char>(text[p]))) return false;
  while (std::isdigit(static_cast<unsigned char>(text[p]))) {
    value = value * 10 + static_cast<uint64_t>(text[p] - '0');
    if (value > maxValue) return false;
    ++p;
  }
  *pos = p;
  *out = value;
  return true;
}

bool ReadHexAuthority(const char* text, size_t* pos, uint64_t* out) {
  size_t p = *pos;
  uint64_t value = 0;
  int digits = 0;
  while (std::isxdigit(static_cast<unsigned char>(text[p]))) {
    if (++digits > 12) return false;
    char c = static_cast<char>(std::tolower(static_cast<unsigned char>(text[p])));
    value = value * 16 + static_cast<uint64_t>(c <= '9' ? c - '0' : c - 'a' + 10);
    ++p;
  }
  if (digits == 0) return false;
  *pos = p;
  *out = value;
  return true;
}

// Parses "S-1-<authority>(-<sub>)*" strictly: nothing may follow.
bool ParseSidText(const char* text, std::vector<BYTE>* sid) {
  if ((text[0] != 'S' && text[0] != 's') || text[1] != '-') return false;
  size_t pos = 2;
  uint64_t revision = 0;
  if (!ReadDecimal(text, &pos, 255, &revision) || revision != SID_REVISION) return false;
  if (text[pos] != '-') return false;
  ++pos;
  uint64_t authority = 0;
  if (text[pos] == '0' && (text[pos + 1] == 'x' || text[pos + 1] == 'X')) {
    pos += 2;
    if (!ReadHexAuthority(text, &pos, &authority)) return false;
  } else if (!ReadDecimal(text, &pos, 0xFFFFFFFFFFFFull, &authority)) {
    return false;
  }
  std::vector<DWORD> subs;
  while (text[pos] == '-') {
    ++pos;
    uint64_t sub = 0;
    if (subs.size() == SID_MAX_SUB_AUTHORITIES ||
        !ReadDecimal(text, &pos, 0xFFFFFFFFull, &sub)) {
      return false;
    }
    subs.push_back(static_cast<DWORD>(sub));
  }
  if (text[pos] != '\0') return false;
  *sid = BuildSid(authority, subs);
  return true;
}

struct Alias {
  const char* name;
  const char* sid;  // a full SID, or "-<rid>" relative to the domain SID
};

constexpr Alias kAliases[] = {
    {"AA", "S-1-5-32-579"}, {"AC", "S-1-15-2-1"},   {"AN", "S-1-5-7"},
    {"AO", "S-1-5-32-548"}, {"AP", "-525"},         {"AS", "S-1-18-1"},
    {"AU", "S-1-5-11"},     {"BA", "S-1-5-32-544"}, {"BG", "S-1-5-32-546"},
    {"BO", "S-1-5-32-551"}, {"BU", "S-1-5-32-545"}, {"CA", "-517"},
    {"CD", "S-1-5-32-574"}, {"CG", "S-1-3-1"},      {"CN", "-522"},
    {"CO", "S-1-3-0"},      {"CY", "S-1-5-32-569"}, {"DA", "-512"},
    {"DC", "-515"},         {"DD", "-516"},         {"DG", "-514"},
    {"DU", "-513"},         {"EA", "-519"},         {"ED", "S-1-5-9"},
    {"EK", "-527"},         {"ER", "S-1-5-32-573"}, {"ES", "S-1-5-32-576"},
    {"HA", "S-1-5-32-578"}, {"HI", "S-1-16-12288"}, {"IS", "S-1-5-32-568"},
    {"IU", "S-1-5-4"},      {"KA", "-526"},         {"LA", "-500"},
    {"LG", "-501"},         {"LS", "S-1-5-19"},     {"LU", "S-1-5-32-559"},
    {"LW", "S-1-16-4096"},  {"ME", "S-1-16-8192"},  {"MP", "S-1-16-8448"},
    {"MS", "S-1-5-32-577"}, {"MU", "S-1-5-32-558"}, {"NO", "S-1-5-32-556"},
    {"NS", "S-1-5-20"},     {"NU", "S-1-5-2"},      {"OW", "S-1-3-4"},
    {"PA", "-520"},         {"PO", "S-1-5-32-550"}, {"PS", "S-1-5-10"},
    {"PU", "S-1-5-32-547"}, {"RA", "S-1-5-32-575"}, {"RC", "S-1-5-12"},
    {"RD", "S-1-5-32-555"}, {"RE", "S-1-5-32-552"}, {"RM", "S-1-5-32-580"},
    {"RO", "-498"},         {"RS", "-553"},         {"RU", "S-1-5-32-554"},
    {"SA", "-518"},         {"SI", "S-1-16-16384"}, {"SO", "S-1-5-32-549"},
    {"SS", "S-1-18-2"},     {"SU", "S-1-5-6"},      {"SY", "S-1-5-18"},
    {"WD", "S-1-1-0"},      {"WR", "S-1-5-33"},
};

std::string g_domainSid;

// Resolves an SDDL two-letter alias; false when the text is none, or names a
// domain-relative group while no domain SID is known.
bool ParseAlias(const char* text, std::vector<BYTE>* sid) {
  if (std::strlen(text) != 2) return false;
  char name[3] = {static_cast<char>(std::toupper(static_cast<unsigned char>(text[0]))),
                  static_cast<char>(std::toupper(static_cast<unsigned char>(text[1]))),
                  '\0'};
  for (const Alias& alias : kAliases) {
    if (std::strcmp(alias.name, name) != 0) continue;
    if (alias.sid[0] != '-') return ParseSidText(alias.sid, sid);
    if (g_domainSid.empty()) return false;
    return ParseSidText((g_domainSid + alias.sid).c_str(), sid);
  }
  return false;
}

}  // namespace

BOOL IsValidSid(const void* sid) {
  if (sid == nullptr) return false;
  const BYTE* b = Bytes(sid);
  return b[0] == SID_REVISION && b[1] <= SID_MAX_SUB_AUTHORITIES;
}

BOOL IsValidSid(const void* sid, size_t length) {
  if (sid == nullptr || length < kHeaderSize) return false;
  const BYTE* b = Bytes(sid);
  return b[0] == SID_REVISION && b[1] <= SID_MAX_SUB_AUTHORITIES &&
         length >= kHeaderSize + 4u * b[1];
}

DWORD GetLengthSid(const void* sid) {
  if (!IsValidSid(sid)) return 0;
  return static_cast<DWORD>(kHeaderSize + 4u * Bytes(sid)[1]);
}

BOOL ConvertSidToStringSidA(const void* sid, std::string* text) {
  if (!IsValidSid(sid)) {
    SetLastError(ERROR_INVALID_SID);
    return false;
  }
  return ConvertSidToStringSidA(sid, GetLengthSid(sid), text);
}

BOOL ConvertSidToStringSidA(const void* sid, size_t length, std::string* text) {
  if (text == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  if (!IsValidSid(sid, length)) {
    SetLastError(ERROR_INVALID_SID);
    return false;
  }
  const BYTE* b = Bytes(sid);
  // Written digit by digit: SIDs are converted by the thousand per page.
  char buf[4 + 14 + 11 * 15];  // "S-1-", the authority, 15 sub-authorities
  char* out = buf;
  auto decimal = [&out](uint32_t v) {
    char digits[10];
    int n = 0;
    do {
      digits[n++] = static_cast<char>('0' + v % 10);
      v /= 10;
    } while (v != 0);
    while (n > 0) *out++ = digits[--n];
  };
  std::memcpy(out, "S-1-", 4);
  out += 4;
  const uint64_t authority = Authority(b);
  if (authority >= 0x100000000ull) {
    static const char kHex[] = "0123456789ABCDEF";
    *out++ = '0';
    *out++ = 'x';
    for (int i = 2; i < 8; ++i) {
      *out++ = kHex[b[i] >> 4];
      *out++ = kHex[b[i] & 0x0F];
    }
  } else {
    decimal(static_cast<uint32_t>(authority));
  }
  for (int i = 0; i < b[1]; ++i) {
    *out++ = '-';
    decimal(SubAuthority(b, i));
  }
  text->assign(buf, static_cast<size_t>(out - buf));
  return true;
}

BOOL ConvertStringSidToSidA(const char* text, std::vector<BYTE>* sid) {
  if (text == nullptr || sid == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  std::vector<BYTE> parsed;
  if (!ParseAlias(text, &parsed) && !ParseSidText(text, &parsed)) {
    SetLastError(ERROR_INVALID_SID);
    return false;
  }
  *sid = std::move(parsed);
  return true;
}

const char* MachineIndependentSddlAlias(const void* sid, size_t length) {
  // Binary forms of the aliases; the keys view into the stored bytes.
  struct Table {
    std::vector<std::vector<BYTE>> bytes;
    std::unordered_map<std::string_view, const char*> byBytes;
  };
  static const Table table = [] {
    Table t;
    t.bytes.reserve(std::size(kAliases));
    for (const Alias& alias : kAliases) {
      std::vector<BYTE> parsed;
      if (alias.sid[0] == '-' || !ParseSidText(alias.sid, &parsed)) continue;
      t.bytes.push_back(std::move(parsed));
      const std::vector<BYTE>& b = t.bytes.back();
      t.byBytes.emplace(std::string_view(reinterpret_cast<const char*>(b.data()), b.size()),
                        alias.name);
    }
    return t;
  }();
  auto found = table.byBytes.find(std::string_view(static_cast<const char*>(sid), length));
  return found == table.byBytes.end() ? nullptr : found->second;
}

bool SetSddlDomainSid(const std::string& domainSidText) {
  if (domainSidText.empty()) {
    g_domainSid.clear();
    return true;
  }
  std::vector<BYTE> parsed;
  if (!ParseSidText(domainSidText.c_str(), &parsed)) return false;
  std::string canonical;
  ConvertSidToStringSidA(parsed.data(), parsed.size(), &canonical);
  g_domainSid = canonical;
  return true;
}

}  // namespace plat
