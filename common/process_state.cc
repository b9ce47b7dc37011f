// Every process-wide global is defined here, in one translation unit, so that
// static initialisation builds them in exactly this order and destroys them
// in the reverse order at exit.
#include "common/process_state.h"

std::string g_SidLookupServer;
std::map<std::string, std::string> g_MvFilterMap;
std::map<std::string, std::string> g_MvNotFilterMap;
std::vector<std::string> g_SddlFilterFields;
std::vector<std::string> g_SddlNotFilterFields;
std::string g_SdSizeUnit = "B";
std::string g_MetaSortKey = "attrib";
SearchStats g_SearchStats;
std::map<std::string, int> g_GuidAttributes;
std::map<std::string, int> g_SidAttributes;
std::map<std::string, int> g_BinaryAttributes;
std::map<std::string, int> g_SecurityDescriptorAttributes;
std::vector<std::string> g_BinaryAttributeExceptions;
std::map<std::string, int> g_DnAttributes;
std::map<std::string, std::string> g_SiteGuidMap;
std::map<std::string, std::string> g_SidNameCache;
std::map<std::string, std::string> g_SchemaRightsGuidMap;
std::map<std::string, std::string> g_AceTextCache;
std::map<std::string, int> g_TimeAttributes;
std::map<std::string, int> g_GenTimeAttributes;

bool g_Quiet = false;
bool g_Debug = false;
bool g_Utc = false;
bool g_DecodeTimes = false;
bool g_TimesSortable = false;
bool g_DecodeGenTimes = false;
bool g_GenTimesSortable = false;
bool g_ResolveSids = false;
bool g_ResolveSidsViaLdap = false;
bool g_SidBinaryOut = false;
bool g_GuidBinaryOut = false;
bool g_SddlPlus = false;
bool g_SddlPlusPlus = false;
bool g_RawSddl = false;
bool g_SdNoOwner = false;
bool g_SdNoGroup = false;
bool g_SdNoDacl = false;
bool g_SdNoSacl = false;
bool g_SdAclFlagsOnly = false;
bool g_SdShowSize = false;
int32_t g_SdSizeDivisor = 1;
bool g_CsvOutput = false;
bool g_MvFilterOn = false;
bool g_MvNotFilterOn = false;
bool g_MvFilterCaseSensitive = false;
int32_t g_SddlFilterCount = 0;
int32_t g_SddlNotFilterCount = 0;
bool g_StatsReceived = false;
plat::LDAP* g_LdapSession = nullptr;
CRootDSE* g_RootDse = nullptr;
