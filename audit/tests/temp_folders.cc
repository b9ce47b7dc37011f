#include "audit/tests/temp_folders.h"

#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace audit_test {

TempFolders::TempFolders() {
  const char* tmp = std::getenv("TMPDIR");
  std::string base = std::string(tmp && *tmp ? tmp : "/tmp") + "/audit_test.XXXXXX";
  if (!mkdtemp(base.data())) throw std::runtime_error("mkdtemp failed");
  root = base;
  chmod(root.c_str(), 0755);
  logs = root + "/logs";
  registry = root + "/registry";
  drives = root + "/drives";
  for (const auto& d : {logs, registry, drives}) {
    mkdir(d.c_str(), 0777);
    chmod(d.c_str(), 0777);
  }
  setenv("AUDIT_LOG_DIR", logs.c_str(), 1);
  setenv("AUDIT_REGISTRY_DIR", registry.c_str(), 1);
  setenv("AUDIT_DRIVE_ROOT", drives.c_str(), 1);
}

TempFolders::~TempFolders() {
  std::error_code ec;
  std::filesystem::remove_all(root, ec);
}

std::string TempFolders::LogPath(const std::string& logName) const {
  if (logName == "System") return logs + "/syslog";
  if (logName == "Application") return logs + "/user.log";
  return logs + "/auth.log";
}

void TempFolders::WriteLogs(const std::string& tag) {
  WriteFile(LogPath("System"), "Dec  9 04:00:01 host kernel: system record " + tag + "\n");
  WriteFile(LogPath("Application"), "Dec  9 04:00:02 host app[12]: application record " + tag +
                                        "\n" + std::string(100000, 'a') + "\n");
  WriteFile(LogPath("Security"), "Dec  9 04:00:03 host sshd[7]: security record " + tag + "\n");
}

std::string TempFolders::MakeDrive(char letter) const {
  std::string d = drives + "/" + letter;
  mkdir(d.c_str(), 0777);
  chmod(d.c_str(), 0777);
  return d;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
}

void AppendFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::app);
  out << content;
}

bool Exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

unsigned FileMode(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return 0;
  return st.st_mode & 07777;
}

Unprivileged::Unprivileged() {
  if (geteuid() == 0) {
    setfsuid(65534);
    setfsgid(65534);
    switched_ = true;
  }
}

Unprivileged::~Unprivileged() {
  if (switched_) {
    setfsgid(0);
    setfsuid(0);
  }
}

}  // namespace audit_test
