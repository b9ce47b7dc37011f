// One ACL in SDDL text turned into lines: a line for the ACL's flags, then one
// line per ACE that passes the ACE filters (-sddlfilter / -sddlnotfilter),
// with trustees resolved, object GUIDs named from the schema and rights maps
// and, at the -sddc++ level, types, flags and rights written as words.
// Rendered ACEs are remembered for the run in g_AceTextCache.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// aclText is one ACL part with its tag ("D:PAI(A;;GA;;;SY)..."); the lines
// are appended to *lines. An ACL without "(" or ")" gives no line at all.
// attrName may be in any case; the mailbox rights are used for
// msExchMailboxSecurityDescriptor.
void RenderAclEntries(const std::string& aclText, std::vector<std::string>* lines,
                      const std::string& attrName);

// The same lines appended to *out, each as prefix, the line and a line end.
void AppendAclLines(std::string_view aclText, const std::string& attrName, std::string_view prefix,
                    std::string* out);

// The cache key of a raw ACE: the mailbox rendering of an ACE differs from its
// directory rendering, so the two are kept apart.
std::string AceCacheKey(const std::string& rawAce, bool mailbox);
