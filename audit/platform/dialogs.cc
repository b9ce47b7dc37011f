#include "audit/platform/dialogs.h"

#include "audit/platform/utf8_text.h"

#include <cstdio>
#include <cstdlib>

namespace plat {

namespace {

std::map<int, DialogTemplate>& Templates() {
  static std::map<int, DialogTemplate> t;
  return t;
}
std::map<int, std::string>& Strings() {
  static std::map<int, std::string> s;
  return s;
}
std::map<int, Image>& Images() {
  static std::map<int, Image> i;
  return i;
}

UiBackend* g_ui = nullptr;
CWinApp* g_app = nullptr;

// The string resource of the application's title.
constexpr int kAppTitle = 0xE000;

}  // namespace

void RegisterDialogTemplate(DialogTemplate t) { Templates()[t.id] = std::move(t); }

const DialogTemplate* FindDialogTemplate(int id) {
  auto it = Templates().find(id);
  return it == Templates().end() ? nullptr : &it->second;
}

void RegisterString(int id, std::string text) { Strings()[id] = std::move(text); }

std::string LoadString(int id) {
  auto it = Strings().find(id);
  return it == Strings().end() ? std::string() : it->second;
}

void RegisterImage(int id, Image image) { Images()[id] = std::move(image); }

HICON LoadIcon(int id) {
  auto it = Images().find(id);
  return it == Images().end() ? nullptr : &it->second;
}

UiBackend& Ui() {
  if (!g_ui) {
    std::fprintf(stderr, "audit: no window system\n");
    std::abort();
  }
  return *g_ui;
}

void SetUi(UiBackend* backend) { g_ui = backend; }

std::string AppName() {
  std::string title = LoadString(kAppTitle);
  return title.empty() ? "audit" : title;
}

int AfxMessageBox(const std::string& text, UINT style) {
  return Ui().MessageBox(text, AppName(), style);
}

// ---- CListBox ----

int CListBox::AddString(const std::string& text) {
  lines_.push_back(text);
  if (owner_) owner_->Refresh(id_);
  return static_cast<int>(lines_.size()) - 1;
}

int CListBox::SetTopIndex(int index) {
  if (index < 0 || index >= GetCount()) return -1;
  top_ = index;
  if (owner_) owner_->Refresh(id_);
  return 0;
}

// ---- CDialog ----

CDialog::CDialog(int templateId, CDialog* parent) : templateId_(templateId), parent_(parent) {}

CDialog::~CDialog() {
  view_.reset();
  for (auto& [id, list] : lists_) {
    if (list->owner_ == this) list->owner_ = nullptr;
  }
}

bool CDialog::OpenWindow(int templateId, bool modal) {
  const DialogTemplate* t = FindDialogTemplate(templateId);
  if (!t) return false;
  templateId_ = templateId;
  // A new window starts with its controls as the template gives them and
  // with its own menu, which its initialisation fills.
  controls_.clear();
  menu_.clear();
  for (const auto& c : t->controls) {
    if (c.id < 0 || c.kind == CtlKind::List) continue;
    controls_[c.id] = ControlState{c.kind, c.text, 0};
  }
  ended_ = false;
  result_ = 0;
  view_ = Ui().OpenWindow(*this, *t, modal);
  return true;
}

int CDialog::DoModal() {
  if (!OpenWindow(templateId_, true)) return -1;
  OnInitDialog();
  if (!ended_) Ui().RunModal(*this);
  view_.reset();
  return result_;
}

BOOL CDialog::Create(int templateId, CDialog* parent) {
  parent_ = parent;
  if (!OpenWindow(templateId, false)) return FALSE;
  OnInitDialog();
  return TRUE;
}

BOOL CDialog::DestroyWindow() {
  if (!view_) return FALSE;
  view_.reset();
  return TRUE;
}

void CDialog::EndDialog(int result) {
  result_ = result;
  ended_ = true;
}

BOOL CDialog::UpdateData(BOOL save) {
  CDataExchange dx(this, save);
  DoDataExchange(&dx);
  return dx.Failed() ? FALSE : TRUE;
}

void CDialog::DoDataExchange(CDataExchange*) {}

void CDialog::Refresh(int id) {
  if (view_) view_->Refresh(id);
}

void CDialog::SetDlgItemText(int id, const std::string& text) {
  auto it = controls_.find(id);
  if (it == controls_.end()) return;
  it->second.text = text;
  Refresh(id);
}

std::string CDialog::GetDlgItemText(int id) const {
  auto it = controls_.find(id);
  return it == controls_.end() ? std::string() : it->second.text;
}

void CDialog::CheckDlgButton(int id, int state) {
  auto it = controls_.find(id);
  if (it == controls_.end()) return;
  it->second.check = state;
  Refresh(id);
}

int CDialog::IsDlgButtonChecked(int id) const {
  auto it = controls_.find(id);
  return it == controls_.end() ? 0 : it->second.check;
}

CListBox* CDialog::BoundList(int id) const {
  auto it = lists_.find(id);
  return it == lists_.end() ? nullptr : it->second;
}

void CDialog::ControlEdited(int id, const std::string& text) {
  auto it = controls_.find(id);
  if (it != controls_.end()) it->second.text = text;
}

void CDialog::ControlChecked(int id, int state) {
  auto it = controls_.find(id);
  if (it != controls_.end()) it->second.check = state;
}

void CDialog::AppendMenuSeparator() { menu_.push_back(MenuItem{0, ""}); }

void CDialog::AppendMenuItem(UINT id, const std::string& text) {
  menu_.push_back(MenuItem{id, text});
}

void CDialog::SetIcon(HICON icon, BOOL) {
  icon_ = icon;
  if (view_) view_->RefreshIcon();
}

BOOL CDialog::OnInitDialog() {
  UpdateData(FALSE);
  return TRUE;
}

void CDialog::OnCommand(int id) {
  if (id == IDOK) OnOK();
  else if (id == IDCANCEL) OnCancel();
}

void CDialog::OnSysCommand(UINT, long) {}

void CDialog::OnOK() {
  if (!UpdateData(TRUE)) return;  // a refused value keeps the dialog open
  EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

// ---- Data exchange ----

void DDX_Text(CDataExchange* dx, int id, std::string& value) {
  if (dx->Failed()) return;
  if (dx->m_bSaveAndValidate) value = dx->m_pDlgWnd->GetDlgItemText(id);
  else dx->m_pDlgWnd->SetDlgItemText(id, value);
}

void DDX_Check(CDataExchange* dx, int id, int& value) {
  if (dx->Failed()) return;
  if (dx->m_bSaveAndValidate) value = dx->m_pDlgWnd->IsDlgButtonChecked(id);
  else dx->m_pDlgWnd->CheckDlgButton(id, value);
}

void DDX_Control(CDataExchange* dx, int id, CListBox& list) {
  CDialog* dlg = dx->m_pDlgWnd;
  dlg->lists_[id] = &list;
  if (list.owner_ != dlg || list.id_ != id) {
    list.owner_ = dlg;
    list.id_ = id;
    dlg->Refresh(id);
  }
}

void DDV_MaxChars(CDataExchange* dx, const std::string& value, int maxChars) {
  if (dx->Failed() || !dx->m_bSaveAndValidate) return;
  if (CharCount(value) > static_cast<size_t>(maxChars)) {
    char text[64];
    std::snprintf(text, sizeof text, "Enter no more than %d characters.", maxChars);
    AfxMessageBox(text, MB_OK | MB_ICONHAND);
    dx->Fail();
  }
}

// ---- Application ----

void CCommandLineInfo::ParseParam(const char* param, BOOL flag, BOOL) {
  if (!flag && m_strFileName.empty()) m_strFileName = param;
}

CWinApp::CWinApp(const char* appName) {
  if (appName) RegisterString(kAppTitle, appName);
  g_app = this;
}

CWinApp::~CWinApp() {
  if (g_app == this) g_app = nullptr;
}

BOOL CWinApp::InitInstance() { return TRUE; }

void CWinApp::ParseCommandLine(CCommandLineInfo& info) {
  for (size_t i = 0; i < m_args.size(); ++i) {
    const std::string& word = m_args[i];
    BOOL last = (i + 1 == m_args.size()) ? TRUE : FALSE;
    if (!word.empty() && (word[0] == '-' || word[0] == '/')) {
      info.ParseParam(word.c_str() + 1, TRUE, last);
    } else {
      info.ParseParam(word.c_str(), FALSE, last);
    }
  }
}

void CWinApp::SetRegistryKey(const char* company) { m_pszRegistryKey = company ? company : ""; }

int CWinApp::Run(int argc, char** argv) {
  m_args.clear();
  for (int i = 1; i < argc; ++i) m_args.emplace_back(argv[i]);
  InitInstance();
  return 0;
}

CWinApp* AfxGetApp() { return g_app; }

}  // namespace plat
