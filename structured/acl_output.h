// One ACL of a security descriptor laid out under the attribute's label: one
// line per item at the -sddc+ and -sddc++ levels, or the whole ACL on one line
// in SDDL-like form at the plain -sddc level and in CSV mode.
#pragma once

#include <string>

// label is ">" name ": " or empty; sectionName "[DACL]" or "[SACL]"; aclText
// one ACL part with its tag. Applies the value filters (-mvfilter /
// -mvnotfilter) of the attribute to the lines. The result may be empty.
std::string OutputAcl(const std::string& label, const std::string& sectionName,
                      const std::string& aclText, const std::string& attrName);
