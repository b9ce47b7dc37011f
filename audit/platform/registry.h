// The registry functions over a small file store.
//
// A key is a folder under the registry root (AUDIT_REGISTRY_DIR, default
// /var/lib/audit/registry, writable by root only), HKEY_LOCAL_MACHINE being
// its folder "HKEY_LOCAL_MACHINE"; a value is a file in its key's folder
// holding the value's type (4 bytes, little-endian) and then its data. The
// functions return Windows error codes, as the platform's do.
#pragma once

#include <string>

#include "audit/platform/win_defs.h"

namespace plat {

struct RegKey;
using HKEY = RegKey*;

extern const HKEY HKEY_LOCAL_MACHINE;

using REGSAM = DWORD;
constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_READ = 0x20019;
constexpr REGSAM KEY_WRITE = 0x20006;
constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;

constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

// The registry root folder: AUDIT_REGISTRY_DIR, or /var/lib/audit/registry.
std::string RegistryRoot();

LONG RegOpenKeyExA(HKEY key, const char* subKey, DWORD options, REGSAM access, HKEY* result);
LONG RegCreateKeyExA(HKEY key, const char* subKey, DWORD reserved, char* keyClass,
                     DWORD options, REGSAM access, const void* security, HKEY* result,
                     DWORD* disposition);
// Reads a value: with data NULL only its size; ERROR_MORE_DATA (and the size
// needed) when *size is too small; ERROR_FILE_NOT_FOUND when it is missing.
LONG RegQueryValueExA(HKEY key, const char* valueName, DWORD* reserved, DWORD* type,
                      BYTE* data, DWORD* size);
LONG RegSetValueExA(HKEY key, const char* valueName, DWORD reserved, DWORD type,
                    const BYTE* data, DWORD size);
LONG RegCloseKey(HKEY key);

}  // namespace plat
