// The defaultSecurityDescriptor decoder: each SDDL value of a schema class
// rendered as its "[DACL]" and "[SACL]" sections.
#pragma once

#include <string>

namespace plat {
struct LDAP;
struct LDAPMessage;
}  // namespace plat

// Appends the sections of every value of rawName in entry to *out, each line
// labelled ">" attrName ": " whatever noLabel says. A value whose bytes hold a
// NUL is printed whole as a hex-dump line (labelled unless noLabel).
void DecodeDefaultSecurityDescriptor(std::string rawName, std::string attrName, plat::LDAP* ld,
                                     plat::LDAPMessage* entry, bool noLabel, std::string* out);
