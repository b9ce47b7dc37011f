// The main routine's settings: one record that every phase of a run reads and
// writes, from the output modes through the search and the closing report.
// Each field is named after the switch that sets it; the initialisers are the
// start values of a run.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

inline constexpr const char* kQuelbyVersion = "V01.36.00cpp";
inline constexpr const char* kQuelbyDate = "February 2007";

struct QuerySettings {
  // Output modes (-nolabel, -c, -owner, -recmute, -dsq, -dn, -list, -qlist,
  // -csv, -nodn).
  bool noLabel = false;
  bool countOnly = false;
  bool owner = false;
  bool muteEmptyRecords = false;
  bool quotedDn = false;
  bool dnOnly = false;
  bool listLayout = false;
  bool quotedList = false;
  bool noDnLine = false;
  bool csvLayout = false;

  // CSV set-up (-csv value, -csvdelim, -csvmvdelim, -csvq, -csvnoq) and the
  // column list, which -oao fills as the attribute order list.
  std::string csvEmptyText;
  std::string csvDelim = ",";
  std::string csvMvDelim = ";";
  std::string csvQuote = "\"";
  std::vector<std::string> columns;

  // Base, scope and special bases (-schema, -config, -default/-domain, -root,
  // -null, -h, -s, -b, -rb, -f).
  bool baseSchema = false;
  bool baseConfig = false;
  bool baseDefault = false;
  bool baseRoot = false;
  bool baseNull = false;
  bool anySpecialBase = false;
  std::string host;
  std::string scope;  // lower case; "base", "one..." or anything else (subtree)
  std::string base;
  std::string relativeBase;
  std::string filter;  // after filter building: the search filter, with its outer parentheses

  // Display and security-descriptor switches.
  bool elapsed = false;
  bool elapsedMs = false;
  bool stopwatchesSeconds = false;  // -selapsed
  bool stopwatchesMs = false;       // -selapsedms
  bool simpleBind = false;
  bool samDecode = false;
  bool flagDecode = false;
  bool rootDseDecode = false;
  bool schemaDecode = false;
  bool kerberosEncryption = false;
  bool noCtl = false;
  bool ownerOnly = false;
  bool ownerCsv = false;
  bool phantomRoot = false;
  bool noServerReferrals = false;  // -nrss
  bool ssl = false;
  bool sortedAttributeOutput = false;   // -soao, -oao
  bool orderedAttributeOutput = false;  // -oao
  std::string oaoEmptyText;
  bool attributeScopedQuery = false;  // -asq
  std::string asqAttribute;

  // Credentials (-u, -up).
  std::string user;
  bool anonymous = false;
  std::string password;

  // Connection, paging and decoding settings.
  std::set<std::string> excludedAttributes;  // -excl, lower case
  int port = 0;  // 0 = default port, 1 = global-catalog port, other = that port
  bool udp = false;
  bool loadSchemaKinds = true;  // cleared by -dloid
  long timeLimit = 120;         // seconds; 0 = no client time-out
  long pageSize = 1000;
  long maxEntries = 0;  // 0 = no limit
  long entriesLeft = 0;
  bool chaseReferrals = true;  // cleared by -nr
  bool decodeSecurityDescriptors = false;
  bool showDeleted = false;
  bool stats = false;
  bool statsAnalysis = false;
  bool statsOnly = false;
  bool extendedDn = false;
  bool extendedErrors = false;
  bool globalCatalog = false;
  bool serverSort = false;
  bool reverseSort = false;
  std::string sortKey;
  std::string exclDnDelim = ";";
  std::vector<std::string> exclDn;  // lower case
  bool exclDnActive = false;
  std::string inclDnDelim = ";";
  std::vector<std::string> inclDn;  // lower case
  bool inclDnActive = false;

  // DN replacement (-replacedn, -replacedndelim): texts here, the from-list
  // (longest first) and the from-to map are built after the RootDSE is read.
  std::string replaceDn;
  std::string replaceDnDelim = ";";
  std::vector<std::string> replaceDnFrom;
  std::map<std::string, std::string> replaceDnMap;

  // Result code returned at the normal end.
  int resultCode = 0;
};
