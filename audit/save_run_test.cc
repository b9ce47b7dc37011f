// The save run without a window: scripted message boxes, temporary folders
// for the logs, the registry and the drives.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "audit/audit_dlg.h"
#include "audit/platform/crt_dirs.h"
#include "audit/resource.h"
#include "audit/tests/scripted_ui.h"
#include "audit/tests/temp_folders.h"

using audit_test::Exists;
using audit_test::ReadFile;
using testing::ElementsAre;
using testing::ElementsAreArray;
using namespace plat;

namespace {

class SaveRunTest : public testing::Test {
 protected:
  SaveRunTest() {
    dirs.WriteLogs("one");
    dirs.MakeDrive('d');
    dlg.Create(IDD_AUDIT_DIALOG);
  }

  std::vector<std::string> Lines() const { return dlg.m_Progress.Lines(); }
  // The lines of the last run only.
  std::vector<std::string> RunLines() const {
    auto lines = Lines();
    size_t start = 0;
    for (size_t i = 0; i < lines.size(); ++i)
      if (lines[i] == "----------------") start = i;
    return {lines.begin() + static_cast<long>(start), lines.end()};
  }
  std::string DriveFolder() const {
    return dirs.drives + "/d/Junk/" + DateText() + "/mine/";
  }
  void ExpectBackupsEqualLogs(const std::string& folder) const {
    for (auto [file, log] : {std::pair{"sys.evt", "System"}, {"app.evt", "Application"},
                             {"sec.evt", "Security"}}) {
      std::string backup = ReadFile(folder + file), content = ReadFile(dirs.LogPath(log));
      EXPECT_TRUE(backup == content) << folder << file << ": " << backup.size()
                                     << " bytes, the log " << content.size();
    }
  }

  // Temporary copies left in a folder (there must be none).
  static int LeftoverCopies(const std::string& folder) {
    int n = 0;
    for (const auto& e : std::filesystem::directory_iterator(folder))
      if (e.path().filename().string().find(".evtbackup") != std::string::npos) ++n;
    return n;
  }

  audit_test::TempFolders dirs;
  audit_test::ScriptedUi ui;
  CAuditDlg dlg;
};

TEST_F(SaveRunTest, FreshDriveModeRunMakesTheFoldersAndSavesTheThreeLogs) {
  dlg.OnBnClickedGo();
  std::string date = DateText();
  EXPECT_THAT(RunLines(),
              ElementsAre("----------------", "Checking File Paths...",
                          "Creating Directory d:\\Junk\\.",
                          "Creating Directory d:\\Junk\\" + date + "\\.",
                          "Creating Directory d:\\Junk\\" + date + "\\mine\\.", "Paths OK.",
                          "Saving System Log...", "Save Successful.",
                          "Saving Application Log...", "Save Successful.",
                          "Saving Security Log...", "Save Successful.",
                          "Operation Completed Successfully."));
  ExpectBackupsEqualLogs(DriveFolder());
  // Backups, the security log's above all, are for their owner only.
  EXPECT_EQ(audit_test::FileMode(DriveFolder() + "sec.evt"), 0600u);
  EXPECT_EQ(audit_test::FileMode(DriveFolder() + "sys.evt"), 0600u);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, "Operation Completed Successfully.");
  EXPECT_EQ(ui.boxes[0].style, MB_OK);
  // The newest line is always in view.
  EXPECT_EQ(dlg.m_Progress.GetTopIndex(), dlg.m_Progress.GetCount() - 1);
  // The logs are left alone without clearing.
  EXPECT_NE(ReadFile(dirs.LogPath("System")), "");
}

