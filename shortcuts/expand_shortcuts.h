// The shortcut pass: rewrites the switch store before any phase reads it.
#pragma once

#include <string>

class CCmdLine;

// Expands the meta switches (-sl, -gcb, -scexchnosys, -adcsv, -alldc,
// -rootdse, -fullrootdse) and the -sc shortcut into ordinary switches and
// attributes, in place. A -sc name that is not known empties the store and
// sets "????", which selects the shortcut help. -adcsv writes its settings
// line to standard output.
void ExpandShortcuts(CCmdLine* cmdLine);

// The -adcsv settings line (line feed included) for the store as it stands.
std::string AdCsvSettingsLine(CCmdLine* cmdLine);
