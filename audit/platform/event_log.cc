#include "audit/platform/event_log.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <cstdlib>
#include <functional>
#include <tuple>
#include <vector>

#include "audit/platform/crt_dirs.h"

namespace plat {

// A "<log>.cleared-XXXXXX" file left by an earlier clear whose records the
// backup being made holds.
struct Leftover {
  std::string path;
  int fd = -1;
  off_t size = 0;  // its bytes that the backup holds
};

struct EventLog {
  std::string path;     // the log file
  int fd = -1;          // read side of the log
  int backupFd = -1;    // the last complete backup made through this handle
  off_t backedUp = 0;   // bytes of the log that the backup holds
  std::vector<Leftover> taken;  // removed once that backup is in place
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

std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string BaseName(const std::string& path) { return path.substr(path.rfind('/') + 1); }

bool Exists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// A name made from prefix + "XXXXXX" by mkstemp: six letters or digits.
bool MadeName(const std::string& name, const std::string& prefix) {
  if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0)
    return false;
  return std::all_of(name.begin() + static_cast<long>(prefix.size()), name.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
  });
}

// The names in a folder made from prefix by mkstemp.
std::vector<std::string> MadeNames(const std::string& folder, const std::string& prefix) {
  std::vector<std::string> out;
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return out;
  while (struct dirent* e = ::readdir(dir))
    if (MadeName(e->d_name, prefix)) out.push_back(e->d_name);
  ::closedir(dir);
  std::sort(out.begin(), out.end());
  return out;
}

// Whether any process has the file open other than this one through ownFd
// (from /proc/*/fd; processes whose descriptors cannot be read are not seen,
// the lease taken before removing a file covers them).
bool OpenElsewhere(const struct stat& file, int ownFd) {
  DIR* proc = ::opendir("/proc");
  if (!proc) return false;
  std::string self = std::to_string(::getpid()), own = std::to_string(ownFd);
  bool found = false;
  while (struct dirent* p = ::readdir(proc)) {
    if (found) break;
    if (p->d_name[0] < '0' || p->d_name[0] > '9') continue;
    std::string fds = std::string("/proc/") + p->d_name + "/fd";
    DIR* dir = ::opendir(fds.c_str());
    if (!dir) continue;
    while (struct dirent* f = ::readdir(dir)) {
      if (f->d_name[0] == '.' || (self == p->d_name && own == f->d_name)) continue;
      struct stat st;
      if (::stat((fds + "/" + f->d_name).c_str(), &st) == 0 && SameFile(st, file)) {
        found = true;
        break;
      }
    }
    ::closedir(dir);
  }
  ::closedir(proc);
  return found;
}

// Beside a "<log>.cleared-XXXXXX" file, "<log>.backedup-XXXXXX" notes which
// file it was and how many of its bytes a backup holds, so that a later run
// backs up only the rest. Without a note for that very file, none.
std::string NoteOf(const std::string& aside) {
  size_t at = aside.rfind(".cleared-");
  return aside.substr(0, at) + ".backedup-" + aside.substr(at + 9);
}

