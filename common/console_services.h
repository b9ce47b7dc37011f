// Console and system services: the password prompt, system error texts and
// account names for SIDs.
#pragma once

#include <string>

#include "platform/win_types.h"

// Prompts "Enter Password: " and reads keys without echo. True when ended
// with Enter; false when abandoned (Ctrl+C, Esc, end of input).
bool PromptPassword(std::string* password);

// The system's message text for a Windows error code (ending in CR LF), or
// "Unknown Error\n".
std::string GetWin32ErrorText(DWORD code);

// Writes label, "(", code, ") " and the code's text to standard output;
// returns the code.
DWORD PrintWin32Error(std::string label, DWORD code);

// The account name of a binary SID: "DOMAIN\name", or the bare name when the
// domain is empty. Returns 1 when found, 0 otherwise (out unchanged). The
// server "" means the local computer.
int SidToAccountName(std::string server, const void* sid, std::string* out);

// Account lookup through the directory, installed by the directory code: it
// is asked for SIDs that are not well-known. Returns 1 and fills domain and
// name when found, 0 otherwise.
using SidAccountLookup = int (*)(const std::string& server, const void* sid,
                                 std::string* domain, std::string* name);
// Installs the lookup (nullptr removes it); returns the previous one.
SidAccountLookup SetSidAccountLookup(SidAccountLookup lookup);
