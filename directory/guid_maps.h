// Lookup tables loaded from the directory before the main search: names by
// site GUID, by schema-ID GUID and by extended-rights GUID, and the set of
// attributes whose syntax is generalized time.
#pragma once

#include <map>
#include <string>

class CZQTimer;
namespace plat {
struct LDAP;
struct berval;
}

// Loads one kind ("SITE_GUIDS", "SCHEMAID_GUIDS" or "RIGHTS_GUIDS") below
// "CN=Sites,", "CN=Schema," or "CN=Extended-Rights," + namingContext into
// *map, keyed by the braced upper-case GUID text. Timed under the kind's
// label. True when the table was read to its end.
bool LoadGuidMap(std::string kind, plat::LDAP* connection, std::string namingContext, CZQTimer* timer,
                 std::map<std::string, std::string>* map);

// Adds the lDAPDisplayName of every attribute schema object of syntax
// 2.5.5.11 one level below namingContext to *set (value 1). Timed under
// "LOAD_GEN_TIME_ATTRIBS". True when read to its end.
bool LoadGenTimeAttribs(plat::LDAP* connection, std::string namingContext, CZQTimer* timer,
                        std::map<std::string, int>* set);

// The map key of a binary GUID value: the GUID text of its first 16 bytes,
// or "" for a missing value or one shorter than a GUID.
std::string GuidValueKey(const plat::berval* value);
