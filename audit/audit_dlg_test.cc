// The main dialog: stored defaults, Configure, Change... and the About item.
#include "audit/audit_dlg.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "audit/config_dlg.h"
#include "audit/platform/crt_dirs.h"
#include "audit/platform/registry.h"
#include "audit/resource.h"
#include "audit/tests/scripted_ui.h"
#include "audit/tests/temp_folders.h"

using namespace plat;
using testing::Contains;
using testing::Not;

namespace {

// Writes the product key's values directly.
class Store {
 public:
  Store() {
    HKEY hklm = HKEY_LOCAL_MACHINE;
    EXPECT_EQ(RegCreateKeyExA(hklm, "Software\\Calvetta\\Tervane", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key_, nullptr),
              ERROR_SUCCESS);
  }
  ~Store() { RegCloseKey(key_); }
  void Text(const char* name, const std::string& text, DWORD size = 80, DWORD type = REG_SZ) {
    std::string data = text;
    data.resize(std::max<size_t>(size, text.size() + 1), '\0');
    if (size < data.size()) data.resize(size);
    RegSetValueExA(key_, name, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                   static_cast<DWORD>(data.size()));
  }
  void Dword(const char* name, DWORD v) {
    RegSetValueExA(key_, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), 4);
  }
  std::string Read(const char* name, DWORD* size = nullptr, DWORD* type = nullptr) {
    BYTE buf[256] = {};
    DWORD s = sizeof buf, t = 0;
    if (RegQueryValueExA(key_, name, nullptr, &t, buf, &s) != ERROR_SUCCESS) return "<missing>";
    if (size) *size = s;
    if (type) *type = t;
    return std::string(reinterpret_cast<char*>(buf), strnlen(reinterpret_cast<char*>(buf), s));
  }
  void All(const std::string& sys, const std::string& drive, const std::string& type,
           const std::string& autoLoc, DWORD clear) {
    Text("SysName", sys);
    Text("Drive", drive);
    Text("Type", type);
    Text("AutoLocation", autoLoc);
    Dword("Clear", clear);
  }

 private:
  HKEY key_ = nullptr;
};

class AuditDlgTest : public testing::Test {
 protected:
  std::vector<std::string> Lines() const { return dlg.m_Progress.Lines(); }
  std::string Label(int id) const { return dlg.GetDlgItemText(id); }

  audit_test::TempFolders dirs;
  audit_test::ScriptedUi ui;
  CAuditDlg dlg;
};

TEST_F(AuditDlgTest, FirstStartWithoutTheKeyShowsTheBuiltInDefaults) {
  dlg.Create(IDD_AUDIT_DIALOG);
  EXPECT_THAT(Lines(), testing::ElementsAre("Error: Could Not Find Registry Keys."));
  EXPECT_EQ(Label(IDC_SYSNAME), "mine");
  EXPECT_EQ(Label(IDC_DRIVE), "d");
  EXPECT_EQ(Label(IDC_TYPE), "Junk");
  EXPECT_EQ(Label(IDC_PATH), "");
  EXPECT_EQ(Label(IDC_CLEARLABEL), "Unknown");
  EXPECT_TRUE(ui.boxes.empty());
  // The About item is on the dialog's menu.
  ASSERT_EQ(dlg.MenuItems().size(), 2u);
  EXPECT_EQ(dlg.MenuItems()[0].text, "");
  EXPECT_EQ(dlg.MenuItems()[1].text, "&About Tervane");
  EXPECT_EQ(dlg.MenuItems()[1].id, IDM_ABOUTBOX);
  EXPECT_NE(dlg.GetIcon(), nullptr);
}

TEST_F(AuditDlgTest, StoredDefaultsAreLoaded) {
  {
    Store s;
    s.All("server7", "E:", "Mail", "/srv/auto/", 1);
  }
  dlg.Create(IDD_AUDIT_DIALOG);
  EXPECT_TRUE(Lines().empty());
  EXPECT_EQ(Label(IDC_SYSNAME), "server7");
  EXPECT_EQ(Label(IDC_DRIVE), "E:");
  EXPECT_EQ(Label(IDC_TYPE), "Mail");
  EXPECT_EQ(dlg.m_AutoLocation, "/srv/auto/");
  EXPECT_EQ(Label(IDC_CLEARLABEL), "True");
  // Only the drive text's first character counts.
  EXPECT_EQ(Label(IDC_PATH), "E:\\Mail\\" + DateText() + "\\server7\\");
}

