#include "directory/resolve_dn.h"

#include "platform/ldap_client.h"

std::string ResolveDN(plat::LDAP* connection, std::string dn, ULONG* code) {
  char filter[] = "(objectclass=*)";
  char noAttributes[] = "1.1";
  char* attrs[] = {noAttributes, nullptr};
  plat::LDAPMessage* result = nullptr;
  ULONG rc = plat::ldap_search_s(connection, dn.data(), plat::LDAP_SCOPE_BASE, filter, attrs, 1, &result);
  if (code != nullptr) *code = rc;
  if (rc != 0) {
    if (result != nullptr) plat::ldap_msgfree(result);
    return dn;
  }
  std::string resolved = dn;
  plat::LDAPMessage* entry = plat::ldap_first_entry(connection, result);
  if (entry != nullptr) {
    char* entryDn = plat::ldap_get_dn(connection, entry);
    if (entryDn != nullptr) {
      resolved = entryDn;
      plat::ldap_memfree(entryDn);
    }
  }
  plat::ldap_msgfree(result);
  return resolved;
}
