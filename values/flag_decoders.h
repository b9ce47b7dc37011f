// The flag and enumeration decoders: account control words and types, group
// types, domain intervals, schema and configuration flags, syntaxes, RootDSE
// controls and levels, package flags, instance types and behaviour versions.
// Each prints every value of the attribute as the value followed by the names
// it stands for in brackets (values/flag_decoder.h); the tables are their data.
//
// Printer arguments, shared with the general value printer: rawName is the
// lower-cased name the values are fetched by, attrName the server's spelling
// (the label; its lower-cased copy picks the table block), noLabel leaves the
// label out, and the lines are appended to *out.
#pragma once

#include <string>

#include "values/flag_decoder.h"

// The tables, one per decoder.
extern const FlagDecoder kSamAttributesDecoder;
extern const FlagDecoder kDomainIntervalsDecoder;
extern const FlagDecoder kRootDseAttributesDecoder;
extern const FlagDecoder kSchemaAttributeFlagsDecoder;
extern const FlagDecoder kAttributeSyntaxDecoder;
extern const FlagDecoder kValidAccessesDecoder;
extern const FlagDecoder kCrossRefSystemFlagsDecoder;
extern const FlagDecoder kObjectSystemFlagsDecoder;
extern const FlagDecoder kPackageFlagsDecoder;
extern const FlagDecoder kBehaviorVersionDecoder;
extern const FlagDecoder kInstanceTypeDecoder;

void DecodeSamAttributes(std::string rawName, std::string attrName, plat::LDAP* ld,
                         plat::LDAPMessage* entry, bool noLabel, std::string* out);
void DecodeDomainIntervals(std::string rawName, std::string attrName, plat::LDAP* ld,
                           plat::LDAPMessage* entry, bool noLabel, std::string* out);
void DecodeRootDSEAttributes(std::string rawName, std::string attrName, plat::LDAP* ld,
                             plat::LDAPMessage* entry, bool noLabel, std::string* out);
void DecodeSchemaAttributeFlags(std::string rawName, std::string attrName, plat::LDAP* ld,
                                plat::LDAPMessage* entry, bool noLabel, std::string* out);
void DecodeAttributeSyntax(std::string rawName, std::string attrName, plat::LDAP* ld,
                           plat::LDAPMessage* entry, bool noLabel, std::string* out);
void DecodeValidAccesses(std::string rawName, std::string attrName, plat::LDAP* ld,
                         plat::LDAPMessage* entry, bool noLabel, std::string* out);
void DecodeCrossRefSystemFlags(std::string rawName, std::string attrName, plat::LDAP* ld,
                               plat::LDAPMessage* entry, bool noLabel, std::string* out);
void DecodeObjectSystemFlags(std::string rawName, std::string attrName, plat::LDAP* ld,
                             plat::LDAPMessage* entry, bool noLabel, std::string* out);
void DecodePackageFlags(std::string rawName, std::string attrName, plat::LDAP* ld,
                        plat::LDAPMessage* entry, bool noLabel, std::string* out);
void DecodeBehaviorVersion(std::string rawName, std::string attrName, plat::LDAP* ld,
                           plat::LDAPMessage* entry, bool noLabel, std::string* out);
void DecodeInstanceType(std::string rawName, std::string attrName, plat::LDAP* ld,
                        plat::LDAPMessage* entry, bool noLabel, std::string* out);
