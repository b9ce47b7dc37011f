// Switches from the switch file (-ef) and from the environment (-e), merged
// into the switch store after the command line is parsed.
#pragma once

#include <string>
#include <vector>

class CCmdLine;

// Most bytes of text a switch file may hold: the size of the buffer its
// longest line fits in. A longer text (an endless device too) is refused
// before any of it is applied.
inline constexpr size_t kSwitchFileLimit = 10485760;

// The lines of a switch file's text as the file stage applies them: cut at
// each line feed (a final line feed gives a last empty line), a carriage
// return just before a line feed dropped, the text ended by a byte 26.
std::vector<std::string> SplitSwitchFileText(const std::string& content);

// The switch-file stage (only when -ef is given): switch lines overwrite the
// store, other lines add attribute names. Returns false when the file cannot
// be found, opened or read within kSwitchFileLimit; *exitCode is then the
// run's exit code.
bool ApplySwitchFile(CCmdLine& cmdLine, int* exitCode);

// The environment stage (only when -e is given): variables named with the
// prefix add switches the store does not hold yet, and attribute names.
void ApplyEnvironmentSwitches(CCmdLine& cmdLine, char** envp);
