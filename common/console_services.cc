#include "common/console_services.h"

#include <cstdio>
#include <cstring>
#include <string_view>
#include <unordered_map>

#include "platform/console_input.h"
#include "platform/error_text.h"
#include "platform/sid.h"

namespace {

void Show(const char* text) {
  std::fputs(text, stdout);
  std::fflush(stdout);  // visible before the next key is read
}

struct WellKnownAccount {
  const char* sid;
  const char* domain;
  const char* name;
};

// Accounts every system knows by the same SID.
constexpr WellKnownAccount kWellKnown[] = {
    {"S-1-0-0", "", "NULL SID"},
    {"S-1-1-0", "", "Everyone"},
    {"S-1-2-0", "", "LOCAL"},
    {"S-1-2-1", "", "CONSOLE LOGON"},
    {"S-1-3-0", "", "CREATOR OWNER"},
    {"S-1-3-1", "", "CREATOR GROUP"},
    {"S-1-3-2", "", "CREATOR OWNER SERVER"},
    {"S-1-3-3", "", "CREATOR GROUP SERVER"},
    {"S-1-3-4", "", "OWNER RIGHTS"},
    {"S-1-5", "", "NT AUTHORITY"},
    {"S-1-5-1", "NT AUTHORITY", "DIALUP"},
    {"S-1-5-2", "NT AUTHORITY", "NETWORK"},
    {"S-1-5-3", "NT AUTHORITY", "BATCH"},
    {"S-1-5-4", "NT AUTHORITY", "INTERACTIVE"},
    {"S-1-5-6", "NT AUTHORITY", "SERVICE"},
    {"S-1-5-7", "NT AUTHORITY", "ANONYMOUS LOGON"},
    {"S-1-5-8", "NT AUTHORITY", "PROXY"},
    {"S-1-5-9", "NT AUTHORITY", "ENTERPRISE DOMAIN CONTROLLERS"},
    {"S-1-5-10", "NT AUTHORITY", "SELF"},
    {"S-1-5-11", "NT AUTHORITY", "Authenticated Users"},
    {"S-1-5-12", "NT AUTHORITY", "RESTRICTED"},
    {"S-1-5-13", "NT AUTHORITY", "TERMINAL SERVER USER"},
    {"S-1-5-14", "NT AUTHORITY", "REMOTE INTERACTIVE LOGON"},
    {"S-1-5-15", "NT AUTHORITY", "This Organization"},
    {"S-1-5-17", "NT AUTHORITY", "IUSR"},
    {"S-1-5-18", "NT AUTHORITY", "SYSTEM"},
    {"S-1-5-19", "NT AUTHORITY", "LOCAL SERVICE"},
    {"S-1-5-20", "NT AUTHORITY", "NETWORK SERVICE"},
    {"S-1-5-32", "BUILTIN", "BUILTIN"},
    {"S-1-5-32-544", "BUILTIN", "Administrators"},
    {"S-1-5-32-545", "BUILTIN", "Users"},
    {"S-1-5-32-546", "BUILTIN", "Guests"},
    {"S-1-5-32-547", "BUILTIN", "Power Users"},
    {"S-1-5-32-548", "BUILTIN", "Account Operators"},
    {"S-1-5-32-549", "BUILTIN", "Server Operators"},
    {"S-1-5-32-550", "BUILTIN", "Print Operators"},
    {"S-1-5-32-551", "BUILTIN", "Backup Operators"},
    {"S-1-5-32-552", "BUILTIN", "Replicator"},
    {"S-1-5-32-554", "BUILTIN", "Pre-Windows 2000 Compatible Access"},
    {"S-1-5-32-555", "BUILTIN", "Remote Desktop Users"},
    {"S-1-5-32-556", "BUILTIN", "Network Configuration Operators"},
    {"S-1-5-32-557", "BUILTIN", "Incoming Forest Trust Builders"},
    {"S-1-5-32-558", "BUILTIN", "Performance Monitor Users"},
    {"S-1-5-32-559", "BUILTIN", "Performance Log Users"},
    {"S-1-5-32-560", "BUILTIN", "Windows Authorization Access Group"},
    {"S-1-5-32-561", "BUILTIN", "Terminal Server License Servers"},
    {"S-1-5-32-562", "BUILTIN", "Distributed COM Users"},
    {"S-1-5-32-568", "BUILTIN", "IIS_IUSRS"},
    {"S-1-5-32-569", "BUILTIN", "Cryptographic Operators"},
    {"S-1-5-32-573", "BUILTIN", "Event Log Readers"},
    {"S-1-5-32-574", "BUILTIN", "Certificate Service DCOM Access"},
    {"S-1-5-32-575", "BUILTIN", "RDS Remote Access Servers"},
    {"S-1-5-32-576", "BUILTIN", "RDS Endpoint Servers"},
    {"S-1-5-32-577", "BUILTIN", "RDS Management Servers"},
    {"S-1-5-32-578", "BUILTIN", "Hyper-V Administrators"},
    {"S-1-5-32-579", "BUILTIN", "Access Control Assistance Operators"},
    {"S-1-5-32-580", "BUILTIN", "Remote Management Users"},
    {"S-1-5-64-10", "NT AUTHORITY", "NTLM Authentication"},
    {"S-1-5-64-14", "NT AUTHORITY", "SChannel Authentication"},
    {"S-1-5-64-21", "NT AUTHORITY", "Digest Authentication"},
    {"S-1-5-80-0", "NT SERVICE", "ALL SERVICES"},
    {"S-1-5-1000", "NT AUTHORITY", "Other Organization"},
    {"S-1-16-4096", "Mandatory Label", "Low Mandatory Level"},
    {"S-1-16-8192", "Mandatory Label", "Medium Mandatory Level"},
    {"S-1-16-8448", "Mandatory Label", "Medium Plus Mandatory Level"},
    {"S-1-16-12288", "Mandatory Label", "High Mandatory Level"},
    {"S-1-16-16384", "Mandatory Label", "System Mandatory Level"},
    {"S-1-18-1", "", "Authentication authority asserted identity"},
    {"S-1-18-2", "", "Service asserted identity"},
};

SidAccountLookup g_directoryLookup = nullptr;

}  // namespace

