#include "audit/platform/event_log.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <cstdlib>
#include <functional>
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

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Creates a new file from a mkstemp pattern (mode 0600); the name is made
// for it, so no existing file is ever opened or replaced. -1 with errno.
int CreateExclusive(std::string* pattern) {
  std::vector<char> name(pattern->begin(), pattern->end());
  name.push_back('\0');
  int fd = ::mkostemp(name.data(), O_CLOEXEC);
  if (fd >= 0) pattern->assign(name.data());
  return fd;
}

// Writes a complete, synced copy of the log into a new file beside target.
// Returns its descriptor and sets *temp to its name; -1 with errno.
int WriteCopy(EventLog* log, const std::string& target, std::string* temp, off_t* copied) {
  *temp = FolderOf(target) + "/.evtbackup.XXXXXX";
  int fd = CreateExclusive(temp);
  if (fd < 0) {
    if (errno == ENOENT) errno = ENOTDIR;  // the folder is missing
    return -1;
  }
  *copied = CopyFrom(log->fd, 0, fd);
  if (*copied < 0 || ::fsync(fd) != 0) {
    int err = errno;
    ::close(fd);
    ::unlink(temp->c_str());
    errno = err;
    return -1;
  }
  return fd;
}

void KeepAsBackup(EventLog* log, int fd, off_t copied) {
  if (log->backupFd >= 0) ::close(log->backupFd);
  log->backupFd = fd;
  log->backedUp = copied;
}

// The offset just past the last line feed in [from, to) of the log, or
// `from` when there is none; -1 with errno.
off_t EndOfLastLine(int logFd, off_t from, off_t to) {
  std::vector<char> buf(1 << 16);
  while (to > from) {
    off_t start = std::max(from, to - static_cast<off_t>(buf.size()));
    ssize_t n = ::pread(logFd, buf.data(), static_cast<size_t>(to - start), start);
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (n == 0) return from;
    for (ssize_t i = n; i > 0; --i)
      if (buf[static_cast<size_t>(i - 1)] == '\n') return start + i;
    to = start;
  }
  return from;
}

// Copies the log's bytes [from, to) to fd. False with errno.
bool CopyRange(int logFd, off_t from, off_t to, int fd) {
  std::vector<char> buf(1 << 16);
  while (from < to) {
    size_t want = static_cast<size_t>(std::min<off_t>(to - from, static_cast<off_t>(buf.size())));
    ssize_t n = ::pread(logFd, buf.data(), want, from);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) return true;  // emptied meanwhile
    if (!WriteAll(fd, buf.data(), static_cast<size_t>(n))) return false;
    from += n;
  }
  return true;
}

// Adds the log's records that the backup lacks to it. While writers may be
// appending, only whole lines are taken: a record being written is not cut
// in two; `everything` takes the rest as well. False with errno.
bool CatchUp(EventLog* log, bool everything) {
  struct stat st;
  if (fstat(log->fd, &st) != 0) return false;
  if (st.st_size < log->backedUp) log->backedUp = 0;  // emptied by someone else since
  off_t end = everything ? st.st_size : EndOfLastLine(log->fd, log->backedUp, st.st_size);
  if (end < 0) return false;
  if (end == log->backedUp) return true;
  if (::lseek(log->backupFd, 0, SEEK_END) < 0) return false;
  if (!CopyRange(log->fd, log->backedUp, end, log->backupFd) || ::fsync(log->backupFd) != 0)
    return false;
  log->backedUp = end;
  return true;
}

// Removes the file at path (opened as fd) once no other open file refers to
// it: a write lease is granted only then, and while it is held anyone who
// opens the file waits. `finish` runs under the lease, before the removal.
// False when the file stays: still open elsewhere, leases unavailable, or
// `finish` failed.
bool RemoveWhenUnused(int fd, const std::string& path, const std::function<bool()>& finish) {
  // A lease break is announced with SIGIO, whose default ends the process.
  struct sigaction ignore = {}, previous = {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGIO, &ignore, &previous);
  bool removed = false;
  // Writers that opened the file just before it was moved aside close it in
  // a moment (longer on a busy machine); one that keeps it open makes every
  // attempt fail, for at most a tenth of a second.
  for (int attempt = 0; attempt < 50; ++attempt) {
    if (attempt > 0) ::usleep(2000);
    if (::fcntl(fd, F_SETLEASE, F_WRLCK) != 0) {
      if (errno == EAGAIN) continue;
      break;
    }
    bool finished = finish();
    // Nobody opened it while the lease was held: nothing can write to it.
    if (finished && ::fcntl(fd, F_GETLEASE) == F_WRLCK && ::unlink(path.c_str()) == 0)
      removed = true;
    ::fcntl(fd, F_SETLEASE, F_UNLCK);
    break;
  }
  sigaction(SIGIO, &previous, nullptr);
  return removed;
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
  // Only a regular file is a log. Opening never waits: a FIFO or a device
  // would block a plain open, or act on being opened.
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) {
    SetLastError(ErrnoToWinError(errno));
    return nullptr;
  }
  if (!S_ISREG(st.st_mode)) {
    SetLastError(ERROR_EVENTLOG_FILE_CORRUPT);
    return nullptr;
  }
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    SetLastError(ErrnoToWinError(errno));
    return nullptr;
  }
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {  // replaced in between
    ::close(fd);
    SetLastError(ERROR_EVENTLOG_FILE_CORRUPT);
    return nullptr;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  // Clearing replaces the file itself, not a symbolic link to it.
  char real[PATH_MAX];
  auto* log = new EventLog;
  log->path = ::realpath(path.c_str(), real) ? std::string(real) : path;
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
  std::string temp;
  off_t copied = 0;
  int fd = WriteCopy(log, target, &temp, &copied);
  if (fd < 0) return FailErrno(errno);
  if (::link(temp.c_str(), target.c_str()) != 0) {
    int err = errno;
    if (err == EPERM || err == EOPNOTSUPP || err == ENOSYS) {
      // File systems without hard links: check again and rename.
      if (lstat(target.c_str(), &st) == 0) {
        err = EEXIST;
      } else if (std::rename(temp.c_str(), target.c_str()) == 0) {
        err = 0;
      } else {
        err = errno;
      }
    }
    if (err != 0) {
      ::close(fd);
      ::unlink(temp.c_str());
      return err == EEXIST ? Fail(ERROR_ALREADY_EXISTS) : FailErrno(err);
    }
  } else {
    ::unlink(temp.c_str());
  }
  KeepAsBackup(log, fd, copied);
  return TRUE;
}

