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

// A lookup whose search got no answer within the wait limit (or lost the
// server) prints the LDAP error line once; from then on the directory is
// not asked again in this run, since every lookup would wait as long. The
// code of that failure, 0 when there was none.
unsigned long DirectoryLookupFailure();

// Installs the directory lookup into SidToAccountName. It asks the search
// connection (g_LdapSession) when there is one, otherwise a connection of
// its own to the named server, bound with the caller's credentials.
void InstallDirectorySidLookup();
