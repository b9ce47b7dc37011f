// Small text helpers of the replication and quota lines: an element's text
// from one line of an XML-like value, and comma-joined flag names.
#pragma once

#include <string>
#include <vector>

// The text of one element from a line: everything from the line's first "<"
// on, with the first "<tag> " and the first " </tag>" taken out (one blank
// inside each marker, case-sensitive). "" when the line holds no "<". Markers
// written otherwise stay in the result; nothing is trimmed or unescaped.
std::string GetXmlElementText(std::string tag, std::string text);

// The strings of [first, last) joined by separator; "" for an empty range.
std::string JoinStrings(const std::string* first, const std::string* last,
                        std::string separator);

// When bit is set in *flags: appends name + "(" + bit in decimal + ")" to
// *names and clears bit in *flags. bit may be several bits (the remainder
// under a name such as "UNKNOWN"); all of them are then cleared.
void AppendFlagName(std::vector<std::string>* names, unsigned* flags, unsigned bit,
                    const std::string& name);