TEST_F(SaveRunTest, SecondRunAsksForEachLogAndKeepsWhatIsRefused) {
  dlg.OnBnClickedGo();
  std::string oldSys = ReadFile(DriveFolder() + "sys.evt");
  dirs.WriteLogs("two");
  dlg.m_Clear = 1;
  ui.boxes.clear();
  ui.answers = {IDNO, IDYES, IDYES};
  dlg.OnBnClickedGo();
  EXPECT_THAT(RunLines(),
              ElementsAre("----------------", "Checking File Paths...", "Paths OK.",
                          "Saving System Log...", "System Log Not Overwritten.",
                          "Saving Application Log...", "Save Successful.",
                          "Saving Security Log...", "Save Successful.",
                          "Operation Encountered Errors."));
  ASSERT_EQ(ui.boxes.size(), 4u);
  EXPECT_EQ(ui.boxes[0].text, "System Log Exists. Overwrite?");
  EXPECT_EQ(ui.boxes[0].style, MB_YESNO | MB_ICONQUESTION);
  EXPECT_EQ(ui.boxes[1].text, "Application Log Exists. Overwrite?");
  EXPECT_EQ(ui.boxes[2].text, "Security Log Exists. Overwrite?");
  EXPECT_EQ(ui.boxes[3].text, "Operation Encountered Errors. Consult Log.");
  EXPECT_EQ(ui.boxes[3].style, MB_OK);
  // Refused: the old backup stays; accepted: replaced by the new one.
  EXPECT_EQ(ReadFile(DriveFolder() + "sys.evt"), oldSys);
  EXPECT_EQ(ReadFile(DriveFolder() + "app.evt"), ReadFile(dirs.LogPath("Application")));
  EXPECT_EQ(ReadFile(DriveFolder() + "sec.evt"), ReadFile(dirs.LogPath("Security")));
  EXPECT_EQ(LeftoverCopies(DriveFolder()), 0);
  // A refusal switches clearing off for the rest of the run.
  EXPECT_NE(ReadFile(dirs.LogPath("Application")), "");
  EXPECT_NE(ReadFile(dirs.LogPath("Security")), "");
}

TEST_F(SaveRunTest, OverwriteWithClearingReplacesTheBackupsAndEmptiesTheLogs) {
  dlg.OnBnClickedGo();
  dirs.WriteLogs("two");
  std::string sys = ReadFile(dirs.LogPath("System"));
  std::string app = ReadFile(dirs.LogPath("Application"));
  std::string sec = ReadFile(dirs.LogPath("Security"));
  dlg.m_Clear = 1;
  ui.answers = {IDYES, IDYES, IDYES};
  dlg.OnBnClickedGo();
  EXPECT_THAT(RunLines(),
              ElementsAre("----------------", "Checking File Paths...", "Paths OK.",
                          "Saving System Log...", "System Log Cleared.", "Save Successful.",
                          "Saving Application Log...", "Application Log Cleared.",
                          "Save Successful.", "Saving Security Log...", "Security Log Cleared.",
                          "Save Successful.", "Operation Completed Successfully."));
  EXPECT_EQ(ReadFile(DriveFolder() + "sys.evt"), sys);
  EXPECT_EQ(ReadFile(DriveFolder() + "app.evt"), app);
  EXPECT_EQ(ReadFile(DriveFolder() + "sec.evt"), sec);
  EXPECT_EQ(ReadFile(dirs.LogPath("System")), "");
  EXPECT_EQ(ReadFile(dirs.LogPath("Security")), "");
  EXPECT_EQ(audit_test::FileMode(DriveFolder() + "sec.evt"), 0600u);
}

TEST_F(SaveRunTest, ReadOnlyOldBackupCannotBeDeleted) {
  dlg.OnBnClickedGo();
  chmod((DriveFolder() + "sys.evt").c_str(), 0444);
  std::string oldSys = ReadFile(DriveFolder() + "sys.evt");
  dirs.WriteLogs("two");
  dlg.m_Clear = 1;
  ui.answers = {IDYES, IDYES, IDYES};
  dlg.OnBnClickedGo();
  EXPECT_THAT(RunLines(),
              ElementsAre("----------------", "Checking File Paths...", "Paths OK.",
                          "Saving System Log...", "Could Not Delete Old Log File! Error Code: 13",
                          "Saving Application Log...", "Save Successful.",
                          "Saving Security Log...", "Save Successful.",
                          "Operation Encountered Errors."));
  EXPECT_EQ(ReadFile(DriveFolder() + "sys.evt"), oldSys);
  EXPECT_EQ(LeftoverCopies(DriveFolder()), 0);
  EXPECT_NE(ReadFile(dirs.LogPath("Application")), "");  // no clearing after the failure
}

