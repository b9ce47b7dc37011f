// Sort key default of the list layouts, CSV set-up with its header line, and
// the -po listing of the selected switches and attributes.
#pragma once

#include "driver/settings.h"

class CCmdLine;

// "*" as an attribute with -csv ends the process through the usage hint.
void SetUpSortCsvAndListing(CCmdLine& cmdLine, QuerySettings& settings);
