#include "values/default_security_descriptor.h"

#include <string_view>

#include "common/process_state.h"
#include "common/string_util.h"
#include "platform/ldap_client.h"
#include "structured/security_descriptor_output.h"
#include "values/binary_value.h"

void DecodeDefaultSecurityDescriptor(std::string rawName, std::string attrName, plat::LDAP* ld,
                                     plat::LDAPMessage* entry, bool noLabel,
                                     std::string* out) {
  const std::string lowerName = StrToLower(attrName);
  plat::berval** vals = plat::ldap_get_values_len(ld, entry, rawName.c_str());
  if (vals == nullptr) return;
  const std::string label = ">" + attrName + ": ";
  for (plat::berval** v = vals; *v != nullptr; ++v) {
    const std::string_view value((*v)->bv_val, (*v)->bv_len);
    // A value holding a NUL is no SDDL text: it is dumped whole, as binary
    // values are in this layout.
    if (HoldsNul(value)) {
      AppendHexDumpLine(noLabel ? std::string_view() : label,
                        reinterpret_cast<const unsigned char*>(value.data()), value.size(),
                        g_Debug, out);
      continue;
    }
    std::string sections, scratch;
    OutputAclSections(label, &sections, &scratch, std::string(value), lowerName);
    out->append(sections);
  }
  plat::ldap_value_free_len(vals);
}
