// Built-in attribute names of the kind tables, spelled as the directory
// spells them (the tables are keyed case-sensitively).
#include "values/attribute_kinds.h"

#include "common/process_state.h"

void LoadAttributeKindMaps() {
  for (const char* name :
       {"invocationId", "attributeSecurityGUID", "fRSReplicaSetGUID",
        "fRSVersionGUID", "msExchMailboxGuid", "mS-DS-ConsistencyGuid",
        "netbootGUID", "objectGUID", "oMTGuid", "oMTIndxGuid", "parentGUID",
        "pKTGuid", "siteFolderGUID", "siteGUID", "volTableGUID",
        "volTableIdxGUID", "schemaIDGUID"}) {
    g_GuidAttributes[name] = 1;
  }
  for (const char* name :
       {"mS-DS-CreatorSID", "msExchMasterAccountSid",
        "msExchPreviousAccountSid", "msExchProcessedSids", "objectSid",
        "securityIdentifier", "sIDHistory", "syncWithSID", "tokenGroups",
        "tokenGroupsGlobalAndUniversal", "tokenGroupsNoGCAcceptable"}) {
    g_SidAttributes[name] = 1;
  }
  g_BinaryAttributes["netlogon"] = 1;
  // An octet-string attribute that holds text.
  g_BinaryAttributeExceptions.push_back("logonWorkstation");
  for (const char* name :
       {"distinguishedName", "member", "memberOf", "objectCategory",
        "defaultObjectCategory", "fSMORoleOwner", "masteredBy",
        "msDs-masteredBy", "gpLink"}) {
    g_DnAttributes[name] = 1;
  }
}

void LoadTimeAttributeMap() {
  for (const char* name :
       {"pwdLastSet", "lastLogon", "badPasswordTime", "accountExpires",
        "lastLogoff", "lastLogonTimestamp", "creationTime", "lockoutTime",
        "msDS-Cached-Membership-Time-Stamp", "msDS-Site-Affinity"}) {
    g_TimeAttributes[name] = 1;
  }
}