bool PromptPassword(std::string* password) {
  // The terminal stops echoing before the prompt shows, so that nothing
  // typed right after it can appear on the screen.
  plat::ConsoleKeyInput keys;
  Show("Enter Password: ");
  password->clear();
  for (;;) {
    int code = keys.ReadKey();
    if (code < 0 || code == 3 || code == 27) {  // end of input, Ctrl+C, Esc
      Show("\n");
      return false;
    }
    if (code == 13) {  // Enter
      Show("\n");
      return true;
    }
    if (code == 8) {  // Backspace
      if (password->empty()) {
        Show("\a");
      } else {
        Show("\b \b");
        password->pop_back();
      }
    } else if (code >= 32 && code <= 126) {
      Show(".");
      password->push_back(static_cast<char>(code));
    } else {
      Show("\a");
    }
  }
}

std::string GetWin32ErrorText(DWORD code) {
  std::string text;
  if (plat::FormatMessageA(code, &text) == 0) return "Unknown Error\n";
  return text;
}

DWORD PrintWin32Error(std::string label, DWORD code) {
  std::printf("%s(%u) %s", label.c_str(), code, GetWin32ErrorText(code).c_str());
  std::fflush(stdout);
  return code;
}

int SidToAccountName(std::string server, const void* sid, std::string* out) {
  if (!plat::IsValidSid(sid)) return 0;
  std::string domain;
  std::string name;
  std::string text;
  bool found = false;
  // The table by SID text, made once: SIDs are named by the thousand.
  static const std::unordered_map<std::string_view, const WellKnownAccount*> wellKnown = [] {
    std::unordered_map<std::string_view, const WellKnownAccount*> byText;
    for (const WellKnownAccount& account : kWellKnown) byText.emplace(account.sid, &account);
    return byText;
  }();
  if (plat::ConvertSidToStringSidA(sid, &text)) {
    if (auto known = wellKnown.find(text); known != wellKnown.end()) {
      domain = known->second->domain;
      name = known->second->name;
      found = true;
    }
  }
  if (!found && g_directoryLookup != nullptr) {
    found = g_directoryLookup(server, sid, &domain, &name) == 1;
  }
  if (!found) return 0;
  *out = domain;
  if (!domain.empty()) *out += "\\";
  *out += name;
  return 1;
}

SidAccountLookup SetSidAccountLookup(SidAccountLookup lookup) {
  SidAccountLookup previous = g_directoryLookup;
  g_directoryLookup = lookup;
  return previous;
}
