// Process-wide state shared by the program's parts: display options set once
// by the driver, value filters, attribute-kind tables, directory-loaded maps,
// caches, the statistics record and the connection context for SID lookup.
// All of it is built before main runs and lives until the process ends.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "common/search_stats_record.h"

namespace plat {
struct LDAP;
}
class CRootDSE;

// Globals with a constructor, in the order they are built.
extern std::string g_SidLookupServer;                      // ""
extern std::map<std::string, std::string> g_MvFilterMap;
extern std::map<std::string, std::string> g_MvNotFilterMap;
extern std::vector<std::string> g_SddlFilterFields;
extern std::vector<std::string> g_SddlNotFilterFields;
extern std::string g_SdSizeUnit;                           // "B"
extern std::string g_MetaSortKey;                          // "attrib"
extern SearchStats g_SearchStats;
extern std::map<std::string, int> g_GuidAttributes;
extern std::map<std::string, int> g_SidAttributes;
extern std::map<std::string, int> g_BinaryAttributes;
extern std::map<std::string, int> g_SecurityDescriptorAttributes;
extern std::vector<std::string> g_BinaryAttributeExceptions;
extern std::map<std::string, int> g_DnAttributes;
extern std::map<std::string, std::string> g_SiteGuidMap;
extern std::map<std::string, std::string> g_SidNameCache;
extern std::map<std::string, std::string> g_SchemaRightsGuidMap;
extern std::map<std::string, std::string> g_AceTextCache;
extern std::map<std::string, int> g_TimeAttributes;
extern std::map<std::string, int> g_GenTimeAttributes;

// Plain globals, holding their start values from program load.
extern bool g_Quiet;
extern bool g_Debug;
extern bool g_Utc;
extern bool g_DecodeTimes;
extern bool g_TimesSortable;
extern bool g_DecodeGenTimes;
extern bool g_GenTimesSortable;
extern bool g_ResolveSids;
extern bool g_ResolveSidsViaLdap;
extern bool g_SidBinaryOut;
extern bool g_GuidBinaryOut;
extern bool g_SddlPlus;
extern bool g_SddlPlusPlus;
extern bool g_RawSddl;
extern bool g_SdNoOwner;
extern bool g_SdNoGroup;
extern bool g_SdNoDacl;
extern bool g_SdNoSacl;
extern bool g_SdAclFlagsOnly;
extern bool g_SdShowSize;
extern int32_t g_SdSizeDivisor;                            // 1
extern bool g_CsvOutput;
extern bool g_MvFilterOn;
extern bool g_MvNotFilterOn;
extern bool g_MvFilterCaseSensitive;
extern int32_t g_SddlFilterCount;                          // 0
extern int32_t g_SddlNotFilterCount;                       // 0
extern bool g_StatsReceived;
extern plat::LDAP* g_LdapSession;                          // null
extern CRootDSE* g_RootDse;                                // null
