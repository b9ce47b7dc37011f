// The window system of the dialog layer, on FLTK 1.3.
#pragma once

#include "audit/platform/dialogs.h"

namespace plat {

class FltkUi : public UiBackend {
 public:
  FltkUi();
  std::unique_ptr<WindowView> OpenWindow(CDialog& dlg, const DialogTemplate& t,
                                         bool modal) override;
  void RunModal(CDialog& dlg) override;
  int MessageBox(const std::string& text, const std::string& caption, UINT style) override;
  int BrowseForFolder(const std::string& title, const std::string& initialFolder,
                      std::string* chosen) override;
  void Beep() override;
};

}  // namespace plat
