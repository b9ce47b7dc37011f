// Help levels and the usage hint. Both routines print to standard output and
// end the process with exit code 1.
#pragma once

#include <string>

// "Type Quelby /help or Quelby /? for usage assistance." and exit code 1.
[[noreturn]] void PrintUsageHint();

// The index text, then the level's own text (0 basic, 2 advanced, 3 shortcuts,
// 4 metadata), then the disclaimer; exit code 1.
[[noreturn]] void PrintHelp(int level);

// A switch error found while settings are made: "\nERROR:\nERROR: " message
// "\nERROR:\n\n" on standard output, then the usage hint (exit code 1).
[[noreturn]] void FailWithSwitchError(const std::string& message);

class CCmdLine;
// Help phase: a store with no switch and no positional word, or a help
// switch, prints the matching help level and ends the process (code 1).
void DispatchHelp(CCmdLine& cmdLine);

// The texts PrintHelp writes, for each level, as one string.
const char* HelpIndexText();
const char* HelpBasicText();
const char* HelpAdvancedText();
const char* HelpShortcutText();
const char* HelpMetadataText();
const char* HelpDisclaimerText();
