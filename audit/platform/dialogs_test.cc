// The dialog layer: windows from templates, data exchange, list lines.
#include "audit/platform/dialogs.h"

#include <gtest/gtest.h>

#include "audit/tests/scripted_ui.h"

using namespace plat;

namespace {

constexpr int kTemplate = 9001;

class Sample : public CDialog {
 public:
  Sample() : CDialog(kTemplate) {}
  std::string name = "first";
  int flag = 1;
  CListBox list;

 protected:
  void DoDataExchange(CDataExchange* dx) override {
    DDX_Text(dx, 10, name);
    DDV_MaxChars(dx, name, 5);
    DDX_Check(dx, 11, flag);
    DDX_Control(dx, 12, list);
  }
};

class DialogsTest : public testing::Test {
 protected:
  DialogsTest() {
    RegisterDialogTemplate({kTemplate, "Sample", 100, 50,
                            {{10, CtlKind::Edit, "from template", 0, 0, 50, 10},
                             {11, CtlKind::Check, "Flag", 0, 12, 50, 10},
                             {12, CtlKind::List, "", 0, 24, 50, 20}}});
  }
  audit_test::ScriptedUi ui;
};

TEST_F(DialogsTest, ExchangeGoesBothWaysAndRefusesLongTexts) {
  Sample dlg;
  ASSERT_TRUE(dlg.Create(kTemplate));
  EXPECT_EQ(dlg.GetDlgItemText(10), "first");  // pushed at initialisation
  EXPECT_EQ(dlg.IsDlgButtonChecked(11), 1);
  dlg.ControlEdited(10, "typed");
  dlg.ControlChecked(11, 0);
  EXPECT_TRUE(dlg.UpdateData(TRUE));
  EXPECT_EQ(dlg.name, "typed");
  EXPECT_EQ(dlg.flag, 0);

  dlg.ControlEdited(10, "too long");
  dlg.ControlChecked(11, 1);
  EXPECT_FALSE(dlg.UpdateData(TRUE));
  EXPECT_EQ(dlg.name, "too long");  // not cut; the exchange fails at it
  EXPECT_EQ(dlg.flag, 0);           // and stops there
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, "Enter no more than 5 characters.");
  EXPECT_EQ(ui.boxes[0].style, MB_OK | MB_ICONHAND);
}

TEST_F(DialogsTest, ANewWindowStartsFromItsTemplateButListLinesStay) {
  Sample dlg;
  dlg.Create(kTemplate);
  dlg.list.AddString("one");
  dlg.list.SetTopIndex(dlg.list.AddString("two"));
  dlg.SetDlgItemText(10, "changed");
  dlg.DestroyWindow();
  EXPECT_EQ(ui.openWindows, 0);

  ui.modalSteps.push_back([](CDialog& d) {
    EXPECT_EQ(d.GetDlgItemText(10), "first");
    d.EndDialog(42);
  });
  EXPECT_EQ(dlg.DoModal(), 42);
  EXPECT_EQ(dlg.list.GetCount(), 2);
  EXPECT_EQ(dlg.list.GetTopIndex(), 1);
  EXPECT_EQ(dlg.list.SetTopIndex(5), -1);
}

TEST_F(DialogsTest, OkValidatesCancelDoesNot) {
  Sample dlg;
  ui.modalSteps.push_back([](CDialog& d) {
    d.ControlEdited(10, "abcdefg");
    d.OnCommand(IDOK);
    EXPECT_FALSE(d.Ended());
    d.OnCommand(IDCANCEL);
  });
  EXPECT_EQ(dlg.DoModal(), IDCANCEL);
  EXPECT_EQ(ui.boxes.size(), 1u);
}

TEST_F(DialogsTest, MissingTemplate) {
  CDialog dlg(4242);
  EXPECT_EQ(dlg.DoModal(), -1);
  EXPECT_FALSE(dlg.Create(4242));
  EXPECT_EQ(ui.windowsOpened, 0);
}

}  // namespace
