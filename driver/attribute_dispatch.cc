#include "driver/attribute_dispatch.h"

#include "values/default_security_descriptor.h"
#include "values/flag_decoders.h"
#include "values/value_printer.h"

namespace {

bool OneOf(const std::string& name, std::initializer_list<const char*> names) {
  for (const char* n : names) {
    if (name == n) return true;
  }
  return false;
}

// The printer of each decoder row; null hands the attribute to the general
// value printer, which prints the raw values.
using DecoderPrinter = void (*)(std::string rawName, std::string attrName, plat::LDAP* ld,
                                plat::LDAPMessage* entry, bool noLabel, std::string* out);
DecoderPrinter DecoderFor(DispatchRow row) {
  switch (row) {
    case DispatchRow::kSamAttributes: return DecodeSamAttributes;
    case DispatchRow::kDomainIntervals: return DecodeDomainIntervals;
    case DispatchRow::kRootDseAttributes: return DecodeRootDSEAttributes;
    case DispatchRow::kSchemaAttributeFlags: return DecodeSchemaAttributeFlags;
    case DispatchRow::kAttributeSyntax: return DecodeAttributeSyntax;
    case DispatchRow::kDefaultSecurityDescriptor: return DecodeDefaultSecurityDescriptor;
    case DispatchRow::kValidAccesses: return DecodeValidAccesses;
    case DispatchRow::kCrossRefSystemFlags: return DecodeCrossRefSystemFlags;
    case DispatchRow::kObjectSystemFlags: return DecodeObjectSystemFlags;
    case DispatchRow::kPackageFlags: return DecodePackageFlags;
    case DispatchRow::kBehaviorVersion: return DecodeBehaviorVersion;
    case DispatchRow::kInstanceType: return DecodeInstanceType;
    case DispatchRow::kGeneral: return nullptr;
  }
  return nullptr;
}

}  // namespace

EntryPlace PlaceEntry(const std::string& entryDn, const DispatchSettings& s) {
  EntryPlace place;
  place.rootDse = entryDn.empty();
  place.inSchema =
      !s.schemaNamingContext.empty() && entryDn.find(s.schemaNamingContext) != std::string::npos;
  place.inConfiguration = !place.inSchema && !s.configurationNamingContext.empty() &&
                          entryDn.find(s.configurationNamingContext) != std::string::npos;
  return place;
}

DispatchRow SelectDispatchRow(const std::string& n, const EntryPlace& place,
                              const DispatchSettings& s) {
  if (s.samDecode) {
    if (OneOf(n, {"useraccountcontrol", "msds-user-account-control-computed", "samaccounttype",
                  "ntmixeddomain", "grouptype", "pwdproperties"})) {
      return DispatchRow::kSamAttributes;
    }
    if (OneOf(n, {"lockoutduration", "maxpwdage", "minpwdage", "lockoutobservationwindow",
                  "forcelogoff"})) {
      return DispatchRow::kDomainIntervals;
    }
  }
  if (place.rootDse && s.rootDseDecode &&
      OneOf(n, {"supportedcontrol", "supportedcapabilities", "domaincontrollerfunctionality",
                "domainfunctionality", "forestfunctionality", "supportedextension"})) {
    return DispatchRow::kRootDseAttributes;
  }
  if (place.inSchema) {
    if (s.flagDecode && OneOf(n, {"searchflags", "systemflags"})) {
      return DispatchRow::kSchemaAttributeFlags;
    }
    if (s.schemaDecode && OneOf(n, {"attributesyntax", "objectclasscategory"})) {
      return DispatchRow::kAttributeSyntax;
    }
    if (s.sddlPlus && n == "defaultsecuritydescriptor") {
      return DispatchRow::kDefaultSecurityDescriptor;
    }
  }
  if (place.inConfiguration && s.flagDecode) {
    if (n == "validaccesses") return DispatchRow::kValidAccesses;
    if (n == "systemflags") return DispatchRow::kCrossRefSystemFlags;
  }
  if (s.flagDecode) {
    if (n == "systemflags") return DispatchRow::kObjectSystemFlags;
    if (n == "packageflags") return DispatchRow::kPackageFlags;
    if (n == "msds-behavior-version") return DispatchRow::kBehaviorVersion;
    if (n == "instancetype") return DispatchRow::kInstanceType;
  }
  return DispatchRow::kGeneral;
}

void DispatchAttribute(const std::string& fetchName, const std::string& attrName, plat::LDAP* ld,
                       plat::LDAPMessage* entry, const EntryPlace& place, bool isDnAttribute,
                       const DispatchSettings& s, std::string* out) {
  if (s.AnyDecoder()) {
    // fetchName is lower case already: it is the dispatch name.
    const DispatchRow row = SelectDispatchRow(fetchName, place, s);
    if (row != DispatchRow::kGeneral) {
      if (DecoderPrinter printer = DecoderFor(row); printer != nullptr) {
        printer(fetchName, attrName, ld, entry, s.noLabel, out);
        return;
      }
    }
  }
  PrintAttributeValues(fetchName, attrName, ld, entry, s.noLabel, s.noCtl, out, isDnAttribute,
                       s.replaceDnFrom, s.replaceDnMap);
}
