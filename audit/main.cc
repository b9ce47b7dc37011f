// audit: saves, and optionally clears, the System, Application and Security
// logs into dated folders.
#include "audit/audit_app.h"
#include "audit/platform/fltk_ui.h"
#include "audit/resource.h"

CAuditApp theApp;

int main(int argc, char** argv) {
  RegisterAuditResources();
  plat::FltkUi ui;
  plat::SetUi(&ui);
  return theApp.Run(argc, argv);
}
