#include "driver/quelby_main.h"

#include <cstring>
#include <iostream>
#include <memory>

#include "common/cmdline.h"
#include "common/zqtimer.h"
#include "directory/connection.h"
#include "driver/filter_builder.h"
#include "driver/filter_file.h"
#include "driver/help.h"
#include "driver/listing_setup.h"
#include "driver/output_check.h"
#include "driver/output_modes.h"
#include "driver/query_switches.h"
#include "driver/search_phases.h"
#include "driver/settings.h"
#include "driver/standard_descriptors.h"
#include "driver/switch_definitions.h"
#include "driver/switch_sources.h"
#include "driver/utility_modes.h"
#include "shortcuts/expand_shortcuts.h"
#include "values/attribute_kinds.h"

void HideSecretArguments(const CCmdLine& cmdLine, char** argv) {
  for (int i : cmdLine.ValueArgumentIndexes("up")) {
    std::memset(argv[i], 0, std::strlen(argv[i]));
  }
}

int ExitStatus(int resultCode) {
  return (resultCode >= 0 && resultCode <= 255) ? resultCode : 255;
}

namespace {

int RunQuery(int argc, char** argv, char** envp) {
  const std::vector<std::string> definitions = BuildSwitchDefinitions();
  QuerySettings settings;
  auto timers = std::make_unique<CZQTimer>("");
  LoadAttributeKindMaps();
  timers->Start("OVERALL");

  CCmdLine cmdLine(argc, argv, definitions, false);
  HideSecretArguments(cmdLine, argv);

  int exitCode = 0;
  if (!ApplySwitchFile(cmdLine, &exitCode)) return exitCode;
  ApplyEnvironmentSwitches(cmdLine, envp);

  ExpandShortcuts(&cmdLine);

  ReadOutputModes(cmdLine, settings);
  PrintVersionBanner();
  ValidateSwitches(cmdLine, definitions);

  if (RunUtilityMode(cmdLine, &exitCode)) return exitCode;

  SetUpSortCsvAndListing(cmdLine, settings);
  DispatchHelp(cmdLine);

  ReadBaseAndScope(cmdLine, settings);
  ReadDisplaySwitches(cmdLine, settings);
  ReadValueFilterSwitches(cmdLine);
  ReadCredentials(cmdLine, settings);

  if (!ReadFilterFile(cmdLine, settings, &exitCode)) return exitCode;
  if (!BuildSearchFilter(cmdLine, settings, &exitCode)) return exitCode;

  ReadConnectionSettings(cmdLine, settings);

  QueryRun run{cmdLine, settings, timers.get()};
  // The referrals that the searches of a phase left out are said after it.
  auto warned = [&run](bool goOn) {
    WarnUnfollowedReferrals(run.search.connection);
    return goOn;
  };
  if (!warned(ConnectAndReadRootDse(run, &exitCode))) return exitCode;
  if (!warned(BuildDnReplacements(run, &exitCode))) return exitCode;
  if (!warned(RunPreloads(run, &exitCode))) return exitCode;
  if (!warned(SetUpSearch(run, &exitCode))) return exitCode;
  RunPagedSearch(run);
  PrintClosingReport(run);

  timers.reset();
  return settings.resultCode;
}

}  // namespace

int QuelbyMain(int argc, char** argv, char** envp) {
  HoldClosedStandardDescriptors();
  OutputWatch watch;
  return FinishOutput(RunQuery(argc, argv, envp));
}
