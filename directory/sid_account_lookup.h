// Account names for SIDs from the directory itself: the object holding the
// SID gives the account name, the domain's cross-reference its NetBIOS name.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace plat {
struct LDAP;
}

// Looks the SID up through connection (or takes what a batch search on it
// found, see PrefetchSidAccounts): 1 with *domain (the NetBIOS domain name,
// "" when the directory names none) and *name (the account name) set, 0 when
// the directory holds no account for it (outputs unchanged).
int LookupSidInDirectory(plat::LDAP* connection, const void* sid, std::string* domain,
                         std::string* name);

// The DN of the object holding the SID (sidText, its "S-1-..." text), read
// through connection as "<SID=...>"; false when the directory names none.
bool LookupSidDnInDirectory(plat::LDAP* connection, const std::string& sidText, std::string* dn);

// Asks the directory about many SIDs (each the bytes of a binary SID) at
// once, ahead of their lookups: a few subtree searches at base, each naming
// up to a bounded number of SIDs. For the SIDs held by exactly one object
// there, the two lookups above then answer on connection from what came
// back, as their own searches would have; the others are left to them. A
// SID is asked at most once per run. Returns how many SIDs were found.
size_t PrefetchSidAccounts(plat::LDAP* connection, const std::string& base,
                           const std::vector<std::string_view>& sids);

// How many searches so far asked the directory about one SID alone.
size_t SidSearchesAlone();

// A lookup whose search got no answer within the wait limit (or lost the
// server) prints the LDAP error line once; from then on the directory is
// not asked again in this run, since every lookup would wait as long. The
// code of that failure, 0 when there was none.
unsigned long DirectoryLookupFailure();

// Forgets what the lookups learnt so far (the batch answers, the SIDs asked,
// the domains' NetBIOS names and a failure that stopped them). A run starts
// without any; tests and the fuzz target, which make many runs in one
// process, call it between them.
void ResetSidLookups();

// Installs the directory lookup into SidToAccountName. It asks the search
// connection (g_LdapSession) when there is one, otherwise a connection of
// its own to the named server, bound with the caller's credentials.
void InstallDirectorySidLookup();
