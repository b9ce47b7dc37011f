// The defaults dialog: edits for the stored defaults and the clear check box.
#pragma once

#include <string>

#include "audit/platform/dialogs.h"

// The stored text values hold at most this many characters (80 bytes with
// the terminating zero).
constexpr int kMaxStoredText = 79;

class CConfigDlg : public plat::CDialog {
 public:
  explicit CConfigDlg(plat::CDialog* parent = nullptr);

  void OnCommand(int id) override;
  void OnBnClickedBrowse();

  std::string m_SysName;
  std::string m_Drive;
  std::string m_Type;
  std::string m_AutoLocation;
  int m_Clear = 0;

 protected:
  void DoDataExchange(plat::CDataExchange* dx) override;
};

class CAboutDlg : public plat::CDialog {
 public:
  CAboutDlg();
};
