// Search set-up helpers: the scope number of a scope text and the server
// controls with their BER-encoded values.
#pragma once

#include <string>

namespace plat {
struct LDAPControl;
}

// 0 (base) when the text holds "base", else 1 (one level) when it holds
// "one", else 2 (subtree).
int SearchScopeOf(const std::string& scopeText);

// A critical control on the heap (free with delete[] of a non-empty value,
// then delete): without a value, with BER "{i}" of number, or with BER "{s}"
// of text. Null when the encoder cannot be had.
plat::LDAPControl* MakeControl(const char* oid);
plat::LDAPControl* MakeIntegerControl(const char* oid, int number);
plat::LDAPControl* MakeTextControl(const char* oid, const std::string& text);
