#include "structured/sid_guid_text.h"

#include <vector>

#include "common/console_services.h"
#include "common/process_state.h"
#include "common/string_util.h"
#include "directory/guid_text.h"
#include "directory/sid_account_lookup.h"
#include "directory/root_dse.h"
#include "platform/sid.h"
#include "platform/win_types.h"

namespace {

std::string Hex(const void* data, size_t length) {
  return BytesToHex(static_cast<const BYTE*>(data), static_cast<int>(length));
}

bool StartsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

}  // namespace

std::string GuidToText(const void* guid) {
  if (g_GuidBinaryOut) return Hex(guid, 16);
  return GuidToString(static_cast<const GUID*>(guid));
}

std::string GuidToText(const void* value, size_t length) {
  if (length != 16) return Hex(value, length);
  return GuidToText(value);
}

std::string SidToText(const void* sid) {
  if (!plat::IsValidSid(sid)) return "";
  return SidToText(sid, plat::GetLengthSid(sid));
}

std::string SidToText(const void* value, size_t length) {
  if (!plat::IsValidSid(value, length)) return Hex(value, length);
  const DWORD sidLength = plat::GetLengthSid(value);
  if (g_SidBinaryOut) return Hex(value, sidLength);
  std::string text;
  if (!plat::ConvertSidToStringSidA(value, sidLength, &text)) return Hex(value, length);
  return ResolveSidName(std::move(text), value);
}

std::string ResolveSidName(std::string sidText, const void* sid) {
  if (!g_ResolveSids) return sidText;
  auto cached = g_SidNameCache.find(sidText);
  if (cached != g_SidNameCache.end()) return cached->second;

  // Directories that answer "<SID=...>" DNs: application-mode instances always,
  // others that announce it only when asked to (-resolvesidsldap).
  if (g_RootDse != nullptr && g_LdapSession != nullptr &&
      (g_RootDse->isADAM || (g_ResolveSidsViaLdap && g_RootDse->isADV51))) {
    std::string dn;
    if (LookupSidDnInDirectory(g_LdapSession, sidText, &dn) && dn.find("<SID=") == std::string::npos) {
      g_SidNameCache[sidText] = dn;
      return dn;
    }
  }

  std::vector<BYTE> made;
  if (sid == nullptr) {
    if (!plat::ConvertStringSidToSidA(sidText.c_str(), &made)) return sidText;
    sid = made.data();
  }

  std::string current = sidText;
  std::string name;
  if (SidToAccountName(g_SidLookupServer, sid, &name) == 1) {
    g_SidNameCache[sidText] = name;
    current = name;
  }

  // Logon sessions are S-1-5-5-x-y; S-1-5-50 and above are other SIDs.
  if (StartsWith(current, "S-1-5-5-")) {
    std::string label = "Logon Session (" + current + ")";
    g_SidNameCache[current] = label;
    return label;
  }
  if (StartsWith(current, "S-1") && current.find("S-1-5-21") == std::string::npos) {
    std::string localName;
    if (SidToAccountName("", sid, &localName) == 1) {
      g_SidNameCache[current] = localName;
      current = localName;
    }
  }
  return current;
}
