#include "audit/platform/event_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "audit/platform/crt_dirs.h"

namespace plat {

struct EventLog {
  std::string path;     // the log file
  int fd = -1;          // read side of the log
  int backupFd = -1;    // the last complete backup made through this handle
  off_t backedUp = 0;   // bytes of the log that the backup holds
};

namespace {

BOOL Fail(DWORD code) {
  SetLastError(code);
  return FALSE;
}

BOOL FailErrno(int err) { return Fail(ErrnoToWinError(err)); }

bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// Appends the log's bytes from offset `from` to its current end to fd.
// Returns the offset reached, or -1 with errno.
off_t CopyFrom(int logFd, off_t from, int fd) {
  std::vector<char> buf(1 << 16);
  for (;;) {
    ssize_t n = ::pread(logFd, buf.data(), buf.size(), from);
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (n == 0) return from;
    if (!WriteAll(fd, buf.data(), static_cast<size_t>(n))) return -1;
    from += n;
  }
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

}  // namespace

std::string EventLogFolder() { return EnvFolder("AUDIT_LOG_DIR", "/var/log"); }

std::string EventLogFile(const std::string& logName) {
  const char* file = nullptr;
  if (logName == "System") file = "syslog";
  else if (logName == "Application") file = "user.log";
  else if (logName == "Security") file = "auth.log";
  if (!file) return "";
  return EventLogFolder() + "/" + file;
}

HANDLE OpenEventLogA(const char* server, const char* logName) {
  if (server && *server) {
    SetLastError(ERROR_INVALID_PARAMETER);  // only the local computer's logs
    return nullptr;
  }
  std::string path = EventLogFile(logName ? logName : "");
  if (path.empty()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    SetLastError(ErrnoToWinError(errno));
    return nullptr;
  }
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  auto* log = new EventLog;
  log->path = path;
  log->fd = fd;
  return log;
}

BOOL BackupEventLogA(HANDLE log, const char* backupFile) {
  if (!log) return Fail(ERROR_INVALID_HANDLE);
  if (!backupFile || !*backupFile) return Fail(ERROR_INVALID_PARAMETER);
  std::string target = ToLinuxPath(backupFile);
  struct stat st;
  if (lstat(target.c_str(), &st) == 0) return Fail(ERROR_ALREADY_EXISTS);

  // The copy is written under a temporary name and linked into place once it
  // is complete, so the backup file never exists half written.
  std::string temp = FolderOf(target) + "/.evtbackup.XXXXXX";
  std::vector<char> name(temp.begin(), temp.end());
  name.push_back('\0');
  int fd = ::mkostemp(name.data(), O_CLOEXEC);  // mode 0600
  if (fd < 0) {
    int err = errno;
    return FailErrno(err == ENOENT ? ENOTDIR : err);
  }
  off_t copied = CopyFrom(log->fd, 0, fd);
  if (copied < 0 || ::fsync(fd) != 0) {
    int err = errno;
    ::close(fd);
    ::unlink(name.data());
    return FailErrno(err);
  }
  if (::link(name.data(), target.c_str()) != 0) {
    int err = errno;
    if (err == EPERM || err == EOPNOTSUPP || err == ENOSYS) {
      // File systems without hard links: check again and rename.
      if (lstat(target.c_str(), &st) == 0) {
        err = EEXIST;
      } else if (std::rename(name.data(), target.c_str()) == 0) {
        err = 0;
      } else {
        err = errno;
      }
    }
    if (err != 0) {
      ::close(fd);
      ::unlink(name.data());
      return err == EEXIST ? Fail(ERROR_ALREADY_EXISTS) : FailErrno(err);
    }
  } else {
    ::unlink(name.data());
  }
  if (log->backupFd >= 0) ::close(log->backupFd);
  log->backupFd = fd;
  log->backedUp = copied;
  return TRUE;
}

BOOL ClearEventLogA(HANDLE log, const char* backupFile) {
  if (!log) return Fail(ERROR_INVALID_HANDLE);
  if (backupFile && *backupFile && !BackupEventLogA(log, backupFile)) return FALSE;
  if (log->backupFd < 0) return Fail(ERROR_INVALID_FUNCTION);  // never without a backup

  int wfd = ::open(log->path.c_str(), O_WRONLY | O_CLOEXEC);
  if (wfd < 0) return FailErrno(errno);
  // The file under the log's name must still be the one backed up: a log
  // rotated since holds records that no backup has.
  struct stat opened, named;
  if (fstat(log->fd, &opened) != 0 || fstat(wfd, &named) != 0 ||
      opened.st_dev != named.st_dev || opened.st_ino != named.st_ino) {
    ::close(wfd);
    return Fail(ERROR_EVENTLOG_FILE_CHANGED);
  }
  // Records written since the backup go into it first; the log is emptied
  // only when the backup holds everything it has.
  errno = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    struct stat st;
    if (fstat(log->fd, &st) != 0) break;
    if (st.st_size < log->backedUp) log->backedUp = 0;  // emptied by someone else since
    if (st.st_size > log->backedUp) {
      if (::lseek(log->backupFd, 0, SEEK_END) < 0) break;
      off_t reached = CopyFrom(log->fd, log->backedUp, log->backupFd);
      if (reached < 0 || ::fsync(log->backupFd) != 0) break;
      log->backedUp = reached;
      continue;
    }
    if (::ftruncate(wfd, 0) != 0) break;
    ::close(wfd);
    log->backedUp = 0;
    return TRUE;
  }
  int err = errno ? errno : EBUSY;
  ::close(wfd);
  return FailErrno(err);
}

BOOL CloseEventLog(HANDLE log) {
  if (!log) return Fail(ERROR_INVALID_HANDLE);
  if (log->fd >= 0) ::close(log->fd);
  if (log->backupFd >= 0) ::close(log->backupFd);
  delete log;
  return TRUE;
}

}  // namespace plat
