#include "audit/platform/event_log.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
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
      if (write(fd, record.data(), record.size()) == static_cast<ssize_t>(record.size()))
        w.written.push_back(record);
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
    std::vector<std::thread> threads;
    threads.reserve(writers.size());
    for (size_t i = 0; i < writers.size(); ++i)
      threads.emplace_back([this, &writers, i] { WriterLoop(writers[i], static_cast<int>(i)); });
    std::this_thread::sleep_for(std::chrono::milliseconds(3));
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
