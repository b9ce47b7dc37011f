// Texts are UTF-8 on this platform: counting and cutting them goes by
// characters, not bytes.
#pragma once

#include <cstddef>
#include <string>

namespace plat {

// The number of characters in text. A byte that does not begin or continue
// a well-formed sequence counts as one character.
size_t CharCount(const std::string& text);

// The first character of text, with all its bytes ("" for an empty text).
std::string FirstChar(const std::string& text);

}  // namespace plat
