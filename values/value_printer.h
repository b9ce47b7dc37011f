// The general value printer: prints every attribute that no flag decoder
// takes, one ">" name ": " value line per value, into the entry's buffer.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace plat {
struct LDAP;
struct LDAPMessage;
}  // namespace plat

// Fetches the values of the attribute from the entry and appends their lines
// to *out (only appends). rawName is the lower-cased attribute description as
// the entry holds it (with its range option when read in ranges): text values
// are fetched under it. attrName is the server's spelling without a range: it
// labels the lines, keys the attribute-kind and value-filter tables, and names
// binary values. Members of g_BinaryAttributes and names holding ";binary" are
// read as bytes (structured records or a hex dump); other values as text
// (dates, DNs with DN replacement, escaped line feeds, control characters
// blanked under noCtl). noLabel leaves the ">" name ": " label out.
void PrintAttributeValues(const std::string& rawName, const std::string& attrName,
                          plat::LDAP* ld, plat::LDAPMessage* entry, bool noLabel, bool noCtl,
                          std::string* out, bool isDnAttribute,
                          const std::vector<std::string>* replaceDnFrom,
                          const std::map<std::string, std::string>* replaceDnMap);
