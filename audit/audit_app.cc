#include "audit/audit_app.h"

#include <cstring>

#include "audit/audit_dlg.h"
#include "audit/resource.h"

using namespace plat;

void CAuditCommandLineInfo::ParseParam(const char* param, BOOL flag, BOOL last) {
  CCommandLineInfo::ParseParam(param, flag, last);
  if (!flag) return;
  if (std::strcmp(param, "auto") == 0) m_Auto = 1;
  else if (std::strcmp(param, "clear") == 0) m_ClearOverride = 1;
  else if (std::strcmp(param, "noclear") == 0) m_ClearOverride = 0;
  else if (std::strcmp(param, "overwrite") == 0) m_OverwriteAnswer = IDYES;
  else if (std::strcmp(param, "nooverwrite") == 0) m_OverwriteAnswer = IDNO;
  else if (std::strncmp(param, "path:", 5) == 0) m_AutoPath = param + 5;
}

BOOL CAuditApp::InitInstance() {
  CWinApp::InitInstance();
  CAuditCommandLineInfo info;
  ParseCommandLine(info);
  SetRegistryKey("Local AppWizard-Generated Applications");

  CAuditDlg dlg;
  m_pMainWnd = &dlg;
  if (info.m_Auto == 1) {
    dlg.Create(IDD_AUDIT_DIALOG);
    dlg.m_AutoMode = true;
    if (info.m_ClearOverride != -1) dlg.m_Clear = info.m_ClearOverride;
    if (info.m_OverwriteAnswer != -1) dlg.m_OverwriteAnswer = info.m_OverwriteAnswer;
    if (!info.m_AutoPath.empty()) dlg.m_AutoLocation = info.m_AutoPath;
    dlg.UpdateData(FALSE);
    dlg.OnBnClickedGo();
    dlg.DestroyWindow();
  }
  dlg.DoModal();
  m_pMainWnd = nullptr;
  return FALSE;
}
