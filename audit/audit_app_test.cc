// The command line and the unattended start.
#include "audit/audit_app.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "audit/audit_dlg.h"
#include "audit/platform/registry.h"
#include "audit/resource.h"
#include "audit/tests/scripted_ui.h"
#include "audit/tests/temp_folders.h"

using namespace plat;

namespace {

CAuditCommandLineInfo Parse(std::vector<std::string> words) {
  CAuditApp app;
  app.m_args = std::move(words);
  CAuditCommandLineInfo info;
  app.ParseCommandLine(info);
  return info;
}

TEST(CommandLineTest, Flags) {
  auto none = Parse({});
  EXPECT_EQ(none.m_Auto, 0);
  EXPECT_EQ(none.m_ClearOverride, -1);
  EXPECT_EQ(none.m_OverwriteAnswer, -1);
  EXPECT_EQ(none.m_AutoPath, "");

  auto all = Parse({"-auto", "/clear", "-overwrite", "-path:/srv/x y/"});
  EXPECT_EQ(all.m_Auto, 1);
  EXPECT_EQ(all.m_ClearOverride, 1);
  EXPECT_EQ(all.m_OverwriteAnswer, IDYES);
  EXPECT_EQ(all.m_AutoPath, "/srv/x y/");

  // A later flag of the same kind wins.
  auto later = Parse({"-auto", "-clear", "-noclear", "-overwrite", "-nooverwrite"});
  EXPECT_EQ(later.m_ClearOverride, 0);
  EXPECT_EQ(later.m_OverwriteAnswer, IDNO);

  // Case matters, whole words only, and words without a marker do nothing.
  auto ignored = Parse({"-AUTO", "-autox", "auto", "-Path:/x", "-clearly"});
  EXPECT_EQ(ignored.m_Auto, 0);
  EXPECT_EQ(ignored.m_ClearOverride, -1);
  EXPECT_EQ(ignored.m_AutoPath, "");
  EXPECT_EQ(ignored.m_strFileName, "auto");

  auto emptyPath = Parse({"-path:"});
  EXPECT_EQ(emptyPath.m_AutoPath, "");
  auto pathWithColon = Parse({"-path:d:\\backups\\"});
  EXPECT_EQ(pathWithColon.m_AutoPath, "d:\\backups\\");
}

// Stores the defaults as Configure does, with the given automatic-mode
// folder and clear setting.
void StoreDefaults(const std::string& autoLocation, DWORD clear) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Calvetta\\Tervane", 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  char text[80] = {};
  for (const char* name : {"SysName", "Drive", "Type"}) {
    std::snprintf(text, sizeof text, "v");
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<BYTE*>(text), 80);
  }
  std::snprintf(text, sizeof text, "%s", autoLocation.c_str());
  RegSetValueExA(key, "AutoLocation", 0, REG_SZ, reinterpret_cast<BYTE*>(text), 80);
  RegSetValueExA(key, "Clear", 0, REG_DWORD, reinterpret_cast<BYTE*>(&clear), 4);
  RegCloseKey(key);
}

class StartTest : public testing::Test {
 protected:
  StartTest() {
    dirs.WriteLogs("x");
    base = dirs.root + "/auto/";
    mkdir(base.c_str(), 0755);
  }
  // Runs the application; the modal dialog is inspected and closed.
  void Run(std::vector<std::string> words) {
    ui.modalSteps.push_back([this](CDialog& d) {
      auto& main = static_cast<CAuditDlg&>(d);
      shownAuto = main.m_AutoMode;
      shownAnswer = main.m_OverwriteAnswer;
      shownLines = main.m_Progress.Lines();
      shownMenu = main.MenuItems().size();
      d.OnCommand(IDOK);  // Quit
    });
    CAuditApp app;
    app.m_args = std::move(words);
    EXPECT_FALSE(app.InitInstance());
  }

  audit_test::TempFolders dirs;
  audit_test::ScriptedUi ui;
  std::string base;
  bool shownAuto = false;
  int shownAnswer = 0;
  std::vector<std::string> shownLines;
  size_t shownMenu = 0;
};

TEST_F(StartTest, AutoNooverwriteOnANewDaySavesSilentlyThenShowsTheDialog) {
  Run({"-auto", "-nooverwrite", "-path:" + base});
  std::string folder = base + DateText() + "/";
  EXPECT_EQ(audit_test::ReadFile(folder + "sys.evt"), audit_test::ReadFile(dirs.LogPath("System")));
  EXPECT_EQ(audit_test::ReadFile(folder + "app.evt"),
            audit_test::ReadFile(dirs.LogPath("Application")));
  EXPECT_EQ(audit_test::ReadFile(folder + "sec.evt"),
            audit_test::ReadFile(dirs.LogPath("Security")));
  EXPECT_TRUE(ui.boxes.empty());
  // One modeless window for the run, then the dialog modally, still automatic.
  EXPECT_EQ(ui.windowsOpened, 2);
  EXPECT_EQ(ui.modalTemplates, std::vector<int>{IDD_AUDIT_DIALOG});
  EXPECT_EQ(ui.openWindows, 0);
  EXPECT_TRUE(shownAuto);
  EXPECT_EQ(shownAnswer, IDNO);
  EXPECT_THAT(shownLines, testing::Contains("Operation Completed Successfully."));
  // The dialog shown again has one About item (and its separator), not two.
  EXPECT_EQ(shownMenu, 2u);
}

TEST_F(StartTest, CommandLineWinsOverTheStoredDefaultsForTheRun) {
  // Stored: clearing on, another automatic folder.
  StoreDefaults(dirs.root + "/stored/", 1);
  std::string log = audit_test::ReadFile(dirs.LogPath("System"));
  Run({"-auto", "-clear", "-noclear", "-path:" + base});
  EXPECT_EQ(audit_test::ReadFile(dirs.LogPath("System")), log);  // not cleared
  EXPECT_TRUE(audit_test::Exists(base + DateText() + "/sys.evt"));
  EXPECT_FALSE(audit_test::Exists(dirs.root + "/stored"));
}

TEST_F(StartTest, WithoutAutoNothingIsSaved) {
  Run({"-AUTO", "-path:" + base, "-nooverwrite"});
  EXPECT_FALSE(audit_test::Exists(base + DateText()));
  EXPECT_EQ(ui.windowsOpened, 1);
  EXPECT_FALSE(shownAuto);
  EXPECT_EQ(shownAnswer, -1);
}

TEST_F(StartTest, AutoWithEmptyPathUsesTheStoredFolder) {
  StoreDefaults(base, 0);
  Run({"-auto", "-path:"});
  EXPECT_TRUE(audit_test::Exists(base + DateText() + "/sec.evt"));
}

TEST_F(StartTest, FailedUnattendedRunShowsTheErrorBoxAndTheDialog) {
  Run({"-auto", "-path:" + dirs.root + "/nowhere/"});
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, "Could Not Open Automatic Save Directory " + dirs.root + "/nowhere/");
  EXPECT_EQ(ui.modalTemplates, std::vector<int>{IDD_AUDIT_DIALOG});
  // The run's lines stay in the list; the dialog's start adds its own after them.
  EXPECT_THAT(shownLines, testing::Contains("Aborting."));
}

}  // namespace
