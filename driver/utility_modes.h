// The one-shot utility modes: 64-bit time to text and back, and the ACL
// decoding of -decsddlacl. They need no directory connection.
#pragma once

#include <string>

class CCmdLine;

// Runs the first utility mode given (-decutc, -declocal, -encutc, -enclocal,
// -decsddlacl, in that order). Returns false when none is given; otherwise
// true with *exitCode set: 0 on success, 1 when the value is not a number,
// -1 when a time conversion failed. -decsddlacl always ends with 0.
bool RunUtilityMode(CCmdLine& cmdLine, int* exitCode);

// True when text is a whole signed 64-bit decimal number (blanks around it
// allowed), as a 64-bit time value must be.
bool IsInt64Text(const std::string& text);
