// Hexadecimal dump of a binary value: the bytes in pairs, each pair followed by
// one blank, a single last byte followed by its blank.
#pragma once

#include <cstddef>
#include <string>

// Appends the dump of len bytes at data to out, without label or line end.
// Bytes 0x01 0xAB 0x7F give "01AB 7F ". Reads exactly len bytes.
void AppendHexDump(const unsigned char* data, size_t len, std::string* out);
