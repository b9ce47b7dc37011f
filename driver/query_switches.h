// The phases that turn the remaining switches into the run's settings:
// base and scope, display and security-descriptor switches, value filters,
// credentials, and the connection, paging and decoding settings.
#pragma once

#include <string>
#include <vector>

#include "driver/settings.h"

class CCmdLine;

// Special bases, host, scope, base, relative base and filter. No base and no
// special base ends the process through the usage hint.
void ReadBaseAndScope(CCmdLine& cmdLine, QuerySettings& settings);

// Timings, bind options, decoders, SID and GUID forms, owner layouts,
// security-descriptor parts, -pr, -nrss, -ssl, -soao, -oao, -asq, -metasort.
void ReadDisplaySwitches(CCmdLine& cmdLine, QuerySettings& settings);

// -mvfilterdelim, -mvfiltercs, -mvfilter and -mvnotfilter into the global
// value-filter maps.
void ReadValueFilterSwitches(CCmdLine& cmdLine);

// -u and -up; "-up *" asks for the password without echo.
void ReadCredentials(CCmdLine& cmdLine, QuerySettings& settings);

// Connection, paging, output-selection and decoding settings. Numeric values
// that are not numbers, a page size below 1 and negative -t, -maxe or -p end
// the process as switch errors, as do -c with -excldn or -incldn.
void ReadConnectionSettings(CCmdLine& cmdLine, QuerySettings& settings);

// Cuts a user-given list at the delimiter. An empty delimiter makes no cut
// (the whole text is one piece); an empty remainder after the last
// delimiter gives no piece. With dropEmpty, empty pieces are left out.
std::vector<std::string> SplitUserList(const std::string& text,
                                       const std::string& delimiter,
                                       bool dropEmpty);