TEST_F(AuditDlgTest, ClearStoredAsTextCountsByItsFirstByte) {
  {
    Store s;
    s.All("a", "d", "t", "", 0);
    s.Text("Clear", "1", 2);
  }
  dlg.Create(IDD_AUDIT_DIALOG);
  EXPECT_EQ(dlg.m_Clear, 1);
  EXPECT_EQ(Label(IDC_CLEARLABEL), "True");
}

TEST_F(AuditDlgTest, UnreadableValueKeepsTheLabelsAsTheyWere) {
  {
    Store s;
    s.All("newname", "d", "t", "", 0);
    s.Text("Type", std::string(90, 'x'), 91);  // longer than the 80-byte field
  }
  dlg.Create(IDD_AUDIT_DIALOG);
  EXPECT_THAT(Lines(), testing::ElementsAre("Error: Could Not Read Registry Value."));
  EXPECT_EQ(dlg.m_SysName, "newname");  // read before the failure
  EXPECT_EQ(Label(IDC_SYSNAME), "mine");
  EXPECT_EQ(Label(IDC_CLEARLABEL), "Unknown");
}

TEST_F(AuditDlgTest, TextWithoutTerminatorIsNotReadPastItsEnd) {
  {
    Store s;
    s.All("a", "d", "t", "", 0);
    s.Text("SysName", std::string(80, 'z'), 80);  // no zero in its 80 bytes
  }
  dlg.Create(IDD_AUDIT_DIALOG);
  EXPECT_EQ(dlg.m_SysName, std::string(80, 'z'));
}

TEST_F(AuditDlgTest, ConfigureStoresTheDefaults) {
  dlg.Create(IDD_AUDIT_DIALOG);
  ui.modalSteps.push_back([](CDialog& d) {
    EXPECT_EQ(d.TemplateId(), IDD_CONFIG);
    // The dialog opens with the current settings.
    EXPECT_EQ(d.GetDlgItemText(IDC_EDIT_SYSNAME), "mine");
    EXPECT_EQ(d.GetDlgItemText(IDC_EDIT_DRIVE), "d");
    EXPECT_EQ(d.IsDlgButtonChecked(IDC_CLEAR), 0);
    d.ControlEdited(IDC_EDIT_SYSNAME, "host@site 100%");
    d.ControlEdited(IDC_EDIT_DRIVE, "f");
    d.ControlEdited(IDC_EDIT_TYPE, "DC");
    d.ControlEdited(IDC_EDIT_AUTOLOCATION, "/srv/auto/");
    d.ControlChecked(IDC_CLEAR, 1);
    d.OnCommand(IDOK);
  });
  dlg.OnBnClickedConfigure();
  EXPECT_EQ(Label(IDC_SYSNAME), "host@site 100%");
  EXPECT_EQ(Label(IDC_DRIVE), "f");
  EXPECT_EQ(Label(IDC_TYPE), "DC");
  EXPECT_EQ(Label(IDC_CLEARLABEL), "True");
  EXPECT_EQ(dlg.m_AutoLocation, "/srv/auto/");
  EXPECT_EQ(Label(IDC_PATH), "");  // the save location is not recomputed

  Store s;
  DWORD size = 0, type = 0;
  EXPECT_EQ(s.Read("SysName", &size, &type), "host@site 100%");
  EXPECT_EQ(size, 80u);
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(s.Read("Type"), "DC");
  EXPECT_EQ(s.Read("AutoLocation"), "/srv/auto/");
  s.Read("Clear", &size, &type);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(type, REG_DWORD);

  // A new start loads what was stored.
  CAuditDlg next;
  next.Create(IDD_AUDIT_DIALOG);
  EXPECT_EQ(next.GetDlgItemText(IDC_SYSNAME), "host@site 100%");
  EXPECT_EQ(next.m_Clear, 1);
  EXPECT_EQ(next.GetDlgItemText(IDC_PATH), "f:\\DC\\" + DateText() + "\\host@site 100%\\");
}

