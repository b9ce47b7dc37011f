// Output-mode switches, the version banner and the validation of the switch
// names against the definitions.
#pragma once

#include <string>
#include <vector>

#include "driver/settings.h"

class CCmdLine;

// Reads -q, -d, -nolabel, -c, -owner, -recmute, -dsq, -list, -qlist and
// -csv into the settings and the global display options. -csv with -dn,
// -oao or -soao ends the process through the usage hint.
void ReadOutputModes(CCmdLine& cmdLine, QuerySettings& settings);

// "\nQuelby <version> <date>\n\n" on standard error unless the run is quiet.
void PrintVersionBanner();

// Validates the store against the definitions; bad or missing switches are
// reported on standard error and end the process through the usage hint.
void ValidateSwitches(CCmdLine& cmdLine,
                      const std::vector<std::string>& definitions);
