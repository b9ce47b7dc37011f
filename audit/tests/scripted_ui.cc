#include "audit/tests/scripted_ui.h"

#include "audit/resource.h"

namespace audit_test {

namespace {

class CountingView : public plat::WindowView {
 public:
  explicit CountingView(int* open) : open_(open) { ++*open_; }
  ~CountingView() override { --*open_; }
  void Refresh(int) override {}

 private:
  int* open_;
};

}  // namespace

ScriptedUi::ScriptedUi() {
  RegisterAuditResources();
  plat::SetUi(this);
}

ScriptedUi::~ScriptedUi() { plat::SetUi(nullptr); }

std::unique_ptr<plat::WindowView> ScriptedUi::OpenWindow(plat::CDialog&,
                                                         const plat::DialogTemplate& t,
                                                         bool modal) {
  ++windowsOpened;
  if (modal) modalTemplates.push_back(t.id);
  return std::make_unique<CountingView>(&openWindows);
}

void ScriptedUi::RunModal(plat::CDialog& dlg) {
  while (!dlg.Ended()) {
    if (modalSteps.empty()) {
      dlg.OnCancel();
      break;
    }
    auto step = std::move(modalSteps.front());
    modalSteps.pop_front();
    step(dlg);
  }
}

int ScriptedUi::MessageBox(const std::string& text, const std::string&, plat::UINT style) {
  boxes.push_back(ShownBox{text, style});
  if ((style & plat::MB_TYPEMASK) != plat::MB_YESNO) return plat::IDOK;
  if (answers.empty()) {
    ++unansweredQuestions;
    return plat::IDNO;
  }
  int a = answers.front();
  answers.pop_front();
  return a;
}

int ScriptedUi::BrowseForFolder(const std::string& title, const std::string& initialFolder,
                                std::string* chosen) {
  browseTitles.push_back(title);
  browseStarts.push_back(initialFolder);
  if (folders.empty()) return plat::IDCANCEL;
  auto [rc, path] = folders.front();
  folders.pop_front();
  if (rc == plat::IDOK) *chosen = path;
  return rc;
}

}  // namespace audit_test
