// Running one entry of the shortcut table against the switch store: the
// filter with the -af value, the switch writes, the attribute change.
#pragma once

#include <string>

#include "shortcuts/shortcut_table.h"

class CCmdLine;

// What the pass read from -sc and -af before the entry runs.
struct ShortcutInput {
  std::string afValue;        // -af, read once
  std::string argument;       // after the first ":" of the -sc value, as typed
  std::string argumentLower;  // the same in lower case, for the word tests
};

// A filter text as an element of a list of filters: the text itself when it
// already is one or more parenthesised filters, else the text in parentheses.
std::string FilterElement(const std::string& text);

// Applies the entry: -f, then the switch writes in order, then the
// attribute change.
void ApplyShortcutEntry(const ShortcutEntry& entry, const ShortcutInput& input,
                        CCmdLine* cmdLine);
