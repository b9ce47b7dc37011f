// The shortcut pass: rewrites the switch store before any phase reads it.
#pragma once

class CCmdLine;

// Expands -sc shortcuts in place. A -sc name that is not known empties the
// store and sets "????", which selects the shortcut help.
void ExpandShortcuts(CCmdLine* cmdLine);
