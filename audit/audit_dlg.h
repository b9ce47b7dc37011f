// The main dialog: the settings, the save location, the progress list and
// the actions Go, Change..., Configure and Quit.
#pragma once

#include <string>

#include "audit/platform/dialogs.h"

class CAuditDlg : public plat::CDialog {
 public:
  explicit CAuditDlg(plat::CDialog* parent = nullptr);

  plat::BOOL OnInitDialog() override;
  void OnCommand(int id) override;
  void OnSysCommand(plat::UINT id, long param) override;

  void OnBnClickedGo();         // the save run
  void OnBnClickedChange();     // custom folder pick or back to the drive path
  void OnBnClickedConfigure();  // defaults dialog and registry store
  plat::HICON OnQueryDragIcon() const { return m_hIcon; }

  plat::HICON m_hIcon;
  int m_Clear = 0;
  std::string m_SysName = "mine";
  std::string m_Drive = "d";
  std::string m_Type = "Junk";
  std::string m_Path;
  bool m_CustomPath = false;
  plat::CListBox m_Progress;
  bool m_AutoMode = false;
  std::string m_AutoLocation;
  int m_OverwriteAnswer = -1;

 protected:
  void DoDataExchange(plat::CDataExchange* dx) override;

 private:
  void AddProgress(const std::string& line);
  void FatalStop(const std::string& text);
  std::string DrivePath() const;
  void ShowClearLabel(int clear);
};

// Today's local date as "MM-DD-YY".
std::string DateText();

// printf-style formatting of the program's fixed texts.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
