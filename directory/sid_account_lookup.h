// Account names for SIDs from the directory itself: the object holding the
// SID gives the account name, the domain's cross-reference its NetBIOS name.
#pragma once

#include <string>

namespace plat {
struct LDAP;
}

// Looks the SID up through connection: 1 with *domain (the NetBIOS domain
// name, "" when the directory names none) and *name (the account name) set,
// 0 when the directory holds no account for it (outputs unchanged).
int LookupSidInDirectory(plat::LDAP* connection, const void* sid, std::string* domain,
                         std::string* name);

// Installs the directory lookup into SidToAccountName. It asks the search
// connection (g_LdapSession) when there is one, otherwise a connection of
// its own to the named server, bound with the caller's credentials.
void InstallDirectorySidLookup();