void WriteNote(const std::string& aside, const struct stat& file, off_t held) {
  char text[80];
  int n = std::snprintf(text, sizeof text, "%20llu %20llu %20lld\n",
                        static_cast<unsigned long long>(file.st_dev),
                        static_cast<unsigned long long>(file.st_ino),
                        static_cast<long long>(held));
  int fd = ::open(NoteOf(aside).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return;  // without it the whole file counts as not backed up
  if (::pwrite(fd, text, static_cast<size_t>(n), 0) == n) ::fsync(fd);
  ::close(fd);
}

off_t ReadNote(const std::string& aside, const struct stat& file) {
  char text[80] = {};
  int fd = ::open(NoteOf(aside).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) return 0;
  ssize_t n = ::read(fd, text, sizeof text - 1);
  ::close(fd);
  unsigned long long dev = 0, ino = 0;
  long long held = 0;
  if (n <= 0 || std::sscanf(text, "%llu %llu %lld", &dev, &ino, &held) != 3) return 0;
  if (dev != file.st_dev || ino != file.st_ino || held < 0 || held > file.st_size) return 0;
  return static_cast<off_t>(held);
}

// Gives `to` the extended attributes of `from` (access control list,
// security labels and the like) and no others. A file system without
// extended attributes has nothing to copy. False with errno.
bool CopyAttributes(int from, int to) {
  auto list = [](int fd, std::vector<std::string>* names) {
    std::vector<char> buf;
    for (;;) {
      ssize_t n = ::flistxattr(fd, nullptr, 0);
      if (n < 0) return errno == ENOTSUP;
      buf.resize(static_cast<size_t>(n));
      n = ::flistxattr(fd, buf.data(), buf.size());
      if (n < 0 && errno == ERANGE) continue;
      if (n < 0) return false;
      for (size_t at = 0; at < static_cast<size_t>(n); at += names->back().size() + 1)
        names->emplace_back(buf.data() + at);
      return true;
    }
  };
  std::vector<std::string> want, have;
  if (!list(from, &want) || !list(to, &have)) return false;
  for (const std::string& name : have)
    if (std::find(want.begin(), want.end(), name) == want.end() &&
        ::fremovexattr(to, name.c_str()) != 0 && errno != ENODATA)
      return false;
  std::vector<char> value;
  for (const std::string& name : want) {
    ssize_t n = ::fgetxattr(from, name.c_str(), nullptr, 0);
    if (n >= 0) {
      value.resize(static_cast<size_t>(n));
      n = ::fgetxattr(from, name.c_str(), value.data(), value.size());
    }
    if (n < 0) return false;
    if (::fsetxattr(to, name.c_str(), value.data(), static_cast<size_t>(n), 0) != 0) return false;
  }
  return true;
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

// Copies the bytes [from, to) of src to the end of dst (to its end when `to`
// is -1), in writes that end at line ends where it can, so that a run ended
// midway leaves no record cut. On failure dst is cut back to where it ended
// when `cutBack` is set (never for a file others write to), so it holds no
// part of a record. Returns the offset of src reached, or -1 with errno.
off_t AppendRange(int src, off_t from, off_t to, int dst, bool cutBack = true) {
  off_t start = ::lseek(dst, 0, SEEK_END);
  if (start < 0) return -1;
  std::vector<char> buf(1 << 16);
  while (to < 0 || from < to) {
    size_t want = buf.size();
    if (to >= 0) want = static_cast<size_t>(std::min<off_t>(to - from, static_cast<off_t>(want)));
    ssize_t n = ::pread(src, buf.data(), want, from);
    if (n < 0 && errno == EINTR) continue;
    if (n == 0) break;  // at its end (or emptied meanwhile)
    size_t take = n > 0 ? static_cast<size_t>(n) : 0;
    if (take == buf.size()) {  // more may follow
      auto last = std::find(buf.rbegin(), buf.rend(), '\n');
      if (last != buf.rend()) take = static_cast<size_t>(buf.rend() - last);
    }
    if (n < 0 || !WriteAll(dst, buf.data(), take)) {
      int err = errno;
      if (cutBack && ::ftruncate(dst, start) == 0) ::lseek(dst, start, SEEK_SET);
      errno = err;
      return -1;
    }
    from += static_cast<off_t>(take);
  }
  return from;
}

// Adds the log's records that the backup lacks to it. While writers may be
// appending, only whole lines are taken: a record being written is not cut
// in two; `everything` takes the rest as well. On failure the backup keeps
// only whole records; false with errno.
bool CatchUp(EventLog* log, bool everything) {
  struct stat st;
  if (fstat(log->fd, &st) != 0) return false;
  if (st.st_size < log->backedUp) log->backedUp = 0;  // emptied by someone else since
  off_t end = everything ? st.st_size : EndOfLastLine(log->fd, log->backedUp, st.st_size);
  if (end < 0) return false;
  if (end == log->backedUp) return true;
  off_t before = ::lseek(log->backupFd, 0, SEEK_END);
  if (AppendRange(log->fd, log->backedUp, end, log->backupFd) < 0) return false;
  if (::fsync(log->backupFd) != 0) {
    int err = errno;
    if (before >= 0 && ::ftruncate(log->backupFd, before) == 0)
      ::lseek(log->backupFd, before, SEEK_SET);
    errno = err;
    return false;
  }
  log->backedUp = end;
  return true;
}

enum class Removal { kRemoved, kKept, kFinishFailed };

// Removes the file at path (opened as fd) once no other open file refers to
// it: a write lease is granted only then, and while it is held anyone who
// opens the file waits. `finish` runs under the lease, before the removal.
// The file is kept while it is still open elsewhere or leases are
// unavailable, and when `finish` fails (kFinishFailed, errno set).
Removal RemoveWhenUnused(int fd, const std::string& path, const std::function<bool()>& finish,
                         int attempts) {
  // A lease break is announced with SIGIO, whose default ends the process.
  struct sigaction ignore = {}, previous = {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGIO, &ignore, &previous);
  Removal result = Removal::kKept;
  int err = 0;
  for (int attempt = 0; attempt < attempts; ++attempt) {
    if (attempt > 0) ::usleep(2000);
    if (::fcntl(fd, F_SETLEASE, F_WRLCK) != 0) {
      if (errno == EAGAIN) continue;
      break;
    }
    bool finished = finish();
    err = errno;
    // Nobody opened it while the lease was held: nothing can write to it.
    if (!finished)
      result = Removal::kFinishFailed;
    else if (::fcntl(fd, F_GETLEASE) == F_WRLCK && ::unlink(path.c_str()) == 0)
      result = Removal::kRemoved;
    ::fcntl(fd, F_SETLEASE, F_UNLCK);
    break;
  }
  sigaction(SIGIO, &previous, nullptr);
  errno = err;
  return result;
}

// Removes the temporary copies that runs ended midway left in a folder:
// names of their own pattern that no process has open.
void RemoveStaleCopies(const std::string& folder) {
  for (const std::string& name : MadeNames(folder, ".evtbackup.")) {
    std::string path = folder + "/" + name;
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) continue;
    struct stat st;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && !OpenElsewhere(st, fd))
      RemoveWhenUnused(fd, path, [] { return true; }, 1);
    ::close(fd);
  }
}