TEST_F(SaveRunTest, OldBackupThatIsAFolderIsNotReplaced) {
  std::string folder = DriveFolder();
  dlg.OnBnClickedGo();
  ASSERT_EQ(unlink((folder + "app.evt").c_str()), 0);
  ASSERT_EQ(mkdir((folder + "app.evt").c_str(), 0755), 0);
  audit_test::WriteFile(folder + "app.evt/inside", "kept");
  dlg.m_Clear = 1;
  ui.answers = {IDNO, IDYES, IDYES};
  dlg.OnBnClickedGo();
  EXPECT_THAT(RunLines(),
              ElementsAre("----------------", "Checking File Paths...", "Paths OK.",
                          "Saving System Log...", "System Log Not Overwritten.",
                          "Saving Application Log...",
                          "Could Not Delete Old Log File! Error Code: 13",
                          "Saving Security Log...", "Save Successful.",
                          "Operation Encountered Errors."));
  EXPECT_EQ(ReadFile(folder + "app.evt/inside"), "kept");
  EXPECT_EQ(LeftoverCopies(folder), 0);
}

TEST_F(SaveRunTest, FilesOfTheUsersBesideTheBackupsAreLeftAlone) {
  dlg.OnBnClickedGo();
  // Files named like a temporary copy could be: one of them read-only.
  audit_test::WriteFile(DriveFolder() + "sys.evt.new", "the user's own");
  chmod((DriveFolder() + "sys.evt.new").c_str(), 0444);
  audit_test::WriteFile(DriveFolder() + "app.evt.new", "also the user's");
  dirs.WriteLogs("two");
  ui.answers = {IDYES, IDYES, IDYES};
  dlg.OnBnClickedGo();
  EXPECT_EQ(RunLines().back(), "Operation Completed Successfully.");
  EXPECT_EQ(ReadFile(DriveFolder() + "sys.evt.new"), "the user's own");
  EXPECT_EQ(ReadFile(DriveFolder() + "app.evt.new"), "also the user's");
  ExpectBackupsEqualLogs(DriveFolder());
  EXPECT_EQ(LeftoverCopies(DriveFolder()), 0);
}

TEST_F(SaveRunTest, FailedNewBackupKeepsTheOldOne) {
  dlg.OnBnClickedGo();
  std::string oldSys = ReadFile(DriveFolder() + "sys.evt");
  dirs.WriteLogs("two");
  ui.answers = {IDYES};
  chmod(DriveFolder().c_str(), 0555);  // no new file can be made in the folder
  {
    audit_test::Unprivileged asNobody;
    dlg.OnBnClickedGo();
  }
  chmod(DriveFolder().c_str(), 0755);
  auto lines = RunLines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[lines.size() - 2], "Could Not Save System Log! Error Code: 5");
  EXPECT_EQ(lines.back(), "Aborting.");
  EXPECT_EQ(ReadFile(DriveFolder() + "sys.evt"), oldSys);
  EXPECT_EQ(ui.boxes.back().style, MB_OK | MB_ICONHAND);
}

TEST_F(SaveRunTest, ALogThatIsNoFileStopsTheRun) {
  ASSERT_EQ(unlink(dirs.LogPath("Application").c_str()), 0);
  ASSERT_EQ(mkdir(dirs.LogPath("Application").c_str(), 0755), 0);
  dlg.OnBnClickedGo();
  auto lines = RunLines();
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[lines.size() - 3], "Saving Application Log...");
  EXPECT_EQ(lines[lines.size() - 2], "Could Not Open Application Log! Error Code: 1500");
  EXPECT_EQ(lines.back(), "Aborting.");
}

TEST_F(SaveRunTest, AutomaticModeWithPresetAnswers) {
  std::string base = dirs.root + "/auto/";
  ASSERT_EQ(mkdir(base.c_str(), 0755), 0);
  dlg.m_AutoMode = true;
  dlg.m_AutoLocation = base;
  dlg.m_OverwriteAnswer = IDNO;
  dlg.m_Clear = 1;
  std::string folder = base + DateText() + "/";

  dlg.OnBnClickedGo();  // a new day: folder made, everything saved and cleared
  EXPECT_THAT(RunLines(),
              ElementsAre("----------------", "Checking File Paths...",
                          "Creating Directory " + base + DateText() + "\\.",
                          "Saving System Log...", "System Log Cleared.", "Save Successful.",
                          "Saving Application Log...", "Application Log Cleared.",
                          "Save Successful.", "Saving Security Log...", "Security Log Cleared.",
                          "Save Successful.", "Operation Completed Successfully."));
  EXPECT_TRUE(ui.boxes.empty());  // success is silent in automatic mode
  EXPECT_NE(ReadFile(folder + "app.evt"), "");

  // "nooverwrite": nothing asked, nothing replaced, nothing cleared.
  dirs.WriteLogs("two");
  dlg.OnBnClickedGo();
  EXPECT_THAT(RunLines(),
              ElementsAre("----------------", "Checking File Paths...", "Saving System Log...",
                          "System Log Not Overwritten.", "Saving Application Log...",
                          "Application Log Not Overwritten.", "Saving Security Log...",
                          "Security Log Not Overwritten.", "Operation Encountered Errors."));
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, "Operation Encountered Errors. Consult Log.");
  EXPECT_NE(ReadFile(dirs.LogPath("System")), "");

  // "overwrite": replaced without a question.
  ui.boxes.clear();
  dlg.m_OverwriteAnswer = IDYES;
  dlg.m_Clear = 0;
  dlg.OnBnClickedGo();
  EXPECT_EQ(RunLines().back(), "Operation Completed Successfully.");
  EXPECT_TRUE(ui.boxes.empty());
  EXPECT_EQ(ui.unansweredQuestions, 0);
  ExpectBackupsEqualLogs(folder);
}

