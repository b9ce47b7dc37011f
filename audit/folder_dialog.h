// The folder browser as a dialog object: a modal call and overridable event
// handlers around the shell's browser.
#pragma once

#include <string>

#include "audit/platform/crt_dirs.h"
#include "audit/platform/dialogs.h"
#include "audit/platform/shell_browse.h"

class CFolderDialog : public plat::CDialog {
 public:
  // title: shown above the folders; initialFolder: preselected when the
  // browser opens (nullptr or empty for none); flags: BIF_ values.
  CFolderDialog(const char* title, const char* initialFolder, plat::CDialog* parent,
                plat::UINT flags);
  ~CFolderDialog() override;

  // IDOK when a folder was chosen and its path obtained, -1 when the chosen
  // folder has no file-system path, IDCANCEL when the user cancelled.
  int DoModal() override;

  virtual void OnInitialized();
  virtual void OnSelChanged(plat::LPITEMIDLIST item);
  virtual int OnValidateFailed(const char* name);
  virtual void OnIUnknown(void* unknown);

  plat::BROWSEINFOA m_bi;
  char m_InitialFolder[plat::MAX_PATH];
  char m_SelectedPath[plat::MAX_PATH];
  plat::HWND m_hBrowser = nullptr;

 private:
  static int BrowseCallbackProc(plat::HWND window, plat::UINT message, plat::LPARAM param,
                                plat::LPARAM data);
};
