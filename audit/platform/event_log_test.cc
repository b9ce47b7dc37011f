#include "audit/platform/event_log.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

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

TEST_F(EventLogTest, BadHandles) {
  EXPECT_FALSE(BackupEventLogA(nullptr, "x"));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(ClearEventLogA(nullptr, nullptr));
  EXPECT_FALSE(CloseEventLog(nullptr));
}

}  // namespace
