// Filter texts: the redundant outer parentheses the program writes, and the
// BER form of a filter for the connectionless client.
#pragma once

#include <string>
#include <string_view>

namespace plat::detail {

// Removes outer parenthesis pairs that enclose exactly one whole filter, so
// "((cn=x))" becomes "(cn=x)"; any other text is returned unchanged.
std::string_view StripRedundantParens(std::string_view filter);

// Encodes a filter text (RFC 4515, with "\XX" escapes; a text without outer
// parentheses is taken as one item) as a BER Filter. False on a bad filter.
bool EncodeFilter(std::string_view filter, std::string* ber);

}  // namespace plat::detail
