#include "directory/sddl_domain.h"

#include "platform/ldap_client.h"
#include "platform/sid.h"

bool LearnSddlDomainSid(plat::LDAP* connection, const std::string& defaultNamingContext) {
  if (connection == nullptr || defaultNamingContext.empty()) return false;
  const char* attrs[] = {"objectSid", nullptr};
  plat::LDAPMessage* result = nullptr;
  bool learned = false;
  if (plat::ldap_search_s(connection, defaultNamingContext.c_str(), plat::LDAP_SCOPE_BASE,
                          "(objectClass=*)", attrs, 0, &result) == 0) {
    plat::LDAPMessage* entry = plat::ldap_first_entry(connection, result);
    plat::berval** values =
        entry == nullptr ? nullptr : plat::ldap_get_values_len(connection, entry, "objectSid");
    if (values != nullptr) {
      std::string text;
      if (values[0] != nullptr &&
          plat::ConvertSidToStringSidA(values[0]->bv_val, values[0]->bv_len, &text)) {
        learned = plat::SetSddlDomainSid(text);
      }
      plat::ldap_value_free_len(values);
    }
  }
  if (result != nullptr) plat::ldap_msgfree(result);
  return learned;
}
