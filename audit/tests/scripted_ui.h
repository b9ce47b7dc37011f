// A window system for tests: message boxes answered from a script, modal
// dialogs driven by scripted steps, folder picks from a list.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "audit/platform/dialogs.h"

namespace audit_test {

struct ShownBox {
  std::string text;
  plat::UINT style;
};

class ScriptedUi : public plat::UiBackend {
 public:
  // Installs itself as the window system and registers audit's resources.
  ScriptedUi();
  ~ScriptedUi() override;

  std::unique_ptr<plat::WindowView> OpenWindow(plat::CDialog& dlg, const plat::DialogTemplate& t,
                                               bool modal) override;
  void RunModal(plat::CDialog& dlg) override;
  int MessageBox(const std::string& text, const std::string& caption, plat::UINT style) override;
  int BrowseForFolder(const std::string& title, const std::string& initialFolder,
                      std::string* chosen) override;
  void Beep() override { ++beeps; }

  // Answers to Yes/No boxes, in order. OK boxes need none.
  std::deque<int> answers;
  // Steps for modal dialogs, in order; a dialog without a step is cancelled.
  std::deque<std::function<void(plat::CDialog&)>> modalSteps;
  // Results of folder picks: IDOK with a Linux path, or IDCANCEL.
  std::deque<std::pair<int, std::string>> folders;

  std::vector<ShownBox> boxes;         // every message box shown
  int unansweredQuestions = 0;         // Yes/No boxes without a scripted answer
  std::vector<int> modalTemplates;     // template of each modal dialog shown
  std::vector<std::string> browseTitles;
  std::vector<std::string> browseStarts;
  int windowsOpened = 0;
  int openWindows = 0;
  int beeps = 0;
};

}  // namespace audit_test
