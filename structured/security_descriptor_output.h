// Security-descriptor values as text: the size line, the SDDL line, owner,
// group, and the DACL and SACL sections; the owner text of the owner layouts.
// Only text is built here (debug lines aside, which go to standard output).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// The lines of one descriptor value of length bytes, each with the label
// ">" attrName ": " unless noLabel. decode is the -sddc / -sddl family at any
// level. Without decode (and without -sdsize) the value is the one line
// label + "{Security Descriptor}"; a descriptor that cannot be converted
// falls back to that line too. The result is empty when filters drop every
// line.
std::string OutputSecurityDescriptor(const std::string& attrName, bool decode, bool noLabel,
                                     const void* descriptor, size_t length);

// Appends the "[DACL]" and "[SACL]" sections of an SDDL text to *body. The
// tags "D:" and "S:" are found whatever their case. A part the text lacks is
// reported as not specified unless a value or ACE filter is on; *header is
// blanked when a line is written for a missing part.
void OutputAclSections(const std::string& label, std::string* body, std::string* header,
                       const std::string& sddl, const std::string& attrName);

// ">_OBJECT_OWNER: " (left out with noLabel or csv) and the owner SID's text,
// or "{UNKNOWN}" when the descriptor names no readable owner; with csv the
// text is in double quotes. No line end.
std::string GetObjectOwnerText(bool noLabel, bool csv, const void* descriptor, size_t length);

// Appends to *sids (each viewing the bytes of a binary SID in the value) the
// SIDs whose names the text of this descriptor value of attribute attrName
// shows under the run's settings. With owner the owner (the owner layouts).
// With decode (the -sddc / -sddl family at any level): the owner and group
// unless their lines are left out (by switch, ACE filter or the attribute's
// value filter), and the trustees of the ACEs set on the object itself (not
// the inherited ones) in the DACL and SACL shown, unless only the ACLs'
// flags are. Parts the descriptor does not hold, or holds malformed, add
// nothing.
void CollectDescriptorSids(const void* descriptor, size_t length, bool decode, bool owner,
                           const std::string& attrName, std::vector<std::string_view>* sids);
