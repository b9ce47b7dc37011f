#include "audit/platform/event_log.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <future>
#include <set>
#include <sstream>
#include <thread>
#include <vector>

#include "audit/platform/crt_dirs.h"
#include "audit/tests/temp_folders.h"

using namespace plat;
using audit_test::ReadFile;

namespace {

class EventLogTest : public testing::Test {
 protected:
  EventLogTest() { dirs.WriteLogs("x"); }
  audit_test::TempFolders dirs;
};

TEST_F(EventLogTest, OpenNamesTheThreeLogFiles) {
  EXPECT_EQ(EventLogFile("System"), dirs.logs + "/syslog");
  EXPECT_EQ(EventLogFile("Application"), dirs.logs + "/user.log");
  EXPECT_EQ(EventLogFile("Security"), dirs.logs + "/auth.log");

  HANDLE h = OpenEventLogA(nullptr, "Unknown");
  EXPECT_EQ(h, nullptr);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(OpenEventLogA("remote", "System"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  unlink(dirs.LogPath("System").c_str());
  EXPECT_EQ(OpenEventLogA(nullptr, "System"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST_F(EventLogTest, BackupIsACompletePrivateCopyThatNeverReplacesAFile) {
  HANDLE h = OpenEventLogA(nullptr, "Application");
  ASSERT_NE(h, nullptr);
  std::string file = dirs.root + "/app.evt";
  ASSERT_TRUE(BackupEventLogA(h, file.c_str()));
  EXPECT_EQ(ReadFile(file), ReadFile(dirs.LogPath("Application")));
  EXPECT_EQ(audit_test::FileMode(file), 0600u);

  audit_test::WriteFile(dirs.LogPath("Application"), "newer");
  EXPECT_FALSE(BackupEventLogA(h, file.c_str()));
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_NE(ReadFile(file), "newer");

  std::string nowhere = dirs.root + "/missing/app.evt";
  EXPECT_FALSE(BackupEventLogA(h, nowhere.c_str()));
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  EXPECT_TRUE(CloseEventLog(h));
  // No temporary copies are left behind.
  for (const auto& e : std::filesystem::directory_iterator(dirs.root))
    EXPECT_EQ(e.path().filename().string().find(".evtbackup"), std::string::npos);
}

TEST_F(EventLogTest, BackupTakesWindowsFormPaths) {
  audit_test::TempFolders& d = dirs;
  d.MakeDrive('e');
  HANDLE h = OpenEventLogA(nullptr, "System");
  ASSERT_NE(h, nullptr);
  ASSERT_TRUE(BackupEventLogA(h, "E:\\sys.evt"));
  EXPECT_EQ(ReadFile(d.drives + "/e/sys.evt"), ReadFile(d.LogPath("System")));
  CloseEventLog(h);
}

TEST_F(EventLogTest, ClearNeedsABackupAndKeepsRecordsWrittenSinceIt) {
  HANDLE h = OpenEventLogA(nullptr, "Security");
  ASSERT_NE(h, nullptr);
  EXPECT_FALSE(ClearEventLogA(h, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_FUNCTION);
  EXPECT_NE(ReadFile(dirs.LogPath("Security")), "");

  std::string before = ReadFile(dirs.LogPath("Security"));
  std::string file = dirs.root + "/sec.evt";
  ASSERT_TRUE(BackupEventLogA(h, file.c_str()));
  audit_test::AppendFile(dirs.LogPath("Security"), "a record written after the backup\n");
  ASSERT_TRUE(ClearEventLogA(h, nullptr));
  EXPECT_EQ(ReadFile(file), before + "a record written after the backup\n");
  EXPECT_EQ(ReadFile(dirs.LogPath("Security")), "");

  // The log goes on; a later clear through the same handle adds only what is new.
  audit_test::AppendFile(dirs.LogPath("Security"), "later\n");
  ASSERT_TRUE(ClearEventLogA(h, nullptr));
  EXPECT_EQ(ReadFile(file), before + "a record written after the backup\nlater\n");
  CloseEventLog(h);
}

TEST_F(EventLogTest, ALogRotatedAfterItsBackupIsNotCleared) {
  HANDLE h = OpenEventLogA(nullptr, "System");
  ASSERT_NE(h, nullptr);
  std::string before = ReadFile(dirs.LogPath("System"));
  std::string file = dirs.root + "/sys.evt";
  ASSERT_TRUE(BackupEventLogA(h, file.c_str()));
  std::string rotated = dirs.LogPath("System") + ".1";
  ASSERT_EQ(rename(dirs.LogPath("System").c_str(), rotated.c_str()), 0);
  audit_test::WriteFile(dirs.LogPath("System"), "a record in the new log\n");
  EXPECT_FALSE(ClearEventLogA(h, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_EVENTLOG_FILE_CHANGED);
  // Neither log loses a record.
  EXPECT_EQ(ReadFile(dirs.LogPath("System")), "a record in the new log\n");
  EXPECT_EQ(ReadFile(rotated), before);
  EXPECT_EQ(ReadFile(file), before);
  CloseEventLog(h);
}

TEST_F(EventLogTest, ALogThatIsNoRegularFileIsRefusedWithoutWaiting) {
  // A FIFO: a plain open would wait for a writer forever.
  std::string fifo = dirs.LogPath("System");
  unlink(fifo.c_str());
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  auto opening = std::async(std::launch::async, [] {
    HANDLE h = OpenEventLogA(nullptr, "System");
    return std::make_pair(h, GetLastError());
  });
  if (opening.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
    int unblock = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);  // lets the open return
    opening.wait();
    if (unblock >= 0) close(unblock);
    FAIL() << "opening a FIFO as a log blocked";
  }
  auto [h, err] = opening.get();
  EXPECT_EQ(h, nullptr);
  EXPECT_EQ(err, ERROR_EVENTLOG_FILE_CORRUPT);

  // A folder.
  unlink(dirs.LogPath("Security").c_str());
  ASSERT_EQ(mkdir(dirs.LogPath("Security").c_str(), 0700), 0);
  EXPECT_EQ(OpenEventLogA(nullptr, "Security"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_EVENTLOG_FILE_CORRUPT);
}

TEST_F(EventLogTest, BackupBesideTakesANameNoOtherFileHas) {
  HANDLE h = OpenEventLogA(nullptr, "System");
  ASSERT_NE(h, nullptr);
  std::string file = dirs.root + "/sys.evt";
  audit_test::WriteFile(file, "old backup");
  std::string temp;
  ASSERT_TRUE(BackupEventLogBesideA(h, file.c_str(), &temp));
  std::string tempPath = ToLinuxPath(temp);
  EXPECT_EQ(std::filesystem::path(tempPath).parent_path(), dirs.root);
  EXPECT_NE(tempPath, file);
  EXPECT_EQ(ReadFile(tempPath), ReadFile(dirs.LogPath("System")));
  EXPECT_EQ(audit_test::FileMode(tempPath), 0600u);
  EXPECT_EQ(ReadFile(file), "old backup");
  // A second copy never takes the first one's name.
  std::string second;
  ASSERT_TRUE(BackupEventLogBesideA(h, file.c_str(), &second));
  EXPECT_NE(second, temp);
  EXPECT_EQ(ReadFile(tempPath), ReadFile(dirs.LogPath("System")));
  CloseEventLog(h);
}

TEST_F(EventLogTest, ClearKeepsTheLogsOwnerAndMode) {
  ASSERT_EQ(chmod(dirs.LogPath("System").c_str(), 0640), 0);
  HANDLE h = OpenEventLogA(nullptr, "System");
  ASSERT_NE(h, nullptr);
  std::string file = dirs.root + "/sys.evt";
  ASSERT_TRUE(BackupEventLogA(h, file.c_str()));
  ASSERT_TRUE(ClearEventLogA(h, nullptr));
  EXPECT_EQ(ReadFile(dirs.LogPath("System")), "");
  EXPECT_EQ(audit_test::FileMode(dirs.LogPath("System")), 0640u);
  // Nobody else had the old file open: nothing is left beside the log.
  for (const auto& e : std::filesystem::directory_iterator(dirs.logs))
    EXPECT_EQ(e.path().filename().string().find(".cleared-"), std::string::npos);
  CloseEventLog(h);
}

// Files left beside the log other than the given ones.
std::vector<std::string> LeftBeside(const std::string& logs) {
  std::vector<std::string> out;
  for (const auto& e : std::filesystem::directory_iterator(logs)) {
    std::string name = e.path().filename().string();
    if (name.find(".cleared-") != std::string::npos || name.find(".backedup-") != std::string::npos)
      out.push_back(name);
  }
  return out;
}

TEST_F(EventLogTest, AClearTheBackupCannotTakeLeavesTheLogWithEveryRecord) {
  std::string log = dirs.LogPath("Application"), file = dirs.root + "/app.evt";
  HANDLE h = OpenEventLogA(nullptr, "Application");
  ASSERT_NE(h, nullptr);
  ASSERT_TRUE(BackupEventLogA(h, file.c_str()));
  std::string saved = ReadFile(file), records;
  for (int i = 0; i < 40; ++i) records += "record " + std::to_string(i) + " after the backup\n";
  audit_test::AppendFile(log, records);
  // The backup has room for part of one more record only.
  struct rlimit before;
  getrlimit(RLIMIT_FSIZE, &before);
  struct rlimit full = before;
  full.rlim_cur = saved.size() + 10;
  sighandler_t previous = signal(SIGXFSZ, SIG_IGN);
  setrlimit(RLIMIT_FSIZE, &full);
  BOOL cleared = ClearEventLogA(h, nullptr);
  setrlimit(RLIMIT_FSIZE, &before);
  signal(SIGXFSZ, previous);
  EXPECT_FALSE(cleared);
  std::string kept = ReadFile(log), backup = ReadFile(file);
  EXPECT_TRUE(kept == saved + records) << "the log has " << kept.size() << " bytes";
  EXPECT_TRUE(backup == saved) << "the backup has " << backup.size() << " bytes";  // none cut
  EXPECT_TRUE(LeftBeside(dirs.logs).empty());
  CloseEventLog(h);
}

TEST_F(EventLogTest, LeftoversGoIntoTheNextBackupOnceLetGoAndStaleCopiesGo) {
  std::string log = dirs.LogPath("System"), beside = log + ".cleared-Ended1";
  std::string before = ReadFile(log);
  int writer = open(log.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);  // keeps the old log open
  HANDLE h = OpenEventLogA(nullptr, "System");
  ASSERT_NE(h, nullptr);
  ASSERT_TRUE(BackupEventLogA(h, (dirs.root + "/first.evt").c_str()));
  ASSERT_TRUE(ClearEventLogA(h, nullptr));
  ASSERT_EQ(write(writer, "after the clear\n", 16), 16);
  ASSERT_EQ(EventLogLeftoversA(h).size(), 1u);  // named, not lost
  CloseEventLog(h);
  // A run ended right after its swap leaves a leftover without a note; runs
  // ended while copying leave temporary copies.
  audit_test::WriteFile(beside, "left by a run ended after its swap\n");
  audit_test::WriteFile(dirs.root + "/.evtbackup.Ended1", "copy of a run ended midway");
  audit_test::WriteFile(dirs.root + "/.evtbackup.Busy01", "copy being written");
  audit_test::WriteFile(dirs.root + "/.evtbackup.mine", "a file of the user's");
  int busy = open((dirs.root + "/.evtbackup.Busy01").c_str(), O_RDONLY | O_CLOEXEC);

  struct {
    bool writerOpen;
    const char* file;
    std::vector<std::string> held;  // records the backup holds once
  } rounds[] = {
      {true, "/second.evt", {"left by a run ended after its swap\n"}},  // still written to: stays
      {false, "/third.evt", {"after the clear\n"}},
  };
  for (const auto& r : rounds) {
    SCOPED_TRACE(r.file);
    if (!r.writerOpen) close(writer);
    h = OpenEventLogA(nullptr, "System");
    ASSERT_NE(h, nullptr);
    ASSERT_TRUE(BackupEventLogA(h, (dirs.root + r.file).c_str()));
    EXPECT_EQ(EventLogLeftoversA(h).size(), r.writerOpen ? 1u : 0u);
    CloseEventLog(h);
    std::string backup = ReadFile(dirs.root + r.file), all;
    for (const std::string& record : r.held) all += record;
    EXPECT_EQ(backup, all);  // nothing an earlier backup holds
  }
  EXPECT_EQ(ReadFile(dirs.root + "/first.evt"), before);
  EXPECT_TRUE(LeftBeside(dirs.logs).empty());
  EXPECT_FALSE(audit_test::Exists(dirs.root + "/.evtbackup.Ended1"));
  EXPECT_TRUE(audit_test::Exists(dirs.root + "/.evtbackup.Busy01"));
  EXPECT_TRUE(audit_test::Exists(dirs.root + "/.evtbackup.mine"));
  close(busy);
}

TEST_F(EventLogTest, ClearKeepsTheLogsAccessControlListAndAttributes) {
  std::string log = dirs.LogPath("Security");
  // user::rw- user:nobody:rw- group::r-- mask::rw- other::---
  const uint32_t acl[] = {2,          0x00060001, ~0u, 0x00060002, 65534, 0x00040004,
                          ~0u,        0x00060010, ~0u, 0x00000020, ~0u};
  const std::pair<std::string, std::string> attrs[] = {
      {"system.posix_acl_access", std::string(reinterpret_cast<const char*>(acl), sizeof acl)},
      {"user.origin", "kept"},
      {"security.audit_test", "label"}};
  std::vector<std::pair<std::string, std::string>> set;
  for (const auto& [name, value] : attrs)
    if (setxattr(log.c_str(), name.c_str(), value.data(), value.size(), 0) == 0)
      set.emplace_back(name, value);
  if (set.empty() || set[0].first != attrs[0].first)
    GTEST_SKIP() << "no access control lists on " << dirs.logs;
  unsigned mode = audit_test::FileMode(log);
  HANDLE h = OpenEventLogA(nullptr, "Security");
  ASSERT_NE(h, nullptr);
  ASSERT_TRUE(BackupEventLogA(h, (dirs.root + "/sec.evt").c_str()));
  ASSERT_TRUE(ClearEventLogA(h, nullptr));
  CloseEventLog(h);
  EXPECT_EQ(ReadFile(log), "");
  EXPECT_EQ(audit_test::FileMode(log), mode);
  for (const auto& [name, value] : set) {
    char got[256];
    ssize_t n = getxattr(log.c_str(), name.c_str(), got, sizeof got);
    EXPECT_EQ(n < 0 ? "<none>" : std::string(got, static_cast<size_t>(n)), value) << name;
  }
}

// Writers append numbered records to a log while it is backed up and
// cleared; every record written must end up in the backup, in the new log,
// or in the old file left beside the log (while a writer keeps that open, a
// writer that opened it just before the swap may also land there), and none
// may be in both the backup and the new log.
class ClearStressTest : public EventLogTest {
 protected:
  struct Writer {
    bool keepOpen;
    std::vector<std::string> written;
    int openFailures = 0;
  };

  void WriterLoop(Writer& w, int id) {
    std::string path = dirs.LogPath("System");
    int fd = w.keepOpen ? open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC) : -1;
    for (int seq = 0; !stop_.load(std::memory_order_relaxed); ++seq) {
      if (!w.keepOpen) {
        fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
        if (fd < 0) {
          ++w.openFailures;
          continue;
        }
      }
      std::string record = "writer " + std::to_string(id) + " record " + std::to_string(seq) +
                           "\n";
      if (write(fd, record.data(), record.size()) == static_cast<ssize_t>(record.size())) {
        w.written.push_back(record);
        if (w.written.size() == 1) ++ready_;
      }
      if (!w.keepOpen) close(fd);
    }
    if (w.keepOpen && fd >= 0) close(fd);
  }

  static std::multiset<std::string> Records(const std::string& text) {
    std::multiset<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.insert(line + "\n");
    return out;
  }

  // Runs one backup and clear while the writers write.
  void Round(int perWrite, int keepOpen, int round) {
    SCOPED_TRACE("round " + std::to_string(round));
    audit_test::WriteFile(dirs.LogPath("System"), "before the run\n");
    std::string file = dirs.root + "/sys" + std::to_string(round) + ".evt";
    std::vector<Writer> writers;
    for (int i = 0; i < perWrite; ++i) writers.push_back(Writer{false, {}, 0});
    for (int i = 0; i < keepOpen; ++i) writers.push_back(Writer{true, {}, 0});
    stop_ = false;
    ready_ = 0;
    std::vector<std::thread> threads;
    threads.reserve(writers.size());
    for (size_t i = 0; i < writers.size(); ++i)
      threads.emplace_back([this, &writers, i] { WriterLoop(writers[i], static_cast<int>(i)); });
    // Every writer has opened the log and written to it before the backup.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (ready_ < static_cast<int>(writers.size()) && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (ready_ < static_cast<int>(writers.size())) {
      stop_ = true;
      for (auto& t : threads) t.join();
      FAIL() << "the writers did not start writing";
    }
    HANDLE h = OpenEventLogA(nullptr, "System");
    ASSERT_NE(h, nullptr);
    ASSERT_TRUE(BackupEventLogA(h, file.c_str()));
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ASSERT_TRUE(ClearEventLogA(h, nullptr)) << GetLastError();
    std::this_thread::sleep_for(std::chrono::milliseconds(3));
    stop_ = true;
    for (auto& t : threads) t.join();
    CloseEventLog(h);

    auto saved = Records(ReadFile(file));
    auto fresh = Records(ReadFile(dirs.LogPath("System")));
    std::multiset<std::string> beside;
    int left = 0;
    for (const auto& e : std::filesystem::directory_iterator(dirs.logs)) {
      if (e.path().filename().string().find("syslog.cleared-") != 0) continue;
      ++left;
      auto r = Records(ReadFile(e.path().string()));
      beside.insert(r.begin(), r.end());
      std::filesystem::remove(e.path());
    }
    EXPECT_EQ(saved.count("before the run\n"), 1u);
    size_t total = 0;
    for (const Writer& w : writers) {
      EXPECT_EQ(w.openFailures, 0) << "the log's name was missing for a moment";
      total += w.written.size();
      for (const std::string& r : w.written) {
        size_t inLogs = saved.count(r) + fresh.count(r);
        ASSERT_TRUE(inLogs == 1 || (inLogs == 0 && beside.count(r) == 1))
            << "record " << r << " in backup " << saved.count(r) << ", new log "
            << fresh.count(r) << ", beside " << beside.count(r);
      }
    }
    EXPECT_GT(total, 0u);
    // Nothing else is in them: no record is cut or doubled.
    size_t known = 0;
    for (const Writer& w : writers)
      for (const std::string& r : w.written) known += saved.count(r) + fresh.count(r);
    EXPECT_EQ(known + 1, saved.size() + fresh.size());
    // Without a writer that keeps it open, the old file is gone.
    if (left > 0) ++roundsWithOldFileLeft_;
  }

  int roundsWithOldFileLeft_ = 0;

  std::atomic<bool> stop_{false};
  std::atomic<int> ready_{0};  // writers that have written a record
};

TEST_F(ClearStressTest, NoRecordIsLostWhileClearing) {
  for (int round = 0; round < 8 && !HasFatalFailure(); ++round) Round(2, 2, round);
  EXPECT_EQ(roundsWithOldFileLeft_, 8);  // the writers that keep it open still write there
}

TEST_F(ClearStressTest, OpenPerWriteWritersOnlyLeaveNothingBeside) {
  for (int round = 0; round < 15 && !HasFatalFailure(); ++round) Round(3, 0, round);
  // Without a writer that keeps it open the old file goes (a writer that the
  // machine holds up for long with the file open can keep it once in a while).
  EXPECT_LE(roundsWithOldFileLeft_, 2);
}

TEST_F(EventLogTest, BadHandles) {
  EXPECT_FALSE(BackupEventLogA(nullptr, "x"));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(ClearEventLogA(nullptr, nullptr));
  EXPECT_FALSE(CloseEventLog(nullptr));
}

}  // namespace
