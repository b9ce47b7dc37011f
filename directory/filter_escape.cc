#include "directory/filter_escape.h"

#include <vector>

#include "directory/connection.h"
#include "platform/ldap_client.h"
#include "platform/sid.h"

namespace {

constexpr char kGuidError[] = "ERROR: Couldn't convert GUID\n";
constexpr char kSidError[] = "ERROR: Couldn't convert SID to LDAP String.\n";

// Escapes count bytes into a buffer of bufferSize; on failure reports it and
// returns the caller's error text.
std::string Escape(const BYTE* bytes, ULONG count, ULONG bufferSize, const char* errorText) {
  std::vector<char> buffer(bufferSize, '\0');
  ULONG rc = plat::ldap_escape_filter_element(reinterpret_cast<const char*>(bytes), count,
                                              buffer.data(), bufferSize);
  if (rc != 0) {
    PrintLdapError("ldap_escape_filter_element", "", static_cast<int>(rc), nullptr);
    return errorText;
  }
  return std::string(buffer.data());
}

}  // namespace

std::string GuidToFilterValue(const GUID* guid) {
  return Escape(reinterpret_cast<const BYTE*>(guid), 16, 49, kGuidError);
}

std::string SidToFilterValue(const void* sid) {
  // An invalid SID has length 0 and gives an empty value.
  DWORD length = sid == nullptr ? 0 : plat::GetLengthSid(sid);
  return Escape(static_cast<const BYTE*>(sid), length, 1024, kSidError);
}

std::string BinaryToFilterValue(const BYTE* bytes, int length) {
  ULONG count = length > 0 ? static_cast<ULONG>(length) : 0;
  return Escape(bytes, count, 3 * count + 1, kSidError);
}
