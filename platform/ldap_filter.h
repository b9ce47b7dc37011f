// Filter texts: the redundant outer parentheses the program writes, and the
// BER form of a filter for the connectionless client.
#pragma once

#include <string>
#include <string_view>

namespace plat::detail {

// Deepest nesting of parenthesised filters that quelby sends. Directory
// servers do not take much deeper ones (a Samba DC drops the connection past
// about 509 levels), and an unbounded depth would let the filter text choose
// how deep the encoders recurse and how much memory they take.
inline constexpr size_t kMaxFilterNesting = 500;

// The deepest parenthesis nesting in a filter text, counting parentheses
// that no backslash escapes; "(&(cn=x)(!(sn=y)))" gives 3. One pass.
size_t FilterNestingDepth(std::string_view filter);

// Removes outer parenthesis pairs that enclose exactly one whole filter, so
// "((cn=x))" becomes "(cn=x)"; any other text is returned unchanged. Time
// linear in the length of the text.
std::string_view StripRedundantParens(std::string_view filter);

// Encodes a filter text (RFC 4515, with "\XX" escapes; a text without outer
// parentheses is taken as one item) as a BER Filter. False on a bad filter,
// or one nested deeper than kMaxFilterNesting after redundant outer
// parentheses are removed.
bool EncodeFilter(std::string_view filter, std::string* ber);

}  // namespace plat::detail
