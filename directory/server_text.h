// Texts that come from a directory server (referral URLs, error and
// diagnostic texts, matched DNs, host names) are printed with their control
// characters escaped, so that a line feed or an escape sequence in them can
// never make lines of its own or drive the terminal.
#pragma once

#include <string>
#include <string_view>

// Each control character (codes 0-31 and 127) becomes a backslash and two
// upper-case hexadecimal digits ("\0A" for a line feed); every other byte is
// kept as it is.
std::string EscapeServerText(std::string_view text);