BOOL BackupEventLogBesideA(HANDLE log, const char* backupFile, std::string* tempFile) {
  if (!log) return Fail(ERROR_INVALID_HANDLE);
  if (!backupFile || !*backupFile || !tempFile) return Fail(ERROR_INVALID_PARAMETER);
  std::string temp;
  off_t copied = 0;
  int fd = WriteCopy(log, ToLinuxPath(backupFile), &temp, &copied);
  if (fd < 0) return FailErrno(errno);
  KeepAsBackup(log, fd, copied);
  *tempFile = ToWindowsPath(temp);
  return TRUE;
}

BOOL ClearEventLogA(HANDLE log, const char* backupFile) {
  if (!log) return Fail(ERROR_INVALID_HANDLE);
  if (backupFile && *backupFile && !BackupEventLogA(log, backupFile)) return FALSE;
  if (log->backupFd < 0) return Fail(ERROR_INVALID_FUNCTION);  // never without a backup

  // The file under the log's name must still be the one backed up: a log
  // rotated since holds records that no backup has.
  struct stat opened, named;
  if (fstat(log->fd, &opened) != 0) return FailErrno(errno);
  if (lstat(log->path.c_str(), &named) != 0) {
    return errno == ENOENT ? Fail(ERROR_EVENTLOG_FILE_CHANGED) : FailErrno(errno);
  }
  if (!SameFile(opened, named)) return Fail(ERROR_EVENTLOG_FILE_CHANGED);

  // Clearing needs the right to write the log, as emptying it in place would.
  int writable = ::open(log->path.c_str(), O_WRONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (writable < 0) return FailErrno(errno);
  ::close(writable);

  // A fresh empty log with the old one's owner and mode, beside it.
  std::string aside = log->path + ".cleared-XXXXXX";
  int fresh = CreateExclusive(&aside);
  if (fresh < 0) return FailErrno(errno);
  struct stat made;
  if (fstat(fresh, &made) != 0 ||
      ((made.st_uid != opened.st_uid || made.st_gid != opened.st_gid) &&
       ::fchown(fresh, opened.st_uid, opened.st_gid) != 0)) {
    int err = errno;  // writers of the log might not be able to write a fresh one
    ::close(fresh);
    ::unlink(aside.c_str());
    return FailErrno(err);
  }
  if (::fchmod(fresh, opened.st_mode & 07777) != 0 ||
      ::renameat2(AT_FDCWD, aside.c_str(), AT_FDCWD, log->path.c_str(), RENAME_EXCHANGE) != 0) {
    int err = errno;
    ::close(fresh);
    ::unlink(aside.c_str());
    return FailErrno(err);
  }
  // In one step the log's name now holds the fresh file and `aside` the old
  // one: a writer opening the log by name never misses a file to write to.
  struct stat moved;
  if (lstat(aside.c_str(), &moved) != 0 || !SameFile(moved, opened)) {
    // The log was replaced in the instant before the swap: swap back, and
    // keep whatever the fresh file received.
    ::renameat2(AT_FDCWD, aside.c_str(), AT_FDCWD, log->path.c_str(), RENAME_EXCHANGE);
    RemoveWhenUnused(fresh, aside, [fresh] {
      struct stat st;
      return fstat(fresh, &st) == 0 && st.st_size == 0;
    });
    ::close(fresh);
    return Fail(ERROR_EVENTLOG_FILE_CHANGED);
  }

  // Every record of the old file goes into the backup; the old file goes once
  // nobody has it open, with what was written to it until then.
  bool copied = CatchUp(log, false);
  int err = errno;
  if (copied) RemoveWhenUnused(log->fd, aside, [log] { return CatchUp(log, true); });
  ::close(log->fd);
  log->fd = fresh;
  log->backedUp = 0;
  if (!copied) return FailErrno(err);
  return TRUE;
}

BOOL CloseEventLog(HANDLE log) {
  if (!log) return Fail(ERROR_INVALID_HANDLE);
  if (log->fd >= 0) ::close(log->fd);
  if (log->backupFd >= 0) ::close(log->backupFd);
  delete log;
  return TRUE;
}

}  // namespace plat
