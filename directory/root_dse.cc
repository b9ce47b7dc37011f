#include "directory/root_dse.h"

#include <cstdio>
#include <cstdlib>

#include "common/process_state.h"
#include "platform/ldap_client.h"

namespace {

// First value of a single-valued attribute into field; absent leaves it.
void TakeFirst(char** values, std::string* field) {
  if (values != nullptr && values[0] != nullptr) *field = values[0];
}

void TakeNumber(char** values, int* field) {
  if (values != nullptr && values[0] != nullptr) *field = static_cast<int>(std::atol(values[0]));
}

const char* LevelText(int level, const char* const texts[4]) {
  return level >= 0 && level <= 3 ? texts[level] : "";
}

}  // namespace

CRootDSE::CRootDSE(plat::LDAP* connection) {
  if (g_Debug) printf("DEBUG: Entering CRootDSE...\n");
  char filter[] = "(objectClass=*)";
  char all[] = "*";
  char version[] = "dsaVersionString";
  char principal[] = "msDS-PrincipalName";
  char* attrs[] = {all, version, principal, nullptr};
  plat::LDAPMessage* result = nullptr;
  ULONG rc = plat::ldap_search_s(connection, nullptr, plat::LDAP_SCOPE_BASE, filter, attrs, 0, &result);
  if (rc != 0) {
    fprintf(stderr, "LDAP_SEARCH_S: 0x%0x\nLDAP_SEARCH_S: %s\n\n", rc, plat::ldap_err2string(rc));
    if (result != nullptr) plat::ldap_msgfree(result);
    return;
  }
  plat::LDAPMessage* entry = plat::ldap_first_entry(connection, result);
  if (entry != nullptr) {
    auto values = [&](const char* name) { return plat::ldap_get_values(connection, entry, name); };
    char** schema = values("schemaNamingContext");
    char** defaultNc = values("defaultNamingContext");
    char** config = values("configurationNamingContext");
    char** contexts = values("namingContexts");
    char** time = values("currentTime");
    char** rootDomain = values("rootDomainNamingContext");
    char** host = values("dnsHostName");
    char** service = values("dsServiceName");
    char** usn = values("highestCommittedUsn");
    char** ldapService = values("ldapServiceName");
    char** server = values("serverName");
    char** capabilities = values("supportedCapabilities");
    char** domainLevel = values("domainFunctionality");
    char** forestLevel = values("forestFunctionality");
    char** dcLevel = values("domainControllerFunctionality");
    char** dsaVersion = values("dsaVersionString");
    char** principalName = values("msDS-PrincipalName");

    TakeFirst(schema, &schemaNamingContext);
    TakeFirst(defaultNc, &defaultNamingContext);
    TakeFirst(config, &configurationNamingContext);
    TakeFirst(time, &currentTime);
    TakeFirst(rootDomain, &rootDomainNamingContext);
    TakeFirst(host, &dnsHostName);
    TakeFirst(service, &dsServiceName);
    TakeFirst(usn, &highestCommittedUsn);
    TakeFirst(ldapService, &ldapServiceName);
    TakeFirst(server, &serverName);
    TakeNumber(domainLevel, &domainFunctionality);
    TakeNumber(forestLevel, &forestFunctionality);
    TakeNumber(dcLevel, &domainControllerFunctionality);
    TakeFirst(dsaVersion, &dsaVersionString);
    TakeFirst(principalName, &msDSPrincipalName);

    namingContextCount = contexts == nullptr ? 0 : plat::ldap_count_values(contexts);
    for (unsigned int i = 0; i < namingContextCount; ++i) namingContexts.emplace_back(contexts[i]);
    if (capabilities != nullptr) {
      for (char** c = capabilities; *c != nullptr; ++c) supportedCapabilities[*c] = true;
    }

    for (char** v : {schema, defaultNc, config, contexts, time, rootDomain, host, service, usn,
                     ldapService, server, capabilities, domainLevel, forestLevel, dcLevel, dsaVersion,
                     principalName}) {
      if (v != nullptr) plat::ldap_value_free(v);
    }
  }
  plat::ldap_msgfree(result);

  ClassifyServer();
  PickApplicationDefaultContext();
  if (g_Debug) printf("DEBUG: Leaving CRootDSE.\n");
  valid = true;
}

void CRootDSE::ClassifyServer() {
  auto has = [this](const char* oid) { return supportedCapabilities.count(oid) != 0; };
  isLdapInteg = has(kCapLdapIntegration);
  isAD = has(kCapActiveDirectory);
  isADV51 = has(kCapActiveDirectoryV51);
  isADV61 = has(kCapActiveDirectoryV61);
  isADAM = has(kCapApplicationMode);

  // The last matching test wins.
  if (isLdapInteg) serverType = "Unknown Windows LDAP";
  if (isAD) serverType = "Windows 2000";
  if (isADAM) serverType = "Active Directory Application Mode";
  if (!isADV51 && !isADV61) return;
  if (isADV51) serverType = "Windows Server 2003";
  if (isADV61) serverType = "Windows Longhorn";

  static const char* const kDomain[4] = {
      "Windows 2000 Domain Mode", "Windows Server 2003 Interim Domain Mode",
      "Windows Server 2003 Domain Mode", "Windows Longhorn Domain Mode"};
  static const char* const kForest[4] = {
      "Windows 2000 Forest Mode", "Windows Server 2003 Interim Forest Mode",
      "Windows Server 2003 Forest Mode", "Windows Longhorn Forest Mode"};
  static const char* const kDc[4] = {
      "Windows 2000 Functional Mode", "Windows Server 2003 Interim Functional Mode",
      "Windows Server 2003 Functional Mode", "Windows Longhorn Functional Mode"};
  domainMode = LevelText(domainFunctionality, kDomain);
  forestMode = LevelText(forestFunctionality, kForest);
  dcMode = LevelText(domainControllerFunctionality, kDc);
}

void CRootDSE::PickApplicationDefaultContext() {
  if (!isADAM || !defaultNamingContext.empty() || namingContextCount != 3) return;
  for (const std::string& nc : namingContexts) {
    if (nc != configurationNamingContext && nc != rootDomainNamingContext && nc != schemaNamingContext) {
      defaultNamingContext = nc;
      return;
    }
  }
}
