// Temporary folders for the logs, the registry and the drives of a test,
// with the environment pointing at them.
#pragma once

#include <string>

namespace audit_test {

class TempFolders {
 public:
  TempFolders();  // makes logs/, registry/ and drives/ under a new folder
  ~TempFolders();

  std::string root;
  std::string logs;
  std::string registry;
  std::string drives;

  // Writes the three logs with distinct contents.
  void WriteLogs(const std::string& tag = "");
  std::string LogPath(const std::string& logName) const;
  // Makes the drive folder of a letter.
  std::string MakeDrive(char letter) const;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& content);
void AppendFile(const std::string& path, const std::string& content);
bool Exists(const std::string& path);
unsigned FileMode(const std::string& path);

// While it lives, file access is checked as an unprivileged user (a user
// that is not root cannot be helped: its own checks already apply).
class Unprivileged {
 public:
  Unprivileged();
  ~Unprivileged();

 private:
  bool switched_ = false;
};

}  // namespace audit_test
