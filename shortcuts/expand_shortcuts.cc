// The shortcut pass: eight independent steps, each a test of the store as
// the earlier steps left it. Step 5 runs at most one entry of the table.
#include "shortcuts/expand_shortcuts.h"

#include <iostream>
#include <vector>

#include "common/cmdline.h"
#include "common/string_util.h"
#include "shortcuts/shortcut_entry.h"
#include "shortcuts/shortcut_table.h"

namespace {

// Leaves out Exchange system objects (both system-flag bits 0x60000000 set).
constexpr char kNoExchangeSystem[] = "(!(systemflags=1610612736))";

// The RootDSE attributes that only come when asked for by name.
const char* const kRootDseNamed[] = {
    "altServer", "dsaVersionString", "dsSchemaAttrCount", "dsSchemaClassCount",
    "dsSchemaPrefixCount", "ldapServiceName", "msDS-PortLDAP", "msDS-PortSSL",
    "msDS-PrincipalName"};
const char* const kRootDseReplication[] = {
    "msDS-ReplAllInboundNeighbors", "msDS-ReplAllOutboundNeighbors",
    "msDS-ReplQueueStatistics", "msDS-ReplConnectionFailures",
    "msDS-ReplLinkFailures", "msDS-ReplPendingOps", "msDS-TopQuotaUsage"};
const char* const kRootDseTail[] = {
    "serviceAccountInfo", "spnRegistrationResult", "supportedConfigurableSettings",
    "supportedExtension", "tokenGroups", "validFSMOs"};

void ForceRootDseSearch(CCmdLine* cmdLine) {
  cmdLine->SetValue("rootdsedc", "");
  cmdLine->SetValue("flagdc", "");
  cmdLine->SetValue("b", "");
  cmdLine->SetValue("s", "base");
}

void ExpandNamedShortcut(CCmdLine* cmdLine) {
  ShortcutInput input;
  input.afValue = cmdLine->GetValue("af");
  std::vector<std::string> fields;
  SplitStringMax(cmdLine->GetValue("sc"), ":", &fields, 2);
  fields.resize(2);
  const std::string name = StrToLower(fields[0]);
  input.argument = fields[1];
  input.argumentLower = StrToLower(fields[1]);
  for (const ShortcutEntry& entry : ShortcutTable()) {
    if (entry.name == name) {
      ApplyShortcutEntry(entry, input, cmdLine);
      return;
    }
  }
  // Not a shortcut: nothing the user typed is used; the help phase sees
  // only "????" and prints the shortcut help.
  cmdLine->ClearArgs();
  cmdLine->ClearSwitches();
  cmdLine->SetValue("????", "");
}

}  // namespace

std::string AdCsvSettingsLine(CCmdLine* cmdLine) {
  const std::string marker = "~~~ADCSV~~~";
  const std::string fields[] = {
      cmdLine->GetValue("adcsv"),
      cmdLine->GetValueUnescaped("csvdelim"),
      cmdLine->GetValueUnescaped("csvmvdelim"),
      cmdLine->GetValue("csvq"),
      cmdLine->GetValue("h"),
      cmdLine->GetValue("p"),
      cmdLine->GetValue("u"),
      cmdLine->GetValue("up"),
      cmdLine->HasSwitch("simple") ? "1" : ""};
  std::string line = marker;
  for (const std::string& f : fields) line += f + marker;
  return line + "\n";
}

void ExpandShortcuts(CCmdLine* cmdLine) {
  // 1. Sorted list: sort on the first attribute of the list.
  if (cmdLine->HasSwitch("sl")) {
    cmdLine->SetValue("sort", "");
    cmdLine->SetValue("list", "");
  }
  // 2. The whole forest through the global catalog.
  if (cmdLine->HasSwitch("gcb")) {
    cmdLine->SetValue("gc", "");
    cmdLine->SetValue("b", "");
  }
  // 3. Exchange system objects left out of the shortcut filter: the element
  // goes in front of any -af value of the user's.
  if (cmdLine->HasSwitch("scexchnosys")) {
    std::string af = kNoExchangeSystem;
    const std::string user = cmdLine->GetValue("af");
    if (!user.empty()) af += FilterElement(user);
    cmdLine->SetValue("af", af);
    cmdLine->SetValue("excldn", "CN=Configuration,DC=");
  }
  // 4. Settings line for a companion program, and CSV output.
  if (cmdLine->HasSwitch("adcsv")) {
    std::cout << AdCsvSettingsLine(cmdLine) << std::flush;
    cmdLine->SetValue("csv", cmdLine->GetValue("adcsv"));
  }
  // 5. The named shortcut.
  if (cmdLine->HasSwitch("sc")) ExpandNamedShortcut(cmdLine);
  // 6. Every decoder.
  if (cmdLine->HasSwitch("alldc")) {
    for (const char* s : {"samdc", "schdc", "tdcas", "flagdc", "sitenamedc", "rootdsedc", "sddc"}) {
      cmdLine->SetValue(s, "");
    }
  }
  // 7. The RootDSE with the attributes it only returns when named.
  if (cmdLine->HasSwitch("rootdse")) {
    ForceRootDseSearch(cmdLine);
    if (cmdLine->args.empty()) {
      cmdLine->AddPositional("*");
      for (const char* a : kRootDseNamed) cmdLine->AddPositional(a);
      for (const char* a : kRootDseTail) cmdLine->AddPositional(a);
    }
  }
  // 8. The RootDSE with the replication attributes too; "bin" asks for
  // their binary forms, which the value printer decodes.
  if (cmdLine->HasSwitch("fullrootdse")) {
    ForceRootDseSearch(cmdLine);
    const bool binary = StrToLower(cmdLine->GetValue("fullrootdse")) == "bin";
    if (cmdLine->args.empty()) {
      cmdLine->AddPositional("*");
      for (const char* a : kRootDseNamed) cmdLine->AddPositional(a);
      for (const char* a : kRootDseReplication) {
        cmdLine->AddPositional(binary ? std::string(a) + ";binary" : std::string(a));
      }
      cmdLine->AddPositional("pendingPropagations");
      for (const char* a : kRootDseTail) cmdLine->AddPositional(a);
    }
  }
}
