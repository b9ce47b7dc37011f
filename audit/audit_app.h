// The application object and its command line.
#pragma once

#include <string>

#include "audit/platform/dialogs.h"

class CAuditCommandLineInfo : public plat::CCommandLineInfo {
 public:
  void ParseParam(const char* param, plat::BOOL flag, plat::BOOL last) override;

  int m_Auto = 0;
  int m_ClearOverride = -1;    // -1 not given; 1 "clear"; 0 "noclear"
  int m_OverwriteAnswer = -1;  // -1 not given; IDYES "overwrite"; IDNO "nooverwrite"
  std::string m_AutoPath;      // the text after "path:"
};

class CAuditApp : public plat::CWinApp {
 public:
  CAuditApp() = default;
  // Shows the main dialog, after one unattended save run with "auto".
  // Returns FALSE: the program ends when the dialog closes.
  plat::BOOL InitInstance() override;
};
