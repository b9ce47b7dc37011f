// Help levels and the usage hint: both end the process with exit code 1
// (that of unwritable output when the text could not be written).
#include "driver/help.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "common/cmdline.h"
#include "driver/output_check.h"

void PrintUsageHint() {
  std::cout << "Type Quelby /help or Quelby /? for usage assistance.\n\n";
  std::exit(FinishOutput(1));
}

void PrintHelp(int level) {
  std::cout << HelpIndexText();
  switch (level) {
    case 0:
      std::cout << HelpBasicText();
      break;
    case 2:
      std::cout << HelpAdvancedText();
      break;
    case 3:
      std::cout << HelpShortcutText();
      break;
    case 4:
      std::cout << HelpMetadataText();
      break;
    default:
      break;
  }
  std::cout << HelpDisclaimerText();
  std::exit(FinishOutput(1));
}

void FailWithSwitchError(const std::string& message) {
  std::cout << "\nERROR:\nERROR: " << message << "\nERROR:\n\n";
  PrintUsageHint();
}

void DispatchHelp(CCmdLine& cmdLine) {
  if (cmdLine.switchValues.empty() && cmdLine.args.empty()) PrintHelp(0);
  if (cmdLine.HasSwitch("help") || cmdLine.HasSwitch("?")) PrintHelp(0);
  if (cmdLine.HasSwitch("??")) PrintHelp(2);
  if (cmdLine.HasSwitch("????")) PrintHelp(3);
  if (cmdLine.HasSwitch("sc?")) PrintHelp(3);
  if (cmdLine.HasSwitch("meta?")) PrintHelp(4);
}