TEST_F(AuditDlgTest, ConfigureRefusesTextsLongerThanTheStoredField) {
  dlg.Create(IDD_AUDIT_DIALOG);
  ui.modalSteps.push_back([](CDialog& d) {
    d.ControlEdited(IDC_EDIT_TYPE, std::string(80, 't'));
    d.OnCommand(IDOK);
    EXPECT_FALSE(d.Ended());  // refused: the dialog stays open
    d.ControlEdited(IDC_EDIT_TYPE, std::string(79, 't'));
    d.OnCommand(IDOK);
  });
  dlg.OnBnClickedConfigure();
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, "Enter no more than 79 characters.");
  EXPECT_EQ(dlg.m_Type, std::string(79, 't'));
  Store s;
  EXPECT_EQ(s.Read("Type"), std::string(79, 't'));
}

TEST_F(AuditDlgTest, ConfigureCountsCharactersNotBytes) {
  std::string e79, e80;
  for (int i = 0; i < 79; ++i) e79 += "\xC3\xA9";  // é, two bytes each
  e80 = e79 + "\xC3\xA9";
  dlg.Create(IDD_AUDIT_DIALOG);
  ui.modalSteps.push_back([&](CDialog& d) {
    d.ControlEdited(IDC_EDIT_SYSNAME, e80);
    d.OnCommand(IDOK);
    EXPECT_FALSE(d.Ended());  // 80 characters: refused
    d.ControlEdited(IDC_EDIT_SYSNAME, e79);
    d.ControlEdited(IDC_EDIT_DRIVE, "\xC3\xA9x");
    d.OnCommand(IDOK);
  });
  dlg.OnBnClickedConfigure();
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, "Enter no more than 79 characters.");
  EXPECT_EQ(Label(IDC_SYSNAME), e79);

  // A new start reads all 79 characters back; the drive letter is the whole
  // first character.
  CAuditDlg next;
  next.Create(IDD_AUDIT_DIALOG);
  EXPECT_TRUE(next.m_Progress.Lines().empty());
  EXPECT_EQ(next.GetDlgItemText(IDC_SYSNAME), e79);
  EXPECT_EQ(next.GetDlgItemText(IDC_PATH), "\xC3\xA9:\\Junk\\" + DateText() + "\\" + e79 + "\\");
}

TEST_F(AuditDlgTest, ConfigureCancelledChangesNothing) {
  dlg.Create(IDD_AUDIT_DIALOG);
  ui.modalSteps.push_back([](CDialog& d) {
    d.ControlEdited(IDC_EDIT_SYSNAME, "other");
    d.OnCommand(IDCANCEL);
  });
  dlg.OnBnClickedConfigure();
  EXPECT_EQ(Label(IDC_SYSNAME), "mine");
  Store s;
  EXPECT_EQ(s.Read("SysName"), "<missing>");
}

TEST_F(AuditDlgTest, ConfigureWithoutAccessToTheStoreSaysSo) {
  dlg.Create(IDD_AUDIT_DIALOG);
  // The store's root cannot be made: a file stands in its way.
  audit_test::WriteFile(dirs.root + "/file", "x");
  setenv("AUDIT_REGISTRY_DIR", (dirs.root + "/file/registry").c_str(), 1);
  ui.modalSteps.push_back([](CDialog& d) { d.OnCommand(IDOK); });
  dlg.OnBnClickedConfigure();
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, "Error: Could Not Find Software Registry Key.");
  EXPECT_EQ(ui.boxes[0].style, MB_OK | MB_ICONHAND);
  EXPECT_EQ(Lines().back(), "Error: Could Not Find Software Registry Key.");
}

TEST_F(AuditDlgTest, ConfigureStopsAtTheFirstValueThatCannotBeWritten) {
  dlg.Create(IDD_AUDIT_DIALOG);
  // Something that is no value stands where "Type" is written.
  std::string key = dirs.registry + "/HKEY_LOCAL_MACHINE/Software/Calvetta/Tervane";
  ASSERT_TRUE(std::filesystem::create_directories(key + "/Type"));
  ui.modalSteps.push_back([](CDialog& d) {
    d.ControlEdited(IDC_EDIT_SYSNAME, "newname");
    d.ControlEdited(IDC_EDIT_DRIVE, "e");
    d.ControlEdited(IDC_EDIT_TYPE, "newtype");
    d.ControlChecked(IDC_CLEAR, 1);
    d.OnCommand(IDOK);
  });
  dlg.OnBnClickedConfigure();
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, "Error: Could Not Set Registry Value.");
  EXPECT_EQ(ui.boxes[0].style, MB_OK | MB_ICONHAND);
  EXPECT_EQ(Lines().back(), "Error: Could Not Set Registry Value.");
  // What was written before the failure is stored and in the members; the
  // labels stay as they were.
  Store s;
  EXPECT_EQ(s.Read("SysName"), "newname");
  EXPECT_EQ(s.Read("Drive"), "e");
  EXPECT_EQ(s.Read("Clear"), "<missing>");
  EXPECT_EQ(dlg.m_SysName, "newname");
  EXPECT_EQ(dlg.m_Drive, "e");
  EXPECT_EQ(dlg.m_Type, "Junk");
  EXPECT_EQ(dlg.m_Clear, 0);
  EXPECT_EQ(Label(IDC_SYSNAME), "mine");
  EXPECT_EQ(Label(IDC_CLEARLABEL), "Unknown");
}

