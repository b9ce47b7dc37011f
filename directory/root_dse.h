// The server's RootDSE, read once after the main connection is bound, and
// the server classification derived from its capabilities and levels.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace plat {
struct LDAP;
}

class CRootDSE {
 public:
  // Reads the RootDSE through the connection; valid is true on success.
  explicit CRootDSE(plat::LDAP* connection);
  CRootDSE(const CRootDSE&) = delete;
  CRootDSE& operator=(const CRootDSE&) = delete;

  // Sets the capability flags, serverType and the three level texts from
  // supportedCapabilities and the functionality numbers.
  void ClassifyServer();

  // An application-mode instance without a default naming context: the one
  // of exactly three naming contexts that is not configuration, schema or
  // root domain becomes the default. Called by the constructor.
  void PickApplicationDefaultContext();

  std::string schemaNamingContext;
  std::string configurationNamingContext;
  std::string defaultNamingContext;
  std::string rootDomainNamingContext;
  std::string dnsHostName;
  std::string dsServiceName;
  std::string highestCommittedUsn;
  std::string ldapServiceName;
  std::string serverName;
  std::string dsaVersionString;
  std::string msDSPrincipalName;
  bool isLdapInteg = false;
  bool isAD = false;
  bool isADV51 = false;
  bool isADV61 = false;
  bool isADAM = false;
  std::string serverType;
  int domainFunctionality = 0;
  int forestFunctionality = 0;
  int domainControllerFunctionality = 0;
  std::string domainMode;
  std::string forestMode;
  std::string dcMode;
  unsigned int namingContextCount = 0;
  std::vector<std::string> namingContexts;
  std::map<std::string, bool> supportedCapabilities;
  std::string currentTime;
  bool valid = false;
};

// Capability OIDs that classify a server.
inline constexpr char kCapLdapIntegration[] = "1.2.840.113556.1.4.1791";
inline constexpr char kCapActiveDirectory[] = "1.2.840.113556.1.4.800";
inline constexpr char kCapActiveDirectoryV51[] = "1.2.840.113556.1.4.1670";
inline constexpr char kCapActiveDirectoryV61[] = "1.2.840.113556.1.4.1935";
inline constexpr char kCapApplicationMode[] = "1.2.840.113556.1.4.1851";
