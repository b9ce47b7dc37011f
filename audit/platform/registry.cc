#include "audit/platform/registry.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "audit/platform/crt_dirs.h"

namespace plat {

struct RegKey {
  std::string folder;   // empty for the predefined root key
  bool predefined = false;
  REGSAM access = 0;
};

namespace {

RegKey g_localMachine{"", true, KEY_ALL_ACCESS};

// Values larger than this are not the store's business.
constexpr size_t kMaxValueSize = 1 << 20;

std::string FolderOf(HKEY key) {
  if (key == HKEY_LOCAL_MACHINE) return RegistryRoot() + "/HKEY_LOCAL_MACHINE";
  return key->folder;
}

// A key or value name is one or more names separated by backslashes; none
// may be empty, "." or "..", or hold a slash.
bool SplitNames(const char* text, std::vector<std::string>* names) {
  names->clear();
  if (!text) return true;
  std::string cur;
  std::string s(text);
  for (size_t i = 0; i <= s.size(); ++i) {
    if (i == s.size() || s[i] == '\\') {
      if (!cur.empty()) {
        if (cur == "." || cur == "..") return false;
        names->push_back(cur);
      }
      cur.clear();
    } else if (s[i] == '/' || s[i] == '\0') {
      return false;
    } else {
      cur += s[i];
    }
  }
  return true;
}

bool ValidValueName(const char* name) {
  if (!name) return true;  // the key's default value
  std::string s(name);
  return s != "." && s != ".." && s.find('/') == std::string::npos;
}

std::string ValueFile(HKEY key, const char* name) {
  std::string n = (name && *name) ? name : "(Default)";
  return FolderOf(key) + "/" + n;
}

bool IsDir(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

LONG FromErrno(int err) { return static_cast<LONG>(ErrnoToWinError(err)); }

// A key opened for writing needs a folder this process may write into.
LONG CheckAccess(const std::string& folder, REGSAM access) {
  int how = X_OK;
  if (access & (KEY_QUERY_VALUE)) how |= R_OK;
  if (access & (KEY_SET_VALUE | KEY_CREATE_SUB_KEY)) how |= W_OK;
  return ::access(folder.c_str(), how) == 0 ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

// The hive's own folders always exist on the platform; here they are made
// on first use when the store may be written.
void EnsureHive(const std::vector<std::string>& names) {
  std::string root = RegistryRoot();
  std::string path;
  for (char c : root) {
    path += c;
    if (c == '/' && path.size() > 1) ::mkdir(path.c_str(), 0755);
  }
  ::mkdir(root.c_str(), 0755);
  std::string hive = root + "/HKEY_LOCAL_MACHINE";
  ::mkdir(hive.c_str(), 0755);
  if (!names.empty() && names[0] == "Software") ::mkdir((hive + "/Software").c_str(), 0755);
}

HKEY NewKey(const std::string& folder, REGSAM access) {
  auto* k = new RegKey;
  k->folder = folder;
  k->access = access;
  return k;
}

}  // namespace

const HKEY HKEY_LOCAL_MACHINE = &g_localMachine;

std::string RegistryRoot() {
  return EnvFolder("AUDIT_REGISTRY_DIR", "/var/lib/audit/registry");
}

LONG RegOpenKeyExA(HKEY key, const char* subKey, DWORD, REGSAM access, HKEY* result) {
  if (!key || !result) return ERROR_INVALID_HANDLE;
  *result = nullptr;
  std::vector<std::string> names;
  if (!SplitNames(subKey, &names)) return ERROR_INVALID_NAME;
  if (key == HKEY_LOCAL_MACHINE) EnsureHive(names);
  std::string folder = FolderOf(key);
  for (const auto& n : names) folder += "/" + n;
  if (!IsDir(folder)) return ERROR_FILE_NOT_FOUND;
  LONG rc = CheckAccess(folder, access);
  if (rc != ERROR_SUCCESS) return rc;
  *result = NewKey(folder, access);
  return ERROR_SUCCESS;
}

LONG RegCreateKeyExA(HKEY key, const char* subKey, DWORD, char*, DWORD, REGSAM access,
                     const void*, HKEY* result, DWORD* disposition) {
  if (!key || !result) return ERROR_INVALID_HANDLE;
  *result = nullptr;
  std::vector<std::string> names;
  if (!SplitNames(subKey, &names)) return ERROR_INVALID_NAME;
  if (key == HKEY_LOCAL_MACHINE) EnsureHive(names);
  std::string folder = FolderOf(key);
  if (!IsDir(folder)) return ERROR_FILE_NOT_FOUND;
  if (key != HKEY_LOCAL_MACHINE && !names.empty() && !(key->access & KEY_CREATE_SUB_KEY))
    return ERROR_ACCESS_DENIED;
  bool created = false;
  for (const auto& n : names) {
    folder += "/" + n;
    if (::mkdir(folder.c_str(), 0755) == 0) {
      created = true;
    } else if (errno != EEXIST || !IsDir(folder)) {
      return FromErrno(errno == EEXIST ? ENOTDIR : errno);
    }
  }
  LONG rc = CheckAccess(folder, access);
  if (rc != ERROR_SUCCESS) return rc;
  if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  *result = NewKey(folder, access);
  return ERROR_SUCCESS;
}

LONG RegQueryValueExA(HKEY key, const char* valueName, DWORD*, DWORD* type, BYTE* data,
                      DWORD* size) {
  if (!key || key == HKEY_LOCAL_MACHINE) return ERROR_INVALID_HANDLE;
  if (!(key->access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
  if (!ValidValueName(valueName)) return ERROR_FILE_NOT_FOUND;
  if (data && !size) return ERROR_INVALID_PARAMETER;
  // Only a regular file holds a value. Opening never waits (a FIFO would
  // wait for a writer), and anything else is refused unread.
  int fd = ::open(ValueFile(key, valueName).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return errno == ENOENT ? ERROR_FILE_NOT_FOUND : FromErrno(errno);
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return ERROR_READ_FAULT;
  }
  std::vector<BYTE> content;
  BYTE buf[4096];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      int err = errno;
      ::close(fd);
      return FromErrno(err);
    }
    if (n == 0) break;
    content.insert(content.end(), buf, buf + n);
    if (content.size() > kMaxValueSize + 4) break;
  }
  ::close(fd);
  if (content.size() < 4 || content.size() > kMaxValueSize + 4) return ERROR_READ_FAULT;
  DWORD storedType = content[0] | (content[1] << 8) | (content[2] << 16) |
                     (static_cast<DWORD>(content[3]) << 24);
  DWORD dataSize = static_cast<DWORD>(content.size() - 4);
  if (type) *type = storedType;
  if (!size) return ERROR_SUCCESS;
  DWORD room = *size;
  *size = dataSize;
  if (!data) return ERROR_SUCCESS;
  if (dataSize > room) return ERROR_MORE_DATA;
  if (dataSize) std::memcpy(data, content.data() + 4, dataSize);
  return ERROR_SUCCESS;
}

LONG RegSetValueExA(HKEY key, const char* valueName, DWORD, DWORD type, const BYTE* data,
                    DWORD size) {
  if (!key || key == HKEY_LOCAL_MACHINE) return ERROR_INVALID_HANDLE;
  if (!(key->access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
  if (!ValidValueName(valueName)) return ERROR_INVALID_NAME;
  if ((size && !data) || size > kMaxValueSize) return ERROR_INVALID_PARAMETER;
  std::vector<BYTE> content = {static_cast<BYTE>(type), static_cast<BYTE>(type >> 8),
                               static_cast<BYTE>(type >> 16), static_cast<BYTE>(type >> 24)};
  if (size) content.insert(content.end(), data, data + size);

  // Written beside the value and renamed over it, so a value is always whole.
  std::string file = ValueFile(key, valueName);
  std::string temp = key->folder + "/.value.XXXXXX";
  std::vector<char> name(temp.begin(), temp.end());
  name.push_back('\0');
  int fd = ::mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) return FromErrno(errno);
  size_t done = 0;
  while (done < content.size()) {
    ssize_t n = ::write(fd, content.data() + done, content.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      int err = errno;
      ::close(fd);
      ::unlink(name.data());
      return FromErrno(err);
    }
    done += static_cast<size_t>(n);
  }
  if (::fchmod(fd, 0644) != 0 || ::fsync(fd) != 0 || ::close(fd) != 0) {
    int err = errno;
    ::unlink(name.data());
    return FromErrno(err);
  }
  if (std::rename(name.data(), file.c_str()) != 0) {
    int err = errno;
    ::unlink(name.data());
    return FromErrno(err);
  }
  return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY key) {
  if (!key) return ERROR_INVALID_HANDLE;
  if (key != HKEY_LOCAL_MACHINE) delete key;
  return ERROR_SUCCESS;
}

}  // namespace plat
