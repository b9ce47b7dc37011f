#include "audit/platform/crt_dirs.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <regex>

#include "audit/tests/temp_folders.h"

using namespace plat;

namespace {

TEST(CrtDirsTest, PathsTranslateBothWays) {
  audit_test::TempFolders dirs;
  EXPECT_EQ(ToLinuxPath("d:\\Junk\\12-09-26\\mine\\"), dirs.drives + "/d/Junk/12-09-26/mine/");
  EXPECT_EQ(ToLinuxPath("D:\\sys.evt"), dirs.drives + "/d/sys.evt");
  EXPECT_EQ(ToLinuxPath("\\tmp\\x\\"), "/tmp/x/");
  EXPECT_EQ(ToLinuxPath("/tmp/x/"), "/tmp/x/");
  EXPECT_EQ(ToLinuxPath(".\\"), "./");
  EXPECT_EQ(ToWindowsPath(dirs.drives + "/d/Junk"), "d:\\Junk");
  EXPECT_EQ(ToWindowsPath(dirs.drives + "/d"), "d:\\");
  EXPECT_EQ(ToWindowsPath("/srv/backups"), "\\srv\\backups");
  // A drive path never leaves its drive's folder.
  EXPECT_EQ(ToLinuxPath("d:\\..\\..\\etc\\"), dirs.drives + "/d/etc/");
  EXPECT_EQ(ToLinuxPath("d:\\Junk\\.\\..\\x"), dirs.drives + "/d/x");
  EXPECT_EQ(ToLinuxPath("d:\\.."), dirs.drives + "/d/");
  EXPECT_EQ(ToLinuxPath("d:"), dirs.drives + "/d");
  // Only letters name drives.
  EXPECT_EQ(ToLinuxPath("1:\\x"), "1:/x");
}

TEST(CrtDirsTest, DrivesArePresentFoldersUnderTheDriveRoot) {
  audit_test::TempFolders dirs;
  EXPECT_EQ(_getdrives(), 0u);
  dirs.MakeDrive('a');
  dirs.MakeDrive('d');
  audit_test::WriteFile(dirs.drives + "/e", "a file is no drive");
  EXPECT_EQ(_getdrives(), (1ul << 0) | (1ul << 3));
}

TEST(CrtDirsTest, DateIsMonthDayYear) {
  char buf[9];
  std::string date = _strdate(buf);
  EXPECT_TRUE(std::regex_match(date, std::regex("(0[1-9]|1[0-2])/[0-3][0-9]/[0-9][0-9]")))
      << date;
}

TEST(CrtDirsTest, FoldersAndFiles) {
  audit_test::TempFolders dirs;
  std::string base = dirs.root + "/a";
  EXPECT_EQ(_access(base, 0), -1);
  EXPECT_EQ(_mkdir(base + "/b"), -1);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_EQ(_mkdir(base), 0);
  EXPECT_EQ(_access(base, 0), 0);
  EXPECT_EQ(_mkdir(base), -1);
  EXPECT_EQ(errno, EEXIST);
  EXPECT_EQ(_access("", 0), -1);

  std::string file = base + "/f";
  audit_test::WriteFile(file, "x");
  chmod(file.c_str(), 0444);
  EXPECT_EQ(plat::remove(file), -1);  // read-only files are refused, as on the platform
  EXPECT_EQ(errno, EACCES);
  EXPECT_TRUE(audit_test::Exists(file));
  EXPECT_EQ(plat::remove(base), -1);  // folders are not files
  chmod(file.c_str(), 0644);
  EXPECT_EQ(plat::remove(file), 0);
  EXPECT_FALSE(audit_test::Exists(file));
  EXPECT_EQ(plat::remove(file), -1);
  EXPECT_EQ(errno, ENOENT);
}

TEST(CrtDirsTest, RenameReplacesOnlyWritableFiles) {
  audit_test::TempFolders dirs;
  std::string a = dirs.root + "/a", b = dirs.root + "/b";
  audit_test::WriteFile(a, "new");
  audit_test::WriteFile(b, "old");
  chmod(b.c_str(), 0444);
  EXPECT_EQ(plat::rename(a, b), -1);
  EXPECT_EQ(audit_test::ReadFile(b), "old");
  chmod(b.c_str(), 0644);
  EXPECT_EQ(plat::rename(a, b), 0);
  EXPECT_EQ(audit_test::ReadFile(b), "new");
  // A folder is not replaced either, as remove does not delete one.
  std::string folder = dirs.root + "/f";
  ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
  EXPECT_EQ(plat::rename(b, folder), -1);
  EXPECT_EQ(errno, EACCES);
  EXPECT_EQ(audit_test::ReadFile(b), "new");
}

}  // namespace