TEST_F(AuditDlgTest, ConfigureSaysSoWhenItsKeysCannotBeMade) {
  dlg.Create(IDD_AUDIT_DIALOG);
  // A file stands where the company's key would be made.
  std::string software = dirs.registry + "/HKEY_LOCAL_MACHINE/Software";
  std::filesystem::create_directories(software);  // made already by the start
  audit_test::WriteFile(software + "/Calvetta", "x");
  ui.modalSteps.push_back([](CDialog& d) { d.OnCommand(IDOK); });
  dlg.OnBnClickedConfigure();
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, "Error: Could Not Creeate or Find Registry Keys.");
  EXPECT_EQ(ui.boxes[0].style, MB_OK);  // no stop icon on this one
  EXPECT_EQ(Lines().back(), "Error: Could Not Creeate or Find Registry Keys.");
}

TEST_F(AuditDlgTest, BrowseInTheDefaultsDialogResetsTypedTexts) {
  dlg.Create(IDD_AUDIT_DIALOG);
  ui.folders.push_back({IDOK, "/srv/auto"});
  ui.modalSteps.push_back([](CDialog& d) {
    d.ControlEdited(IDC_EDIT_SYSNAME, "typed");
    d.OnCommand(IDC_BROWSE);
    EXPECT_EQ(d.GetDlgItemText(IDC_EDIT_SYSNAME), "mine");
    EXPECT_EQ(d.GetDlgItemText(IDC_EDIT_AUTOLOCATION), "\\srv\\auto\\");
    d.OnCommand(IDOK);
  });
  dlg.OnBnClickedConfigure();
  EXPECT_EQ(ui.browseTitles.at(0), "Set Directory for Automatic Mode.");
  EXPECT_EQ(ui.browseStarts.at(0), "./");  // no stored folder yet
  EXPECT_EQ(dlg.m_AutoLocation, "\\srv\\auto\\");
}

TEST_F(AuditDlgTest, ChangePicksACustomFolderAndCancelReturnsToTheDrivePath) {
  dlg.Create(IDD_AUDIT_DIALOG);
  std::string custom = dirs.root + "/custom";
  ASSERT_EQ(mkdir(custom.c_str(), 0755), 0);
  ui.folders.push_back({IDOK, custom});
  dlg.OnBnClickedChange();
  std::string shown = plat::ToWindowsPath(custom) + "\\";
  EXPECT_TRUE(dlg.m_CustomPath);
  EXPECT_EQ(Label(IDC_PATH), shown);
  EXPECT_EQ(ui.browseTitles[0], "Save Files To Custom Directory.");
  EXPECT_EQ(ui.browseStarts[0], "./");

  dlg.OnBnClickedChange();  // cancelled
  EXPECT_FALSE(dlg.m_CustomPath);
  EXPECT_EQ(ui.browseStarts[1], custom + "/");  // starts in the shown folder
  EXPECT_EQ(Label(IDC_PATH), "d:\\Junk\\" + DateText() + "\\mine\\");
}

TEST_F(AuditDlgTest, AboutItemOpensTheAboutBox) {
  dlg.Create(IDD_AUDIT_DIALOG);
  dlg.OnSysCommand(IDM_ABOUTBOX, 0);
  dlg.OnSysCommand(0xF060, 0);  // any other command: nothing of ours
  EXPECT_EQ(ui.modalTemplates, std::vector<int>{IDD_ABOUTBOX});
}

}  // namespace
