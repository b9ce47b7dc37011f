// A small dialog layer in the manner of the platform's application framework:
// dialogs built from templates, their controls, the data exchange between
// controls and members, message boxes, the dialog's own menu, and the
// application object with its command-line parser.
//
// The layer keeps every control's state itself; the window system behind it
// (FLTK in the program, a script in tests) is a UiBackend that shows that
// state and reports the user's actions back.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "audit/platform/win_defs.h"

namespace plat {

// ---- Resources --------------------------------------------------------------

enum class CtlKind { Label, Text, Edit, Check, Button, DefButton, Group, List, Picture };

// One control of a dialog template; coordinates in dialog units.
struct ControlDef {
  int id;  // -1 for controls the code never addresses
  CtlKind kind;
  std::string text;
  int x, y, w, h;
  int resource = 0;  // picture: the image resource shown
};

struct DialogTemplate {
  int id;
  std::string caption;
  int w, h;  // dialog units
  std::vector<ControlDef> controls;
};

// An image resource: RGBA pixels, row by row.
struct Image {
  int w = 0, h = 0;
  std::vector<unsigned char> rgba;
};
using HICON = const Image*;

// The program registers its resources once at start.
void RegisterDialogTemplate(DialogTemplate t);
const DialogTemplate* FindDialogTemplate(int id);
void RegisterString(int id, std::string text);
std::string LoadString(int id);  // empty when there is none
void RegisterImage(int id, Image image);
HICON LoadIcon(int id);  // nullptr when there is none

// ---- Window system ------------------------------------------------------------

class CDialog;

// One open window of a dialog: shows the dialog's control state.
class WindowView {
 public:
  virtual ~WindowView() = default;
  virtual void Refresh(int id) = 0;    // a control's state changed
  virtual void RefreshIcon() {}
};

// What the dialogs need of the window system.
class UiBackend {
 public:
  virtual ~UiBackend() = default;
  // Opens a window for the dialog (shown at once); a modal one keeps the
  // other windows from the user until it is closed.
  virtual std::unique_ptr<WindowView> OpenWindow(CDialog& dlg, const DialogTemplate& t,
                                                 bool modal) = 0;
  // Runs the dialog's window until the dialog has ended.
  virtual void RunModal(CDialog& dlg) = 0;
  // A message box; returns IDOK, IDYES or IDNO.
  virtual int MessageBox(const std::string& text, const std::string& caption, UINT style) = 0;
  // The folder browser: returns IDOK with the Linux path of the chosen folder,
  // or IDCANCEL. initialFolder is a Linux path or empty.
  virtual int BrowseForFolder(const std::string& title, const std::string& initialFolder,
                              std::string* chosen) = 0;
  virtual void Beep() {}
};

UiBackend& Ui();
void SetUi(UiBackend* backend);

// The message boxes' caption: the application's name.
std::string AppName();
int AfxMessageBox(const std::string& text, UINT style = MB_OK);

// ---- Dialogs -------------------------------------------------------------------

class CDataExchange;
class CListBox;
class CDialog;
void DDX_Control(CDataExchange* dx, int id, CListBox& list);

// A list box's lines; they belong to the dialog object, so they are kept
// when its window is closed and opened again.
class CListBox {
 public:
  int AddString(const std::string& text);  // returns the new line's index
  int SetTopIndex(int index);
  int GetTopIndex() const { return top_; }
  int GetCount() const { return static_cast<int>(lines_.size()); }
  const std::string& GetText(int index) const { return lines_.at(index); }
  const std::vector<std::string>& Lines() const { return lines_; }

 private:
  friend class CDialog;
  friend void DDX_Control(CDataExchange* dx, int id, CListBox& list);
  std::vector<std::string> lines_;
  int top_ = 0;
  CDialog* owner_ = nullptr;
  int id_ = 0;
};

// The dialog's own menu (the system menu on the platform; a context menu here).
struct MenuItem {
  UINT id;
  std::string text;  // empty for a separator
};

class CDataExchange;
void DDX_Control(CDataExchange* dx, int id, CListBox& list);

class CDialog {
 public:
  explicit CDialog(int templateId, CDialog* parent = nullptr);
  virtual ~CDialog();
  CDialog(const CDialog&) = delete;
  CDialog& operator=(const CDialog&) = delete;