TEST_F(SaveRunTest, AutomaticModeWithoutAnswerAsksAndBaseWithoutSeparatorGetsTheDate) {
  dlg.m_AutoMode = true;
  dlg.m_AutoLocation = dirs.root + "/base";
  ASSERT_EQ(mkdir(dlg.m_AutoLocation.c_str(), 0755), 0);
  dlg.OnBnClickedGo();
  std::string folder = dirs.root + "/base" + DateText() + "/";
  EXPECT_EQ(RunLines().back(), "Operation Completed Successfully.");
  ExpectBackupsEqualLogs(folder);
  ui.answers = {IDNO, IDNO, IDNO};
  dlg.OnBnClickedGo();
  EXPECT_EQ(ui.boxes.size(), 4u);  // three questions and the error summary
}

TEST_F(SaveRunTest, AutomaticBaseMissingStops) {
  dlg.m_AutoMode = true;
  dlg.m_AutoLocation = dirs.root + "/missing/";
  dlg.OnBnClickedGo();
  std::string text = "Could Not Open Automatic Save Directory " + dirs.root + "/missing/";
  EXPECT_THAT(RunLines(), ElementsAre("----------------", "Checking File Paths...", text,
                                      "Aborting."));
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, text);
  EXPECT_EQ(ui.boxes[0].style, MB_OK | MB_ICONHAND);
}

TEST_F(SaveRunTest, CustomFolderThatVanishedStopsAndMakesNothing) {
  std::string custom = dirs.root + "/custom";
  dlg.m_CustomPath = true;
  dlg.m_Path = "\\" + custom.substr(1) + "\\";
  dlg.UpdateData(FALSE);
  dlg.OnBnClickedGo();
  std::string text = "Could Not Open Custom Directory " + dlg.m_Path;
  EXPECT_THAT(RunLines(), ElementsAre("----------------", "Checking File Paths...", text,
                                      "Aborting."));
  EXPECT_FALSE(Exists(custom));
  EXPECT_FALSE(Exists(dirs.drives + "/d/Junk"));

  ASSERT_EQ(mkdir(custom.c_str(), 0755), 0);
  dlg.OnBnClickedGo();
  EXPECT_THAT(RunLines(), testing::Not(testing::Contains("Paths OK.")));
  EXPECT_EQ(RunLines().back(), "Operation Completed Successfully.");
  ExpectBackupsEqualLogs(custom + "/");
}

TEST_F(SaveRunTest, DriveLetters) {
  // Lower and upper case name the same drive; the letter keeps its case in the names.
  dlg.m_Drive = "D:";
  dlg.UpdateData(FALSE);
  dlg.OnBnClickedGo();
  EXPECT_EQ(RunLines()[2], "Creating Directory D:\\Junk\\.");
  ExpectBackupsEqualLogs(DriveFolder());

  // The message shows the first character as typed, all of its bytes.
  for (auto [drive, shown] : {std::pair{"q", "q"}, {"1", "1"}, {"[", "["},
                              {"\xC3\xA9", "\xC3\xA9"}, {"\xE2\x82\xAC:", "\xE2\x82\xAC"}}) {
    ui.boxes.clear();
    dlg.m_Drive = drive;
    dlg.UpdateData(FALSE);
    dlg.OnBnClickedGo();
    std::string text = std::string("Drive ") + shown + ": Not Found!";
    EXPECT_THAT(RunLines(), ElementsAre("----------------", "Checking File Paths...", text,
                                        "Aborting."));
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].style, MB_OK | MB_ICONHAND);
  }
  dlg.m_Drive = "";
  dlg.UpdateData(FALSE);
  dlg.OnBnClickedGo();
  EXPECT_EQ(RunLines()[2], "Drive : Not Found!");
}

