#include "audit/config_dlg.h"

#include "audit/folder_dialog.h"
#include "audit/resource.h"

using namespace plat;

CConfigDlg::CConfigDlg(CDialog* parent) : CDialog(IDD_CONFIG, parent) {}

void CConfigDlg::DoDataExchange(CDataExchange* dx) {
  CDialog::DoDataExchange(dx);
  // Texts that would not fit their stored value are refused, never cut.
  DDX_Text(dx, IDC_EDIT_SYSNAME, m_SysName);
  DDV_MaxChars(dx, m_SysName, kMaxStoredText);
  DDX_Text(dx, IDC_EDIT_DRIVE, m_Drive);
  DDV_MaxChars(dx, m_Drive, kMaxStoredText);
  DDX_Text(dx, IDC_EDIT_TYPE, m_Type);
  DDV_MaxChars(dx, m_Type, kMaxStoredText);
  DDX_Text(dx, IDC_EDIT_AUTOLOCATION, m_AutoLocation);
  DDV_MaxChars(dx, m_AutoLocation, kMaxStoredText);
  DDX_Check(dx, IDC_CLEAR, m_Clear);
}

void CConfigDlg::OnCommand(int id) {
  if (id == IDC_BROWSE) OnBnClickedBrowse();
  else CDialog::OnCommand(id);
}

void CConfigDlg::OnBnClickedBrowse() {
  std::string start = (_access(m_AutoLocation, 0) == 0) ? m_AutoLocation : ".\\";
  auto* browser = new CFolderDialog("Set Directory for Automatic Mode.", start.c_str(), nullptr,
                                    BIF_RETURNONLYFSDIRS);
  if (browser->DoModal() == IDOK) {
    m_AutoLocation = std::string(browser->m_SelectedPath) + "\\";
    UpdateData(FALSE);
  }
  delete browser;
}

CAboutDlg::CAboutDlg() : CDialog(IDD_ABOUTBOX) {}