void DropTaken(EventLog* log) {
  for (const Leftover& l : log->taken) ::close(l.fd);
  log->taken.clear();
}

// Appends to fd the records of the leftovers of earlier clears of this log
// that no backup holds yet, oldest first, ending each with a line feed; they
// are removed once that backup is in place. Leftovers that a process has
// open are left to a later run. False with errno.
bool TakeLeftovers(EventLog* log, int fd) {
  DropTaken(log);
  std::string folder = FolderOf(log->path), base = BaseName(log->path);
  for (const std::string& name : MadeNames(folder, base + ".backedup-"))  // of removed files
    if (!Exists(folder + "/" + base + ".cleared-" + name.substr(base.size() + 10)))
      ::unlink((folder + "/" + name).c_str());
  std::vector<std::tuple<struct timespec, std::string, int, struct stat>> found;
  for (const std::string& name : MadeNames(folder, base + ".cleared-")) {
    std::string path = folder + "/" + name;
    int lfd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
    if (lfd < 0) continue;
    struct stat st;
    if (fstat(lfd, &st) != 0 || !S_ISREG(st.st_mode) || OpenElsewhere(st, lfd)) {
      ::close(lfd);
      continue;
    }
    found.emplace_back(st.st_mtim, path, lfd, st);
  }
  std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
    const struct timespec &x = std::get<0>(a), &y = std::get<0>(b);
    return std::tie(x.tv_sec, x.tv_nsec, std::get<1>(a)) <
           std::tie(y.tv_sec, y.tv_nsec, std::get<1>(b));
  });
  bool ok = true;
  for (auto& [when, path, lfd, st] : found) {
    char last = '\n';
    off_t from = ReadNote(path, st);
    if (ok && from < st.st_size &&
        (AppendRange(lfd, from, st.st_size, fd) < 0 ||
         ::pread(lfd, &last, 1, st.st_size - 1) != 1 || (last != '\n' && !WriteAll(fd, "\n", 1))))
      ok = false;
    log->taken.push_back(Leftover{path, lfd, st.st_size});
  }
  if (!ok) {
    int err = errno;
    DropTaken(log);
    errno = err;
  }
  return ok;
}

