#include "values/default_security_descriptor.h"

#include "common/string_util.h"
#include "platform/ldap_client.h"
#include "structured/security_descriptor_output.h"

void DecodeDefaultSecurityDescriptor(std::string rawName, std::string attrName, plat::LDAP* ld,
                                     plat::LDAPMessage* entry, bool /*noLabel*/,
                                     std::string* out) {
  const std::string lowerName = StrToLower(attrName);
  char** vals = plat::ldap_get_values(ld, entry, rawName.c_str());
  if (vals == nullptr) return;
  const std::string label = ">" + attrName + ": ";
  for (char** v = vals; *v != nullptr; ++v) {
    std::string sections, scratch;
    OutputAclSections(label, &sections, &scratch, *v, lowerName);
    out->append(sections);
  }
  plat::ldap_value_free(vals);
}
