// The shortcut pass. The table of named shortcuts is not in place yet, so
// every -sc name is unknown and answered with the shortcut help.
#include "shortcuts/expand_shortcuts.h"

#include "common/cmdline.h"

void ExpandShortcuts(CCmdLine* cmdLine) {
  if (!cmdLine->HasSwitch("sc")) return;
  // Unknown shortcut: nothing the user typed is used; the help phase sees
  // only "????" and prints the shortcut help.
  cmdLine->ClearArgs();
  cmdLine->ClearSwitches();
  cmdLine->SetValue("????", "");
}
