#include "audit/platform/crt_dirs.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

namespace plat {

namespace {

bool IsDriveLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// Refuses deleting or replacing a file that has no write permission for its
// owner, as the platform refuses read-only files.
bool IsReadOnlyFile(const std::string& linuxPath) {
  struct stat st;
  if (lstat(linuxPath.c_str(), &st) != 0) return false;
  return S_ISREG(st.st_mode) && (st.st_mode & S_IWUSR) == 0;
}

}  // namespace

std::string EnvFolder(const char* variable, const char* fallback) {
  const char* env = std::getenv(variable);
  std::string folder = (env && *env) ? env : fallback;
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

std::string DriveRoot() { return EnvFolder("AUDIT_DRIVE_ROOT", "/mnt"); }

std::string ToLinuxPath(const std::string& winPath) {
  std::string out;
  if (winPath.size() >= 2 && IsDriveLetter(winPath[0]) && winPath[1] == ':') {
    // A drive path stays inside its drive's folder: as on the platform, ".."
    // at the drive's root names the root itself.
    out = DriveRoot() + "/" +
          static_cast<char>(std::tolower(static_cast<unsigned char>(winPath[0])));
    std::vector<std::string> names;
    std::string name;
    for (size_t i = 2; i <= winPath.size(); ++i) {
      if (i < winPath.size() && winPath[i] != '\\' && winPath[i] != '/') {
        name += winPath[i];
        continue;
      }
      if (name == "..") {
        if (!names.empty()) names.pop_back();
      } else if (!name.empty() && name != ".") {
        names.push_back(name);
      }
      name.clear();
    }
    for (const std::string& n : names) out += "/" + n;
    // A folder keeps its final separator; the drive's root always has one.
    char last = winPath.back();
    if (winPath.size() > 2 && (names.empty() || last == '\\' || last == '/')) out += '/';
    return out;
  }
  for (char c : winPath) out += (c == '\\') ? '/' : c;
  return out;
}

std::string ToWindowsPath(const std::string& linuxPath) {
  std::string root = DriveRoot() + "/";
  if (linuxPath.size() > root.size() && linuxPath.compare(0, root.size(), root) == 0 &&
      IsDriveLetter(linuxPath[root.size()]) &&
      std::islower(static_cast<unsigned char>(linuxPath[root.size()])) &&
      (linuxPath.size() == root.size() + 1 || linuxPath[root.size() + 1] == '/')) {
    std::string out;
    out.reserve(linuxPath.size() - root.size() + 2);
    out.push_back(linuxPath[root.size()]);
    out.push_back(':');
    if (linuxPath.size() == root.size() + 1) out.push_back('\\');
    for (size_t i = root.size() + 1; i < linuxPath.size(); ++i)
      out.push_back(linuxPath[i] == '/' ? '\\' : linuxPath[i]);
    return out;
  }
  std::string out;
  for (char c : linuxPath) out += (c == '/') ? '\\' : c;
  return out;
}

char* _strdate(char* buffer) {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  unsigned month = static_cast<unsigned>(local.tm_mon + 1) % 100u;
  unsigned day = static_cast<unsigned>(local.tm_mday) % 100u;
  unsigned year = static_cast<unsigned>(local.tm_year) % 100u;
  char text[16];
  std::snprintf(text, sizeof text, "%02u/%02u/%02u", month, day, year);
  std::memcpy(buffer, text, 9);
  return buffer;
}

unsigned long _getdrives() {
  unsigned long mask = 0;
  std::string root = DriveRoot();
  for (int i = 0; i < 26; ++i) {
    std::string folder = root + "/" + static_cast<char>('a' + i);
    struct stat st;
    if (stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) mask |= 1ul << i;
  }
  return mask;
}

int _access(const std::string& path, int mode) {
  if (path.empty()) {
    errno = ENOENT;
    return -1;
  }
  int how = F_OK;
  if (mode & 2) how |= W_OK;
  if (mode & 4) how |= R_OK;
  return ::access(ToLinuxPath(path).c_str(), how) == 0 ? 0 : -1;
}

int _mkdir(const std::string& path) {
  if (path.empty()) {
    errno = ENOENT;
    return -1;
  }
  return ::mkdir(ToLinuxPath(path).c_str(), 0777) == 0 ? 0 : -1;
}

int remove(const std::string& path) {
  std::string p = ToLinuxPath(path);
  struct stat st;
  if (lstat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    errno = EACCES;  // the runtime's remove deletes files only
    return -1;
  }
  if (IsReadOnlyFile(p)) {
    errno = EACCES;
    return -1;
  }
  return ::unlink(p.c_str()) == 0 ? 0 : -1;
}

int rename(const std::string& from, const std::string& to) {
  std::string target = ToLinuxPath(to);
  struct stat st;
  if (IsReadOnlyFile(target) || (lstat(target.c_str(), &st) == 0 && S_ISDIR(st.st_mode))) {
    errno = EACCES;
    return -1;
  }
  return std::rename(ToLinuxPath(from).c_str(), target.c_str()) == 0 ? 0 : -1;
}

}  // namespace plat