TEST_F(SaveRunTest, TheRunWorksWithWhatTheLabelsShow) {
  dlg.m_SysName = "member-only";
  dlg.SetDlgItemText(IDC_SYSNAME, "shown");
  dlg.OnBnClickedGo();
  EXPECT_EQ(dlg.m_SysName, "shown");
  EXPECT_TRUE(Exists(dirs.drives + "/d/Junk/" + DateText() + "/shown/sys.evt"));
}

TEST_F(SaveRunTest, FolderThatCannotBeMadeStops) {
  audit_test::WriteFile(dirs.drives + "/d/Junk", "a file where a folder should be");
  dlg.OnBnClickedGo();
  auto lines = RunLines();
  // A file named like the folder is no folder: making it fails.
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[2], "Creating Directory d:\\Junk\\.");
  EXPECT_EQ(lines[3], "Could Not Create Directory d:\\Junk\\! Error Code: 17");
  EXPECT_EQ(lines[4], "Aborting.");
}

TEST_F(SaveRunTest, MissingLogStopsTheRunAfterTheOthersWereSaved) {
  ASSERT_EQ(unlink(dirs.LogPath("Security").c_str()), 0);
  dlg.m_Clear = 1;
  dlg.OnBnClickedGo();
  auto lines = RunLines();
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[lines.size() - 3], "Saving Security Log...");
  EXPECT_EQ(lines[lines.size() - 2], "Could Not Open Security Log! Error Code: 2");
  EXPECT_EQ(lines.back(), "Aborting.");
  // What was done before the stop stays done.
  EXPECT_TRUE(Exists(DriveFolder() + "sys.evt"));
  EXPECT_TRUE(Exists(DriveFolder() + "app.evt"));
  EXPECT_FALSE(Exists(DriveFolder() + "sec.evt"));
  EXPECT_EQ(ReadFile(dirs.LogPath("System")), "");
  EXPECT_EQ(ui.boxes.back().text, "Could Not Open Security Log! Error Code: 2");
}

TEST_F(SaveRunTest, ClearFailureStillSavesAndEndsWithTheErrorSummary) {
  std::string sys = ReadFile(dirs.LogPath("System"));
  for (const char* log : {"System", "Application", "Security"})
    chmod(dirs.LogPath(log).c_str(), 0444);
  {
    audit_test::Unprivileged asNobody;  // the logs are readable but not writable
    dlg.m_Clear = 1;
    dlg.OnBnClickedGo();
  }
  EXPECT_THAT(RunLines(), testing::IsSupersetOf({"Could Not Clear System Log. Error Code: 5",
                                                 "Could Not Clear Application Log. Error Code: 5",
                                                 "Could Not Clear Security Log. Error Code: 5"}));
  auto lines = RunLines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "Save Successful."), 3);
  EXPECT_EQ(lines.back(), "Operation Encountered Errors.");
  EXPECT_EQ(ui.boxes.back().text, "Operation Encountered Errors. Consult Log.");
  EXPECT_EQ(ReadFile(DriveFolder() + "sys.evt"), sys);
  EXPECT_EQ(ReadFile(dirs.LogPath("System")), sys);
}

TEST_F(SaveRunTest, ALeftoverThatAWriterHoldsIsNamed) {
  std::string left = dirs.LogPath("System") + ".cleared-Held01";
  audit_test::WriteFile(left, "written after a clear by a writer that keeps it open\n");
  int writer = open(left.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  dlg.OnBnClickedGo();
  close(writer);
  EXPECT_THAT(RunLines(),
              testing::Contains("System Log Records Left In " + ToWindowsPath(left) + "."));
  EXPECT_TRUE(Exists(left));
}

TEST_F(SaveRunTest, LinesOfEarlierRunsStay) {
  dlg.OnBnClickedGo();
  int first = dlg.m_Progress.GetCount();
  dlg.OnBnClickedGo();
  ui.answers = {};
  EXPECT_GT(dlg.m_Progress.GetCount(), first);
  EXPECT_EQ(dlg.m_Progress.GetText(0), "Error: Could Not Find Registry Keys.");
}

}  // namespace
