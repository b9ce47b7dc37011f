#include "audit/folder_dialog.h"

#include <gtest/gtest.h>

#include "audit/tests/scripted_ui.h"
#include "audit/tests/temp_folders.h"

using namespace plat;

namespace {

TEST(FolderDialogTest, ChosenFolderComesBackInWindowsForm) {
  audit_test::TempFolders dirs;
  audit_test::ScriptedUi ui;
  std::string d = dirs.MakeDrive('d');
  ui.folders.push_back({IDOK, d + "/backups"});
  CFolderDialog dlg("Pick.", "d:\\start\\", nullptr, BIF_RETURNONLYFSDIRS);
  EXPECT_EQ(dlg.DoModal(), IDOK);
  EXPECT_STREQ(dlg.m_SelectedPath, "d:\\backups");
  ASSERT_EQ(ui.browseStarts.size(), 1u);
  EXPECT_EQ(ui.browseStarts[0], d + "/start/");  // preselected when the browser opened
  EXPECT_EQ(ui.browseTitles[0], "Pick.");

  ui.folders.push_back({IDOK, "/srv/logs"});
  CFolderDialog other("Pick.", nullptr, nullptr, BIF_RETURNONLYFSDIRS);
  EXPECT_EQ(other.DoModal(), IDOK);
  EXPECT_STREQ(other.m_SelectedPath, "\\srv\\logs");
  EXPECT_EQ(ui.browseStarts[1], "");  // nothing preselected
}

TEST(FolderDialogTest, CancelAndPathsWithoutAFileSystemPath) {
  audit_test::ScriptedUi ui;
  CFolderDialog cancelled("t", "", nullptr, BIF_RETURNONLYFSDIRS);
  EXPECT_EQ(cancelled.DoModal(), IDCANCEL);
  EXPECT_STREQ(cancelled.m_SelectedPath, "");

  ui.folders.push_back({IDOK, "/" + std::string(300, 'x')});
  CFolderDialog tooLong("t", "", nullptr, BIF_RETURNONLYFSDIRS);
  EXPECT_EQ(tooLong.DoModal(), -1);
  EXPECT_STREQ(tooLong.m_SelectedPath, "");
}

TEST(FolderDialogTest, InitialFolderThatDoesNotFitIsNotCut) {
  audit_test::ScriptedUi ui;
  std::string longFolder(300, 'y');
  CFolderDialog dlg("t", longFolder.c_str(), nullptr, BIF_RETURNONLYFSDIRS);
  EXPECT_STREQ(dlg.m_InitialFolder, "");
  dlg.DoModal();
  EXPECT_EQ(ui.browseStarts[0], "");
}

TEST(FolderDialogTest, FailedValidationBeepsAndKeepsTheBrowserOpen) {
  audit_test::ScriptedUi ui;
  CFolderDialog dlg("t", "", nullptr, BIF_RETURNONLYFSDIRS);
  EXPECT_EQ(dlg.m_bi.lpfn(nullptr, BFFM_VALIDATEFAILEDA, 0, dlg.m_bi.lParam), 1);
  EXPECT_EQ(ui.beeps, 1);
  EXPECT_EQ(dlg.m_hBrowser, nullptr);  // set only while a callback runs
}

}  // namespace
