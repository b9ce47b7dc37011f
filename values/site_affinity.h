// msDS-Site-Affinity values: a site GUID (bytes 0-15) and a 64-bit time
// (bytes 16-23, little-endian), printed as "site - time".
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Appends label, the site text (its name from g_SiteGuidMap, else the braced
// GUID text), " - ", the time text and "\n" for one value of len bytes. The
// time is a date (year first when timesSortable) when asDate, else its signed
// decimal count. A value shorter than 24 bytes is not read past its end: it is
// printed as the hex dump of the bytes it has.
void AppendSiteAffinity(std::string_view label, const unsigned char* data, size_t len,
                        bool asDate, bool utc, bool timesSortable, std::string* out);
