// The DN of an entry read with the extended-DN control comes as
// "<GUID=...>;<SID=...>;CN=x,DC=y". Searches that name the entry again (the
// reads of further value ranges) need its plain DN.
#pragma once

#include <string>
#include <string_view>

// The DN without the leading "<...>" components and the ";" after each; a
// DN without them is returned as it is. When nothing would be left, the
// text is returned unchanged (a lone "<GUID=...>" still names the entry).
std::string PlainDn(std::string_view dn);
