// Attribute dispatch: picks the one printer for an attribute of an entry,
// a flag or value decoder when a decode switch asks for it and the entry lies
// in the right part of the directory, otherwise the general value printer.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace plat {
struct LDAP;
struct LDAPMessage;
}  // namespace plat

// The decoder rows, in the order they are tried. kGeneral is the fallback.
enum class DispatchRow {
  kSamAttributes = 1,
  kDomainIntervals,
  kRootDseAttributes,
  kSchemaAttributeFlags,
  kAttributeSyntax,
  kDefaultSecurityDescriptor,
  kValidAccesses,
  kCrossRefSystemFlags,
  kObjectSystemFlags,
  kPackageFlags,
  kBehaviorVersion,
  kInstanceType,
  kGeneral,
};

// The decode switches and the naming contexts that place an entry.
struct DispatchSettings {
  bool samDecode = false;      // -samdc
  bool rootDseDecode = false;  // -rootdsedc
  bool schemaDecode = false;   // -schdc
  bool flagDecode = false;     // -flagdc (also -schdc)
  bool sddlPlus = false;       // -sddc+ and above
  bool noLabel = false;
  bool noCtl = false;
  std::string schemaNamingContext;
  std::string configurationNamingContext;
  const std::vector<std::string>* replaceDnFrom = nullptr;
  const std::map<std::string, std::string>* replaceDnMap = nullptr;

  // True when some decoder row can apply at all.
  bool AnyDecoder() const {
    return samDecode || rootDseDecode || schemaDecode || flagDecode || sddlPlus;
  }
};

// Where an entry lies. An empty naming context contains no entry.
struct EntryPlace {
  bool rootDse = false;
  bool inSchema = false;
  bool inConfiguration = false;
};
EntryPlace PlaceEntry(const std::string& entryDn, const DispatchSettings& settings);

// The row that takes an attribute with this lower-cased name.
DispatchRow SelectDispatchRow(const std::string& dispatchName, const EntryPlace& place,
                              const DispatchSettings& settings);

// Prints the attribute through its printer into *out. fetchName is the
// lower-cased name the values are fetched by, attrName the server's spelling.
void DispatchAttribute(const std::string& fetchName, const std::string& attrName, plat::LDAP* ld,
                       plat::LDAPMessage* entry, const EntryPlace& place, bool isDnAttribute,
                       const DispatchSettings& settings, std::string* out);