  // Opens the window modally and returns the value given to EndDialog
  // (-1 when there is no such template).
  virtual int DoModal();
  // Opens a modeless window from a template.
  BOOL Create(int templateId, CDialog* parent = nullptr);
  BOOL DestroyWindow();
  void EndDialog(int result);
  bool HasWindow() const { return view_ != nullptr; }
  bool Ended() const { return ended_; }
  int TemplateId() const { return templateId_; }

  // Data exchange: save = true reads the controls into the members.
  BOOL UpdateData(BOOL save = TRUE);

  // Control state.
  void SetDlgItemText(int id, const std::string& text);
  std::string GetDlgItemText(int id) const;
  void CheckDlgButton(int id, int state);
  int IsDlgButtonChecked(int id) const;
  CListBox* BoundList(int id) const;

  // The dialog's menu.
  void AppendMenuSeparator();
  void AppendMenuItem(UINT id, const std::string& text);
  const std::vector<MenuItem>& MenuItems() const { return menu_; }

  void SetIcon(HICON icon, BOOL big);
  HICON GetIcon() const { return icon_; }

  // Events from the window system.
  virtual BOOL OnInitDialog();
  virtual void OnCommand(int id);  // a button was pressed
  virtual void OnSysCommand(UINT id, long param);
  virtual void OnOK();
  virtual void OnCancel();
  // The user changed an edit or a check box.
  void ControlEdited(int id, const std::string& text);
  void ControlChecked(int id, int state);

 protected:
  virtual void DoDataExchange(CDataExchange* dx);

 private:
  friend class CDataExchange;
  friend class CListBox;
  friend void DDX_Control(CDataExchange* dx, int id, CListBox& list);
  struct ControlState {
    CtlKind kind;
    std::string text;
    int check = 0;
  };
  bool OpenWindow(int templateId, bool modal);
  void Refresh(int id);

  int templateId_;
  CDialog* parent_;
  std::map<int, ControlState> controls_;
  std::map<int, CListBox*> lists_;
  std::vector<MenuItem> menu_;
  HICON icon_ = nullptr;
  std::unique_ptr<WindowView> view_;
  bool ended_ = false;
  int result_ = 0;
};

// Moves values between a dialog's controls and its members.
class CDataExchange {
 public:
  CDataExchange(CDialog* dlg, BOOL save) : m_pDlgWnd(dlg), m_bSaveAndValidate(save) {}
  // Stops the exchange when a value is refused.
  void Fail() { failed_ = true; }
  bool Failed() const { return failed_; }

  CDialog* m_pDlgWnd;
  BOOL m_bSaveAndValidate;

 private:
  bool failed_ = false;
};

void DDX_Text(CDataExchange* dx, int id, std::string& value);
void DDX_Check(CDataExchange* dx, int id, int& value);
void DDX_Control(CDataExchange* dx, int id, CListBox& list);
// Refuses a text of more than maxChars characters when saving: a message box, and the
// exchange fails (the value is not cut).
void DDV_MaxChars(CDataExchange* dx, const std::string& value, int maxChars);

// ---- Application -------------------------------------------------------------

class CCommandLineInfo {
 public:
  virtual ~CCommandLineInfo() = default;
  // One command-line word: a flag has its "-" or "/" removed.
  virtual void ParseParam(const char* param, BOOL flag, BOOL last);
  std::string m_strFileName;  // the first word that is not a flag
};

class CWinApp {
 public:
  explicit CWinApp(const char* appName = nullptr);
  virtual ~CWinApp();
  virtual BOOL InitInstance();
  // Hands each command-line word to info.ParseParam.
  void ParseCommandLine(CCommandLineInfo& info);
  void SetRegistryKey(const char* company);
  // Starts the application with the process's arguments.
  int Run(int argc, char** argv);

  CDialog* m_pMainWnd = nullptr;
  std::vector<std::string> m_args;  // the words after the program name
  std::string m_pszRegistryKey;
};

CWinApp* AfxGetApp();

}  // namespace plat
