// For timed tests: the LDAP client's one-time set-up in the process, done
// before a test starts its clock, so that a bound on a wait measures the wait
// and not local work. libldap reads its settings and starts SASL with its
// first handle, and builds its TLS context, loading the trust store, for its
// first TLS connection (later ones reuse it); under the sanitizers with load
// on the machine that alone can take longer than a wait limit.
#pragma once

#include "directory/scripted_ldap_server.h"
#include "platform/ldap_client.h"

inline void WarmUpLdapClient() {
  static const bool done = [] {
    // An LDAPS bind to a plain scripted server, which closes the connection
    // on the first TLS bytes.
    ScriptedLdapServer closes({});
    plat::LDAP* ld = plat::ldap_sslinit("127.0.0.1", static_cast<ULONG>(closes.port()), 1);
    plat::ldap_simple_bind_s(ld, "cn=u", "pw");
    plat::ldap_unbind(ld);
    return true;
  }();
  (void)done;
}
