// Connecting and reading the RootDSE: opens the main connection (TCP with a
// bind, or connectionless), reads the RootDSE, resolves the special bases and
// the relative base, and publishes the connection context for SID lookups.
#include <iostream>
#include <memory>

#include "common/process_state.h"
#include "common/zqtimer.h"
#include "directory/connection.h"
#include "directory/root_dse.h"
#include "directory/sddl_domain.h"
#include "directory/sid_account_lookup.h"
#include "driver/search_phases.h"
#include "platform/ldap_client.h"

bool ConnectAndReadRootDse(QueryRun& run, int* exitCode) {
  QuerySettings& s = run.settings;
  SearchState& st = run.search;

  // Every wait for the directory ends: after -t seconds, or the default.
  SetDirectoryWaitLimit(s.timeLimit);
  run.timers->Start("LDAP_OPEN");
  const char* host = s.host.empty() ? nullptr : s.host.c_str();
  if (s.udp) {
    if (g_Debug) std::cout << "DEBUG: Opening UDP connection\n";
    st.connection = UDPOpenLDAP(host, s.port);
  } else {
    if (g_Debug) std::cout << "DEBUG: Opening TCP connection\n";
    st.connection = OpenLDAP(host, s.port, s.chaseReferrals, true, s.anonymous, s.user, s.password,
                             s.simpleBind, s.kerberosEncryption, s.extendedErrors, s.ssl, false);
  }
  if (st.connection == nullptr) {
    std::cout.flush();
    std::cerr << "Terminating program.\n";
    std::cerr.flush();
    *exitCode = -1;
    return false;
  }

  run.timers->Stop("LDAP_OPEN");
  run.timers->Start("ROOT_DSE");
  if (g_Debug) std::cout << "DEBUG: Gathering RootDSE\n";
  st.rootDse = std::make_unique<CRootDSE>(st.connection);
  run.timers->Stop("ROOT_DSE");

  const CRootDSE& root = *st.rootDse;
  if (!root.valid) {
    plat::ldap_unbind(st.connection);
    st.connection = nullptr;
    std::cout.flush();
    std::cerr << "ERROR: Couldn't gather RootDSE Info...\nTerminating program.\n";
    std::cerr.flush();
    *exitCode = -1;
    return false;
  }

  if (g_Debug) std::cout << "DEBUG: RootDSE Completed\n";
  g_SidLookupServer = root.dnsHostName;

  if (s.baseSchema) s.base = root.schemaNamingContext;
  if (s.baseConfig) s.base = root.configurationNamingContext;
  if (s.baseDefault) s.base = root.defaultNamingContext;
  if (s.baseRoot) s.base = root.rootDomainNamingContext;
  if (s.baseNull) s.base.clear();
  if (!s.relativeBase.empty()) s.base = s.relativeBase + "," + s.base;

  st.serverType = root.serverType;
  st.isLdapInteg = root.isLdapInteg;
  st.isAD = root.isAD;
  st.isADV51 = root.isADV51;
  st.isADV61 = root.isADV61;
  st.isADAM = root.isADAM;

  g_LdapSession = st.connection;
  g_RootDse = st.rootDse.get();
  // Account names of SIDs come from the directory the run is connected to.
  if (g_ResolveSids) {
    InstallDirectorySidLookup();
    // Domain-relative SDDL aliases (DA, DU, ...) name this directory's domain.
    LearnSddlDomainSid(st.connection, root.defaultNamingContext);
  }
  return true;
}