// The backup made through the handle is in place: the leftovers it took are
// removed when nobody has them open; one opened meanwhile stays, noted as
// backed up as far as the backup holds it.
void SettleTaken(EventLog* log) {
  for (const Leftover& l : log->taken) {
    int fd = l.fd;
    off_t size = l.size;
    Removal r = RemoveWhenUnused(fd, l.path, [fd, size] {
      struct stat st;
      return fstat(fd, &st) == 0 && st.st_size == size;
    }, 1);
    struct stat st;
    if (r == Removal::kRemoved) ::unlink(NoteOf(l.path).c_str());
    else if (fstat(fd, &st) == 0) WriteNote(l.path, st, size);
  }
  DropTaken(log);
}

// Writes a complete, synced copy of the log into a new file beside target,
// after the records of leftovers of earlier clears that no backup holds.
// Removes stale temporary copies there first. Returns its descriptor and
// sets *temp to its name; -1 with errno.
int WriteCopy(EventLog* log, const std::string& target, std::string* temp, off_t* copied) {
  RemoveStaleCopies(FolderOf(target));
  *temp = FolderOf(target) + "/.evtbackup.XXXXXX";
  int fd = CreateExclusive(temp);
  if (fd < 0) {
    if (errno == ENOENT) errno = ENOTDIR;  // the folder is missing
    return -1;
  }
  *copied = TakeLeftovers(log, fd) ? AppendRange(log->fd, 0, -1, fd) : -1;
  if (*copied < 0 || ::fsync(fd) != 0) {
    int err = errno;
    DropTaken(log);
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
      DropTaken(log);
      ::close(fd);
      ::unlink(temp.c_str());
      return err == EEXIST ? Fail(ERROR_ALREADY_EXISTS) : FailErrno(err);
    }
  } else {
    ::unlink(temp.c_str());
  }
  KeepAsBackup(log, fd, copied);
  SettleTaken(log);
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

