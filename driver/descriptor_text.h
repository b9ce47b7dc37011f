// Texts of security-descriptor values in an entry: the value itself and the
// owner line of the owner layouts. The full descriptor renderer is not part
// of the program yet: until it is, a descriptor value prints as the hex dump
// of its bytes, and the owner is read straight from the descriptor's header.
#pragma once

#include <cstddef>
#include <string>

// One descriptor value: ">" attrName ": " (left out with noLabel), the hex
// dump of the bytes and a line end.
std::string DescriptorValueText(const std::string& attrName, bool noLabel,
                                const unsigned char* bytes, size_t length);

// ">_OBJECT_OWNER: " (left out with noLabel or ownerCsv) and the owner SID's
// text, or "{UNKNOWN}" when the value names no readable owner; with ownerCsv
// the owner text is in double quotes. No line end. Reads only the value's
// bytes, whatever they hold.
std::string DescriptorOwnerText(bool noLabel, bool ownerCsv, const unsigned char* bytes,
                                size_t length);
