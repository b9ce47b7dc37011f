// Stateless helpers on narrow text: case mapping, splitting, replacing,
// number and hex formatting, comma fields and small value clean-ups.
// Character classes are those of the C locale on unsigned byte values.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/win_types.h"

std::string StrToLower(std::string text);
std::string StrToUpper(std::string text);

// a sorts before b ignoring case (unsigned bytes; a prefix sorts first).
bool CaseInsensitiveLess(const std::string& a, const std::string& b);

// Appends the fields of text, cut at delimiter at most maxCuts times (65535:
// no limit), to *out; an empty remainder adds no field. Returns out->size().
int SplitString(std::string text, std::string delimiter,
                std::vector<std::string>* out, int maxCuts);
// Splits into exactly maxFields fields (filled up with ""; the last keeps any
// further delimiters). Returns the number of fields the text yielded.
int SplitStringMax(std::string text, std::string delimiter,
                   std::vector<std::string>* out, int maxFields);
// Cuts text into pieces of width characters (the last may be shorter).
int SplitFixedWidth(std::string text, int width, std::vector<std::string>* out);

std::string ReplaceFirst(std::string text, std::string from, std::string to,
                         bool ignoreCase);
std::string ReplaceAll(std::string text, std::string from, std::string to,
                       bool ignoreCase);

// Two lower-case hex digits per byte, no separators.
std::string BytesToHex(const BYTE* data, int count);
// "0x" + value in upper-case hex, width a printf width such as "010".
std::string FormatHexNumber(DWORD value, std::string width);

std::string IntToString(int32_t value);
std::string UIntToString(uint32_t value, int radix);
std::string Int64ToString(int64_t value, int radix);
// The same for a value given as its low and high 32-bit words.
std::string Int64ToString(DWORD low, DWORD high, int radix);

// Field index (0-based) of comma-separated text; "" when there is none.
std::string GetCommaField(std::string text, int index);
std::string GetLowerCommaField(std::string text, int index);

// First "\\\n" and then the first "\n" each written as "\\0A".
std::string EscapeNewlines(std::string text);
// Every control character (0-31, 127) replaced by a blank.
std::string ScrubControlChars(std::string text);
// Cuts "host:port" back to host and returns the port (0 when none).
int SplitHostPort(std::string* host);
