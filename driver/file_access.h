// Opening the text files named by switches (the switch file, the filter
// file), keeping the two failures apart: a file that cannot be found and a
// file that is there but cannot be read.
#pragma once

#include <string>

#include "platform/win_types.h"

// Looks the file up. Returns ERROR_SUCCESS when it exists, otherwise the
// Windows error code of the failed lookup (2 file not found, 3 path not
// found, ...).
DWORD QueryFileAttributes(const std::string& name);

enum class TextRead { kOk, kCannotRead, kTooLarge };

// Reads the file's text as bytes into *content, up to its first byte 26
// (which ends a text file; the byte itself is left out) and never more than
// limit bytes: kTooLarge when the text goes on past limit (an endless
// device too), kCannotRead when the file cannot be opened or read (a folder,
// no read permission).
TextRead ReadTextFile(const std::string& name, size_t limit, std::string* content);

// Reads the first line of the file (up to its line feed, at most limit
// characters; a carriage return just before the line feed dropped). False
// when the file cannot be opened or read.
bool ReadFirstLine(const std::string& name, size_t limit, std::string* line);

// The message of a failed lookup, on standard output: "ERR: Couldn't open
// file [name]:(code) text", then the closing line. Returns code.
DWORD ReportFileLookupFailure(const std::string& name, DWORD code);

// The message of a file that exists but cannot be opened, on standard
// output. Returns -1.
int ReportFileOpenFailure(const std::string& name);

// The message of a text file larger than limit bytes, on standard output.
// Returns -1.
int ReportFileTooLarge(const std::string& name, size_t limit);