namespace {

// Undoes a clear whose records could not all go into the backup: the old
// file (now `aside`) takes the log's name again, with every record; what
// writers put into the fresh file meanwhile is added to it and the fresh file
// removed. Where it cannot be, that file stays under the `aside` name, and
// counts as backed up in no part. False when the log's name no longer holds
// the fresh file: the old one then stays as `aside`.
bool SwapBack(const std::string& path, const std::string& aside, int fresh) {
  struct stat named, made;
  if (lstat(path.c_str(), &named) != 0 || fstat(fresh, &made) != 0 || !SameFile(named, made) ||
      ::renameat2(AT_FDCWD, aside.c_str(), AT_FDCWD, path.c_str(), RENAME_EXCHANGE) != 0)
    return false;  // the old file stays with its note
  ::unlink(NoteOf(aside).c_str());
  RemoveWhenUnused(fresh, aside, [&path, fresh] {
    int log = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    bool ok = log >= 0 && AppendRange(fresh, 0, -1, log, false) >= 0;
    if (log >= 0) ::close(log);
    return ok;
  }, 50);
  return true;
}

}  // namespace

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

  // A fresh empty log beside it with the old one's owner, extended
  // attributes (its access control list among them) and mode, in this order:
  // a change of owner drops some attributes, and the mode goes with the list.
  std::string aside = log->path + ".cleared-XXXXXX";
  int fresh = CreateExclusive(&aside);
  if (fresh < 0) return FailErrno(errno);
  struct stat made;
  if (fstat(fresh, &made) != 0 ||
      ((made.st_uid != opened.st_uid || made.st_gid != opened.st_gid) &&
       ::fchown(fresh, opened.st_uid, opened.st_gid) != 0) ||
      !CopyAttributes(log->fd, fresh) || ::fchmod(fresh, opened.st_mode & 07777) != 0) {
    int err = errno;  // writers of the log might not be able to write a fresh one
    ::close(fresh);
    ::unlink(aside.c_str());
    return FailErrno(err);
  }
  // Noted before the swap: a run ended right after it leaves the old file
  // with a note of what its backup holds.
  WriteNote(aside, opened, log->backedUp);
  if (::renameat2(AT_FDCWD, aside.c_str(), AT_FDCWD, log->path.c_str(), RENAME_EXCHANGE) != 0) {
    int err = errno;
    ::close(fresh);
    ::unlink(aside.c_str());
    ::unlink(NoteOf(aside).c_str());
    return FailErrno(err);
  }
  // In one step the log's name now holds the fresh file and `aside` the old
  // one: a writer opening the log by name never misses a file to write to.
  struct stat moved;
  if (lstat(aside.c_str(), &moved) != 0 || !SameFile(moved, opened)) {
    // The log was replaced in the instant before the swap: swap back, and
    // keep whatever the fresh file received.
    ::renameat2(AT_FDCWD, aside.c_str(), AT_FDCWD, log->path.c_str(), RENAME_EXCHANGE);
    ::unlink(NoteOf(aside).c_str());
    RemoveWhenUnused(fresh, aside, [fresh] {
      struct stat st;
      return fstat(fresh, &st) == 0 && st.st_size == 0;
    }, 50);
    ::close(fresh);
    return Fail(ERROR_EVENTLOG_FILE_CHANGED);
  }

  // Every record of the old file goes into the backup; the old file goes once
  // nobody has it open, with what was written to it until then. While a
  // writer keeps it open it stays, noted as backed up as far as it is.
  Removal removal = Removal::kFinishFailed;
  if (CatchUp(log, false)) {
    WriteNote(aside, opened, log->backedUp);
    removal = RemoveWhenUnused(log->fd, aside, [log] { return CatchUp(log, true); }, 50);
    if (removal == Removal::kRemoved) ::unlink(NoteOf(aside).c_str());
    else if (removal == Removal::kKept) WriteNote(aside, opened, log->backedUp);
  }
  if (removal == Removal::kFinishFailed) {
    // The backup cannot take them all: the log is not cleared.
    int err = errno;
    SwapBack(log->path, aside, fresh);
    ::close(fresh);
    return FailErrno(err);
  }
  ::close(log->fd);
  log->fd = fresh;
  log->backedUp = 0;
  return TRUE;
}

void KeepEventLogBackup(HANDLE log) {
  if (log) SettleTaken(log);
}

std::vector<std::string> EventLogLeftoversA(HANDLE log) {
  std::vector<std::string> out;
  if (!log) return out;
  std::string folder = FolderOf(log->path);
  for (const std::string& name : MadeNames(folder, BaseName(log->path) + ".cleared-"))
    out.push_back(ToWindowsPath(folder + "/" + name));
  return out;
}

BOOL CloseEventLog(HANDLE log) {
  if (!log) return Fail(ERROR_INVALID_HANDLE);
  if (log->fd >= 0) ::close(log->fd);
  if (log->backupFd >= 0) ::close(log->backupFd);
  DropTaken(log);
  delete log;
  return TRUE;
}

}  // namespace plat
