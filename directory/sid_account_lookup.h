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
// the directory holds no account for it (outputs unchanged). A domain SID
// that no object holds as its objectSid is named after the account that
// holds it in its sIDHistory, when exactly one does.
int LookupSidInDirectory(plat::LDAP* connection, const void* sid, std::string* domain,
                         std::string* name);

// The DN of the object holding the SID (sidText, its "S-1-..." text or a
// descriptor's alias for it), read through connection as "<SID=...>"; false
// when the directory names none.
// Neither lookup asks again about a SID whose search ran into the referral
// hop limit (its warning is left on connection, see WarnUnfollowedReferrals).
bool LookupSidDnInDirectory(plat::LDAP* connection, const std::string& sidText, std::string* dn);

// Asks the directory about many SIDs (each the bytes of a binary SID) at
// once, ahead of their lookups: a few subtree searches at base over every
// naming context the server holds below it ("" for all of them, as a
// "<SID=...>" lookup searches), each naming up to a bounded number of SIDs.
// Only domain SIDs (S-1-5-21-...) are asked. A SID that exactly one object
// holds, as its objectSid and in no object's sIDHistory, in a search that
// ended with success, is then answered on connection by the two lookups
// above from what came back, as their own searches would have; the others
// are left to them, and for those the batch stands in for the search of
// the sIDHistory that LookupSidInDirectory makes. A SID is asked at most
// once per run. Returns how many SIDs were answered.
size_t PrefetchSidAccounts(plat::LDAP* connection, const std::string& base,
                           const std::vector<std::string_view>& sids);

// Turns the batch searches off (PrefetchSidAccounts then asks nothing) or
// on again (the default; ResetSidLookups turns them on too). It exists for
// the test that compares quelby's whole output with batches against the
// output of the lookups one by one.
void SetSidBatches(bool on);

// How many "<SID=...>" searches so far asked the directory about one SID
// alone (the searches of a history come after one of them, not counted).
size_t SidSearchesAlone();

// A lookup whose search got no answer within the wait limit (or lost the
// server) prints the LDAP error line once; from then on the directory is
// not asked again in this run, since every lookup would wait as long. The
// code of that failure, 0 when there was none.
unsigned long DirectoryLookupFailure();

// Forgets what the lookups learnt so far (the batch answers, the SIDs asked,
// the domains' NetBIOS names, the SIDs whose referrals ran into the hop limit
// and a failure that stopped them) and turns the batches on. A run starts
// without any; tests and the fuzz target, which make many runs in one
// process, call it between them.
void ResetSidLookups();

// Installs the directory lookup into SidToAccountName. It asks the search
// connection (g_LdapSession) when there is one, otherwise a connection of
// its own to the named server, bound with the caller's credentials.
void InstallDirectorySidLookup();
